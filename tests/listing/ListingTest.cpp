// Parsing the phone's folder listings into files and folders.
#include "mirror/Listing.h"
#include "mirror/XmlDocument.h"

#include "TestSupport.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

using namespace testing_support;
using phone::VFSItem;

namespace {

using Names = std::vector<std::wstring>;

struct Parsed {
    HRESULT hr;
    std::vector<VFSItem> files;
    std::vector<VFSItem> folders;
};

Parsed Parse(const std::wstring& xml, const std::wstring& pcFolder = L"C:\\Mirror\\Phone")
{
    Parsed parsed;
    // Lists are emptied first.
    parsed.files.resize(2);
    parsed.folders.resize(3);
    unique_bstr listing(xml.c_str());
    parsed.hr = mirror::GetFilesAndFolders(listing.get(), parsed.files, parsed.folders, pcFolder.c_str());
    return parsed;
}

// Every item as "phone name|PC name|size|user-perm|label|mem-type|type".
Names Fields(const std::vector<VFSItem>& items)
{
    Names fields;
    for (const VFSItem& i : items)
        fields.push_back(std::wstring(i.phoneName) + L"|" + i.pcName + L"|" + std::to_wstring(i.size) + L"|" +
                         i.userPerm + L"|" + i.label + L"|" + i.memType + L"|" + i.mimeType);
    return fields;
}

Names Column(const std::vector<VFSItem>& items, wchar_t (VFSItem::*field)[phone::kNameWidth])
{
    Names names;
    for (const VFSItem& item : items)
        names.push_back(item.*field);
    return names;
}

} // namespace

TEST(Listing, AttributesAreReadInAnyOrderAndCaseTheLaterOneWinning)
{
    const Parsed parsed = Parse(LR"(<?xml version="1.0"?>
<folder-listing version="1.0">
  <file name="photo.jpg" size="2048" created="20050228T134509Z" modified="20040229T120000" user-perm="RWD"
        label="Phone memory" mem-type="DEV" type="image/jpeg" other="ignored"/>
  <file TYPE="text/plain" Size="12" NAME="b.txt" User-Perm="R" LABEL="x" Mem-Type="MMC"/>
  <file name="first" NAME="second" size="1" SIZE="2" created="20040229T120000" CREATED="bad"/>
  <file name="a" size="12abc"/><file name="b" size="abc"/><file name="c" size="-5"/><file name="d" size=" 7"/>
  <file size="5"/>
</folder-listing>)");
    ASSERT_EQ(S_OK, parsed.hr);
    EXPECT_EQ(Fields(parsed.files),
              (Names{L"photo.jpg||2048|RWD|Phone memory|DEV|image/jpeg", L"b.txt||12|R|x|MMC|text/plain",
                     L"second||2||||", L"a||12||||", L"b||0||||", L"c||-5||||", L"d||7||||", L"||5||||"}));
    EXPECT_TRUE(parsed.folders.empty());
    EXPECT_DOUBLE_EQ(parsed.files[0].created, 38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0);
    EXPECT_DOUBLE_EQ(parsed.files[0].modified, 38046.5);
    EXPECT_EQ(parsed.files[2].created, 0.0);
}

// A name cut to its field would be another phone item's: such a listing is refused.
TEST(Listing, LongTextsAreCutToTheirFieldsButALongNameIsRefused)
{
    const std::wstring x(300, L'x');
    const Parsed parsed = Parse(L"<l><file name='n' label='" + x + L"' user-perm='" + x + L"' mem-type='" + x +
                                L"' type='" + x + L"'/></l>");
    ASSERT_EQ(S_OK, parsed.hr);
    EXPECT_EQ(Fields(parsed.files), (Names{L"n||0|" + x.substr(0, 15) + L"|" + x.substr(0, 259) + L"|" +
                                           x.substr(0, 15) + L"|" + x.substr(0, 127)}));
    EXPECT_EQ(static_cast<HRESULT>(0x800700CE), Parse(L"<l><file name='" + x.substr(0, 260) + L"'/></l>").hr);
    EXPECT_EQ(S_OK, Parse(L"<l><folder name='" + x.substr(0, 259) + L"'/></l>").hr);
}

TEST(Listing, FolderPcNamesAreFittedToThePcFolderAndUnique)
{
    const Parsed parsed =
        Parse(L"<l><folder name='ABCDEFGHIJKLMNOPQRSTUVWXYZ'/><folder name='abcdefghijklmnopqrstuvwxyz'/></l>",
              L"C:\\" + std::wstring(177, L'f'));
    ASSERT_EQ(S_OK, parsed.hr);
    EXPECT_EQ(Column(parsed.folders, &VFSItem::phoneName),
              (Names{L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", L"abcdefghijklmnopqrstuvwxyz"}));
    EXPECT_EQ(Column(parsed.folders, &VFSItem::pcName), (Names{L"ABCDEFGHIJ", L"abcdefg(1)"}));
}

TEST(Listing, MalformedXmlFails)
{
    const wchar_t* texts[] = {L"<l><file name='a'></l>", L"", L"not xml", L"<l><file name='a' name='b'/></l>"};
    for (const wchar_t* text : texts) {
        const Parsed parsed = Parse(text);
        EXPECT_EQ(E_FAIL, parsed.hr) << Narrow(text);
        EXPECT_TRUE(parsed.files.empty());
        EXPECT_TRUE(parsed.folders.empty());
    }
    std::vector<VFSItem> files(1), folders(1);
    EXPECT_EQ(E_FAIL, mirror::GetFilesAndFolders(nullptr, files, folders, L"C:\\Mirror"));
    EXPECT_TRUE(files.empty());
}

// The document type goes before the parser sees the text; what it declared no longer resolves.
TEST(Listing, TheDocumentTypeIsTakenOutBeforeParsing)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"<?xml version=\"1.0\"?><!DOCTYPE l SYSTEM \"l.dtd\"><l/>", L"<?xml version=\"1.0\"?><l/>"},
        {L"<!-- > --><!DOCTYPE l [<!ENTITY e \"a>b\"><!-- ] -->]><l>&e;</l>", L"<!-- > --><l>&e;</l>"},
        {L"<!DOCTYPE a><!DOCTYPE b [<!ENTITY x SYSTEM 'f>'>]><l/>", L"<l/>"},
        {L"<l><!DOCTYPE l></l>", L"<l><!DOCTYPE l></l>"},
        {L"<!DOCTYPE l [<!ENTITY e \"x\">", L""},
        {L"<!-- never ends <!DOCTYPE l>", L"<!-- never ends <!DOCTYPE l>"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, mirror::WithoutDocumentType(text.c_str(), text.size())) << Narrow(text);
}

// Comments go too; a malformed one (the parser's time grows with its square)
// refuses the listing at once.
TEST(Listing, CommentsAreTakenOutAndMalformedOnesRefused)
{
    const std::pair<std::wstring, const wchar_t*> cases[] = {
        {L"<a><!-- x --><b/><!--y--></a><!---->", L"<a><b/></a>"},
        {L"<a><!-- x -- y --></a>", nullptr},
        {L"<a><!-- x --->", nullptr},
        {L"<a/><!-- x", nullptr},
    };
    for (auto [text, expected] : cases) {
        const bool wellFormed = mirror::RemoveComments(text);
        EXPECT_EQ(expected != nullptr, wellFormed) << Narrow(text);
        if (expected) {
            EXPECT_EQ(expected, text);
        }
    }
    const std::wstring hyphens =
        L"<folder-listing><!--" + std::wstring(2000000, L'-') + L"--><file name=\"a\"/></folder-listing>";
    EXPECT_EQ(E_FAIL, Parse(hyphens, L"C:\\Mirror").hr);
}
