// Parsing the phone's folder listings into files and folders.
#include "mirror/Listing.h"

#include "TestSupport.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

using namespace testing_support;
using mirror::VFSItem;

namespace {

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

std::vector<std::wstring> PhoneNames(const std::vector<VFSItem>& items)
{
    std::vector<std::wstring> names;
    for (const VFSItem& item : items)
        names.push_back(item.phoneName);
    return names;
}

std::vector<std::wstring> PcNames(const std::vector<VFSItem>& items)
{
    std::vector<std::wstring> names;
    for (const VFSItem& item : items)
        names.push_back(item.pcName);
    return names;
}

std::wstring FileUrl(const std::wstring& path)
{
    std::wstring url = L"file:///" + path;
    for (wchar_t& c : url) {
        if (c == L'\\')
            c = L'/';
    }
    return url;
}

using Names = std::vector<std::wstring>;

} // namespace

TEST(Listing, EveryAttributeIsRead)
{
    const Parsed parsed = Parse(LR"(<?xml version="1.0"?>
<folder-listing version="1.0">
  <file name="photo.jpg" size="2048" created="20050228T134509Z" modified="20040229T120000" user-perm="RWD"
        label="Phone memory" mem-type="DEV" type="image/jpeg" other="ignored"/>
</folder-listing>)");
    ASSERT_EQ(S_OK, parsed.hr);
    ASSERT_EQ(parsed.files.size(), 1u);
    EXPECT_TRUE(parsed.folders.empty());
    const VFSItem& file = parsed.files[0];
    EXPECT_STREQ(file.phoneName, L"photo.jpg");
    EXPECT_STREQ(file.pcName, L"");
    EXPECT_EQ(file.size, 2048);
    EXPECT_DOUBLE_EQ(file.created, 38411.0 + (13 * 3600 + 45 * 60 + 9) / 86400.0);
    EXPECT_DOUBLE_EQ(file.modified, 38046.5);
    EXPECT_STREQ(file.userPerm, L"RWD");
    EXPECT_STREQ(file.label, L"Phone memory");
    EXPECT_STREQ(file.memType, L"DEV");
    EXPECT_STREQ(file.mimeType, L"image/jpeg");
}

TEST(Listing, AttributeNamesIgnoreCaseAndLaterOnesWin)
{
    const Parsed parsed = Parse(LR"(<l>
  <file TYPE="text/plain" Size="12" NAME="b.txt" User-Perm="R" LABEL="x" Mem-Type="MMC"/>
  <file name="first" NAME="second" size="1" SIZE="2" created="20040229T120000" CREATED="bad"/>
</l>)");
    ASSERT_EQ(S_OK, parsed.hr);
    ASSERT_EQ(parsed.files.size(), 2u);
    EXPECT_STREQ(parsed.files[0].phoneName, L"b.txt");
    EXPECT_EQ(parsed.files[0].size, 12);
    EXPECT_STREQ(parsed.files[0].mimeType, L"text/plain");
    EXPECT_STREQ(parsed.files[0].userPerm, L"R");
    EXPECT_STREQ(parsed.files[0].label, L"x");
    EXPECT_STREQ(parsed.files[0].memType, L"MMC");
    EXPECT_STREQ(parsed.files[1].phoneName, L"second");
    EXPECT_EQ(parsed.files[1].size, 2);
    EXPECT_EQ(parsed.files[1].created, 0.0);
}

TEST(Listing, SizesAreReadLikeDecimalConversion)
{
    const Parsed parsed =
        Parse(LR"(<l><file name="a" size="12abc"/><file name="b" size="abc"/><file name="c" size="-5"/>
<file name="d" size=" 7"/></l>)");
    ASSERT_EQ(S_OK, parsed.hr);
    ASSERT_EQ(parsed.files.size(), 4u);
    EXPECT_EQ(parsed.files[0].size, 12);
    EXPECT_EQ(parsed.files[1].size, 0);
    EXPECT_EQ(parsed.files[2].size, -5);
    EXPECT_EQ(parsed.files[3].size, 7);
}

TEST(Listing, LongTextsAreCutToTheirFields)
{
    const std::wstring text(300, L'x');
    const Parsed parsed = Parse(L"<l><file name='" + text + L"' label='" + text + L"' user-perm='" + text +
                                L"' mem-type='" + text + L"' type='" + text + L"'/></l>");
    ASSERT_EQ(S_OK, parsed.hr);
    ASSERT_EQ(parsed.files.size(), 1u);
    EXPECT_EQ(std::wstring(parsed.files[0].phoneName), std::wstring(259, L'x'));
    EXPECT_EQ(std::wstring(parsed.files[0].label), std::wstring(259, L'x'));
    EXPECT_EQ(std::wstring(parsed.files[0].userPerm), std::wstring(15, L'x'));
    EXPECT_EQ(std::wstring(parsed.files[0].memType), std::wstring(15, L'x'));
    EXPECT_EQ(std::wstring(parsed.files[0].mimeType), std::wstring(127, L'x'));
}

TEST(Listing, ElementsAnywhereAreTakenInDocumentOrder)
{
    const Parsed parsed = Parse(LR"(<folder-listing>
  <folder name="Images"><file name="inner.jpg"/></folder>
  <group><folder name="Deep"/><file name="deep.txt">content is ignored</file></group>
  <file name="top.txt"/>
  <Folder name="wrong case"/><FILE name="wrong case"/><x:file xmlns:x="urn:x" name="prefixed"/>
  <folder name="Music"/>
</folder-listing>)");
    ASSERT_EQ(S_OK, parsed.hr);
    EXPECT_EQ(PhoneNames(parsed.folders), (Names{L"Images", L"Deep", L"Music"}));
    EXPECT_EQ(PhoneNames(parsed.files), (Names{L"inner.jpg", L"deep.txt", L"top.txt"}));
}

TEST(Listing, FilesWithoutNameAreKeptFoldersDropped)
{
    const Parsed parsed =
        Parse(LR"(<l><file size="5"/><folder label="nameless"/><folder name=""/><folder name="A"/></l>)");
    ASSERT_EQ(S_OK, parsed.hr);
    ASSERT_EQ(parsed.files.size(), 1u);
    EXPECT_STREQ(parsed.files[0].phoneName, L"");
    EXPECT_EQ(parsed.files[0].size, 5);
    EXPECT_EQ(PhoneNames(parsed.folders), (Names{L"A"}));
}

TEST(Listing, FolderPcNamesAreFittedAndUnique)
{
    const Parsed parsed = Parse(LR"(<l><folder name="Photos"/><folder name="Photos"/><folder name="Photos"/>
<folder name="PHOTOS"/><folder name="A folder name longer than thirty characters"/></l>)");
    ASSERT_EQ(S_OK, parsed.hr);
    EXPECT_EQ(PhoneNames(parsed.folders),
              (Names{L"Photos", L"Photos", L"Photos", L"PHOTOS", L"A folder name longer than thirty characters"}));
    EXPECT_EQ(PcNames(parsed.folders),
              (Names{L"Photos", L"Pho(1)", L"Pho(2)", L"PHO(3)", L"A folder name longer than thir"}));
}

TEST(Listing, LongPcFolderPathLowersTheNameLimit)
{
    const std::wstring xml =
        L"<l><folder name='ABCDEFGHIJKLMNOPQRSTUVWXYZ'/><folder name='ABCDEFGHIJKLMNOPQRSTUVWXYZ'/></l>";
    const struct {
        size_t folderLength;
        Names pcNames;
    } cases[] = {
        {120, {L"ABCDEFGHIJKLMNOPQRST", L"ABCDEFGHIJKLMNOPQ(1)"}},
        {180, {L"ABCDEFGHIJ", L"ABCDEFG(1)"}},
        {255, {L"ABCD", L"A(1)"}},
        // No room at all: the names stay as the phone gives them.
        {259, {L"ABCDEFGHIJKLMNOPQRSTUVWXYZ", L"ABCDEFGHIJKLMNOPQRSTUVWXYZ"}},
    };
    for (const auto& c : cases) {
        const Parsed parsed = Parse(xml, L"C:\\" + std::wstring(c.folderLength - 3, L'f'));
        ASSERT_EQ(S_OK, parsed.hr);
        EXPECT_EQ(PcNames(parsed.folders), c.pcNames) << c.folderLength;
    }
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

TEST(Listing, DocumentTypeAndExternalEntitiesAreNeverFetched)
{
    TempDir dir;
    // Were either file read, a file named "leaked" would appear in the listing.
    WriteText(dir / L"secret.xml", "<file name=\"leaked\"/>");
    WriteText(dir / L"listing.dtd", "<!ATTLIST file name CDATA \"leaked\">\n<!ENTITY ext SYSTEM \"secret.xml\">");
    const std::wstring xml = L"<?xml version=\"1.0\"?>\n<!DOCTYPE folder-listing SYSTEM \"" +
                             FileUrl(dir / L"listing.dtd") + L"\" [\n<!ENTITY secret SYSTEM \"" +
                             FileUrl(dir / L"secret.xml") +
                             L"\">\n]>\n<folder-listing><file name=\"a.txt\"/><file/>&secret;</folder-listing>";
    const Parsed parsed = Parse(xml);
    if (parsed.hr == S_OK) {
        EXPECT_EQ(PhoneNames(parsed.files), (Names{L"a.txt", L""}));
    } else {
        EXPECT_EQ(E_FAIL, parsed.hr);
        EXPECT_TRUE(parsed.files.empty());
    }
}

TEST(Listing, ManyCollidingFolderNamesAreNumberedInTurn)
{
    const std::wstring longName = L"Holiday pictures from the summer";
    std::wstring xml = L"<l>";
    Names expected;
    for (int i = 0; i < 120; ++i) {
        xml += L"<folder name='" + longName + L" " + std::to_wstring(i) + L"'/>";
        const std::wstring suffix = i ? L"(" + std::to_wstring(i) + L")" : L"";
        expected.push_back(longName.substr(0, 30 - suffix.size()) + suffix);
    }
    for (int i = 0; i < 10; ++i) {
        xml += L"<folder name='album " + std::to_wstring(i) + L"'/><folder name='ALBUM " + std::to_wstring(i) + L"'/>";
        const std::wstring suffix = L"(" + std::to_wstring(i + 1) + L")";
        expected.push_back(L"album " + std::to_wstring(i));
        expected.push_back(std::wstring(L"ALBUM 0").substr(0, 7 - suffix.size()) + suffix);
    }
    const Parsed parsed = Parse(xml + L"</l>");
    ASSERT_EQ(S_OK, parsed.hr);
    const Names pcNames = PcNames(parsed.folders);
    ASSERT_EQ(pcNames.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(pcNames[i], expected[i]) << i;
}
