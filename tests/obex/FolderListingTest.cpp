// Phones' folder listings made into what the server's listing parser reads.
#include "obex/protocol/FolderListing.h"
#include "obex/protocol/ObexResults.h"

#include <gtest/gtest.h>

namespace {

std::wstring Normalised(const std::string& raw)
{
    std::wstring listing = L"left over";
    EXPECT_EQ(S_OK, obex::NormaliseFolderListing(raw, listing)) << raw;
    return listing;
}

// The listing as obexftpd writes it: names unescaped, times in UTC.
const std::string kPeerListing =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE folder-listing SYSTEM \"obex-folder-listing.dtd\">\n"
    "<folder-listing version=\"1.0\">\n"
    "<file name=\"a&b.txt\" size=\"6\" user-perm=\"RWD\" modified=\"20261208T153529Z\" />\n"
    "<file name=\"x<y \"q\".txt\" size=\"12\" modified=\"20260301T000000Z\"/>\n"
    "<folder name=\"\xC3\x9C"
    "berordner\" size=\"4096\" user-perm=\"RWD\" />\n"
    "</folder-listing>\n";

} // namespace

// What the server makes of it is pinned end to end against obexftpd.
TEST(FolderListing, UnescapedNamesAreEscapedAndUtcTimesBecomeLocal)
{
    EXPECT_EQ(L"<folder-listing version=\"1.0\">\n"
              L"<file name=\"a&amp;b.txt\" size=\"6\" user-perm=\"RWD\" modified=\"20261208T103529\"/>\n"
              L"<file name=\"x&lt;y &quot;q&quot;.txt\" size=\"12\" modified=\"20260228T190000\"/>\n"
              L"<folder name=\"\u00DCberordner\" size=\"4096\" user-perm=\"RWD\"/>\n"
              L"</folder-listing>\n",
              Normalised(kPeerListing));
}

TEST(FolderListing, OtherPeersFormsAreRead)
{
    const std::pair<std::string, std::wstring> cases[] = {
        {"<folder-listing version=\"1.0\"/>", L""},
        {"\xEF\xBB\xBF<folder-listing>\r\n</folder-listing>", L""},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE folder-listing SYSTEM \"obex-folder-listing.dtd\" "
         "[ <!ATTLIST folder mem-type CDATA #IMPLIED> ]><!-- a phone --><folder-listing version=\"1.0\">"
         "<parent-folder/><folder name=\"Phone memory\" mem-type=\"DEV\"/></folder-listing>",
         L"<folder name=\"Phone memory\" mem-type=\"DEV\"/>\n"},
        {"<folder-listing><file name=\"a&amp;b &lt;c&gt; &#252;&#x263A;\"/></folder-listing>",
         L"<file name=\"a&amp;b &lt;c&gt; \u00FC\u263A\"/>\n"},
        {"<folder-listing><file name=\"R&D; &#xZZ; &\"/></folder-listing>",
         L"<file name=\"R&amp;D; &amp;#xZZ; &amp;\"/>\n"},
        {"<folder-listing><file name='it's' SIZE = '3' size=\"1\" size=\"2\"/></folder-listing>",
         L"<file name=\"it's\" SIZE=\"3\" size=\"2\"/>\n"},
        {"<folder-listing><file name=\"a\">text</file><file name=\"b\tc\"/></folder-listing>",
         L"<file name=\"a\"/>\n<file name=\"b&#9;c\"/>\n"},
        {"<folder-listing><file name=\"bad\x01\"/><file name=\"good\"/></folder-listing>", L"<file name=\"good\"/>\n"},
        {"<folder-listing><file modified=\"20261308T000000Z\" created=\"20261208T1535\"/>"
         "<file modified=\"20261208T153529\"/></folder-listing>",
         L"<file modified=\"20261308T000000Z\" created=\"20261208T1535\"/>\n<file modified=\"20261208T153529\"/>\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(L"<folder-listing version=\"1.0\">\n" + c.second + L"</folder-listing>\n", Normalised(c.first));
}

TEST(FolderListing, GarbageIsAClearFailure)
{
    const std::string cases[] = {
        "",
        "<html><body/></html>",
        "<folder-listing-x/>",
        "<folder-listing>",
        "<folder-listing><file name=\"a\"",
        "<folder-listing><file name=\"a/></folder-listing>",
        "<folder-listing><file name=a/></folder-listing>",
        "<folder-listing><file size></folder-listing>",
        "<!-- never ends <folder-listing/>",
        std::string("<folder-listing><file name=\"\xFF\"/></folder-listing>"),
        std::string("\0\0\0", 3),
    };
    for (const std::string& raw : cases) {
        std::wstring listing = L"left over";
        EXPECT_EQ(obex::kBadListing, obex::NormaliseFolderListing(raw, listing)) << raw;
        EXPECT_EQ(L"", listing) << raw;
    }
}

// Entities are never expanded nor fetched, nesting costs no stack, and names
// that climb reach the server as the phone sent them (the server refuses them).
TEST(FolderListing, HostileListingsAreReadWithoutExpansion)
{
    std::string nested = "<folder-listing>";
    for (int i = 0; i < 100000; ++i)
        nested += "<a>";
    const std::pair<std::string, std::wstring> cases[] = {
        {"<!DOCTYPE folder-listing [<!ENTITY l0 \"lol\"><!ENTITY l1 \"&l0;&l0;&l0;\">]>"
         "<folder-listing><file name=\"&l1;\"/></folder-listing>",
         L"<file name=\"&amp;l1;\"/>\n"},
        {"<!DOCTYPE folder-listing [<!ENTITY ext SYSTEM \"file:///C:/windows/win.ini\">]>"
         "<folder-listing>&ext;<file name=\"x\"/></folder-listing>",
         L"<file name=\"x\"/>\n"},
        {"<folder-listing><file name=\"..\\..\\x\"/><folder name=\"\\\\host\\share\"/></folder-listing>",
         L"<file name=\"..\\..\\x\"/>\n<folder name=\"\\\\host\\share\"/>\n"},
        {nested + "</folder-listing>", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(L"<folder-listing version=\"1.0\">\n" + c.second + L"</folder-listing>\n", Normalised(c.first));
}
