// A phone answering listings crafted to hurt: names that climb out of the mirror
// folder, control characters, names and trees too long for a PC path, huge
// listings, malformed XML, entities and document types, nonsense sizes and dates.
// For each, a refresh, a download, a copy to the PC, a rename and a delete answer
// their exact HRESULT, the server still serves, and nothing outside the phone's
// mirror folder and the scratch folders changes.
#include "ServerRig.h"
#include "common/Paths.h"

#include <gtest/gtest.h>

#include <map>

using namespace testing_support;

namespace {

const wchar_t kRoot[] = L"C:\\QuelvarHostileTests";
const std::wstring kPhoneFolder = L"ALIAS:Evil\\C:\\h";
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
constexpr UINT kCopyHere = 12; // a copy answered on the calling thread
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80044343);
constexpr HRESULT kBadName = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
constexpr HRESULT kNone = 1; // no shortcut to act on

std::wstring Listing(const std::wstring& body, const std::wstring& prolog = L"")
{
    return L"<?xml version=\"1.0\"?>" + prolog + L"<folder-listing version=\"1.0\">" + body + L"</folder-listing>";
}
std::wstring File(const std::wstring& name, const std::wstring& more = L" size=\"5\" modified=\"20260301T101500\"")
{
    return L"<file name=\"" + name + L"\"" + more + L"/>";
}
std::wstring Folder(const std::wstring& name)
{
    return L"<folder name=\"" + name + L"\"/>";
}
std::wstring Times(int count, const std::wstring& text)
{
    std::wstring all;
    for (int i = 0; i < count; ++i)
        all += text;
    return all;
}
struct Row {
    const char* what;
    std::wstring listing;
    HRESULT refresh, download, copy, rename, remove;
};

// Names, sizes and times of every item below folder but the skipped ones.
using Snapshot = std::map<std::wstring, std::wstring>;
void Take(const std::wstring& folder, bool deep, const std::vector<std::wstring>& skip, Snapshot& shot)
{
    WIN32_FIND_DATAW found;
    unique_find search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &found)) {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (name == L"." || name == L".." || name.rfind(L"WrapperTemp", 0) == 0 ||
            std::find(skip.begin(), skip.end(), path) != skip.end())
            continue;
        shot[path] = std::to_wstring(found.nFileSizeLow) + L" " + std::to_wstring(found.ftLastWriteTime.dwLowDateTime);
        if (deep && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            Take(path, deep, skip, shot);
    }
}

class HostilePhone : public SharedRig<ServerRig, testing::TestWithParam<Row>>
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<ServerRig>(kRoot, L"Evil", L"350000000000071");
        rig_->phones.MakeFolder(kPhoneFolder);
        rig_->phones.PutBytes(kPhoneFolder + L"\\x", {'p', 'h', 'o', 'n', 'e'});
        ASSERT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(Memory()).get(), VARIANT_TRUE));
        // What a resolved entity or document type would bring in.
        WriteText(std::wstring(kRoot) + L"\\canary.xml", "<file name=\"leaked\"/>");
        WriteText(std::wstring(kRoot) + L"\\canary.dtd", "<!ATTLIST file name CDATA \"leaked\">");
    }
    static std::wstring Memory() { return rig_->Memory(); }
    Snapshot Outside() const
    {
        Snapshot shot;
        Take(kRoot, true, {std::wstring(kRoot) + L"\\Evil"}, shot);
        Take(pc_.path(), true, {pc_ / L"to"}, shot);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        Take(paths::Parent(temp), false, {}, shot);
        Take(L"C:", false, {}, shot);
        return shot;
    }
    TempDir pc_;
};

TEST_P(HostilePhone, AnswersItsResultAndTouchesNothingOutsideTheMirror)
{
    const Row& row = GetParam();
    IQuelvar* q = HostilePhone::q();
    rig_->phones.PutBytes(kPhoneFolder + L"\\x", {'p', 'h', 'o', 'n', 'e'});
    DeleteFileW((rig_->phones.Store() + L"\\Evil\\mem-C\\h\\renamed").c_str());
    for (const std::wstring& name : NamesIn(Memory() + L"\\h")) // a refused listing leaves the mirror as it was
        if (name.find(L".vfslnk") != std::wstring::npos)
            DeleteFileW((Memory() + L"\\h\\" + name).c_str());
    WriteBytes(pc_ / L"listing.xml", Utf16Bom(row.listing));
    WriteText(pc_ / L"canary.txt", "pc");
    CreateDirectoryW((pc_ / L"to").c_str(), nullptr);
    const bool deep = std::string(row.what) == "deep tree";
    ASSERT_EQ(S_OK, rig_->phones->SetListing(Bstr(kPhoneFolder + (deep ? L"\\*" : L"")).get(),
                                             Bstr(pc_ / L"listing.xml").get()));
    const Snapshot before = Outside();

    // The client goes down the tree as far as the server lets it.
    std::wstring folder = Memory() + L"\\h";
    HRESULT refresh = q->RefreshFolder(Bstr(folder).get(), VARIANT_TRUE);
    for (std::vector<std::wstring> names; deep && refresh == S_OK && !(names = NamesIn(folder)).empty();)
        refresh = q->RefreshFolder(Bstr(folder += L"\\" + names.front().substr(0, names.front().size() - 1)).get(),
                                   VARIANT_TRUE);
    EXPECT_EQ(HexResult(row.refresh), HexResult(refresh)) << row.what;
    EXPECT_FALSE(FileExists(Memory() + L"\\h\\leaked.vfslnk")) << row.what;

    std::wstring link;
    for (const std::wstring& name : NamesIn(Memory() + L"\\h"))
        if (link.empty() && name.find(L".vfslnk") != std::wstring::npos)
            link = Memory() + L"\\h\\" + name;
    HRESULT download = kNone, rename = kNone, remove = kNone;
    unique_variant data;
    if (!link.empty())
        download = q->DownloadVFSFile(Bstr(link).get(), 0, 1, 0, 0, data.put());
    const HRESULT copy = SendFileOperation(q, kCopyHere, kQuiet, {Memory() + L"\\h"}, {pc_ / L"to"});
    if (!link.empty()) {
        // The mirror shows what the phone lists: the renamed item under its old name.
        rename = SendFileOperation(q, FO_RENAME, kQuiet, {link}, {Memory() + L"\\h\\renamed"});
        remove = SendFileOperation(q, FO_DELETE, kQuiet, {link});
    }
    EXPECT_EQ(HexResult(row.download), HexResult(download)) << row.what;
    EXPECT_EQ(HexResult(row.copy), HexResult(copy)) << row.what;
    EXPECT_EQ(HexResult(row.rename), HexResult(rename)) << row.what;
    EXPECT_EQ(HexResult(row.remove), HexResult(remove)) << row.what;

    // Still serving, and nothing outside the mirror folder and the scratch folders changed.
    EXPECT_EQ(S_OK, q->RefreshFolder(Bstr(Memory()).get(), VARIANT_FALSE)) << row.what;
    EXPECT_EQ(before, Outside()) << row.what;
    rig_->phones->ClearFaults();
    EXPECT_EQ(S_OK, q->RefreshFolder(Bstr(Memory() + L"\\h").get(), VARIANT_TRUE)) << row.what;
}

const std::wstring kLong(300, L'n');
const std::wstring kExternal =
    L"<!DOCTYPE folder-listing [<!ENTITY ext SYSTEM \"file:///C:/QuelvarHostileTests/canary.xml\">]>";
const std::wstring kSystemDtd = L"<!DOCTYPE folder-listing SYSTEM \"file:///C:/QuelvarHostileTests/canary.dtd\">";

INSTANTIATE_TEST_SUITE_P(
    Listings, HostilePhone,
    testing::Values(
        Row{"dot-dot", Listing(File(L"..") + Folder(L"..")), kBadName, kNone, kBadName, kNone, kNone},
        Row{"climbing", Listing(File(L"..\\..\\x") + Folder(L"..\\..\\..\\..\\y")), kBadName, kNone, kBadName, kNone,
            kNone},
        Row{"NUL", Listing(File(std::wstring(L"a\0b", 3))), E_FAIL, kNone, E_FAIL, kNone, kNone},
        Row{"control",
            Listing(File(L"a\x1b"
                         L"b")),
            E_FAIL, kNone, E_FAIL, kNone, kNone},
        Row{"blanks", Listing(File(L" x ")), S_OK, kNotFound, kNotFound, kNotFound, kNotFound},
        Row{"long file", Listing(File(L"x") + File(kLong)), kPathTooLong, kNone, kPathTooLong, kNone, kNone},
        Row{"10000 of one name", Listing(Times(10000, File(L"same.jpg"))), S_OK, kNotFound, kNotFound, kNotFound,
            kNotFound},
        Row{"several MB", // 3 MB
            Listing(File(L"x", L" type=\"" + std::wstring(1500000, L't') + L"\"") + std::wstring(500000, L' ')), S_OK,
            S_OK, S_OK, S_OK, kNotFound},
        Row{"malformed", L"<folder-listing><file name=\"x\">", E_FAIL, kNone, E_FAIL, kNone, kNone},
        Row{"external entity", Listing(L"&ext;" + File(L"x"), kExternal), E_FAIL, kNone, E_FAIL, kNone, kNone},
        Row{"external document type", Listing(L"<file size=\"1\"/>", kSystemDtd), E_INVALIDARG, kNone, kNotFound, kNone,
            kNone},
        Row{"sizes and dates",
            Listing(File(L"x", L" size=\"-5\" modified=\"00000101T000000\" created=\"99991231T235959\"") +
                    File(L"y", L" size=\"many\" modified=\"20261399T256199\"") +
                    File(L"z", L" size=\"99999999999999999999\" modified=\"-999-1-1T-1-1-1\"")),
            S_OK, S_OK, kNotFound, S_OK, kNotFound},
        Row{"deep tree", Listing(Folder(std::wstring(40, L'd'))), kPathTooLong, kNone, kPathTooLong, kNone, kNone}));

} // namespace
