// The file-operation dispatcher end to end: requests through COM to the server
// with the simulated phones, the platform's questions answered as a user would.
#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "Windows.h"
#include "ZentrelQuelvar.h"
#include "common/ByteArray.h"
#include "fileops/FileOperationRequest.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <thread>

using namespace testing_support;
using fileops::FileOperationRequest;
using Names = std::vector<std::wstring>;

namespace {

const wchar_t kMirrorRoot[] = L"C:\\QuelvarDispatchTests";
const std::wstring kPhone = std::wstring(kMirrorRoot) + L"\\DPhone";
const std::wstring kMemory = kPhone + L"\\Phone memory (C)";
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
constexpr HRESULT kStoreFailure = static_cast<HRESULT>(0x80044342);

template <typename Condition> bool Eventually(Condition condition)
{
    for (DWORD start = GetTickCount(); !condition(); Sleep(50)) {
        if (GetTickCount() - start > 15000)
            return false;
    }
    return true;
}

HRESULT Send(IQuelvar* quelvar, UINT code, WORD flags, const Names& sources, const Names& targets = {},
             HWND window = nullptr)
{
    unique_variant request;
    HRESULT hr = FileOperationRequest::Encode(window, code, flags, sources, targets, L"", request.put());
    return SUCCEEDED(hr) ? quelvar->SHFileOperation(*request.get()) : hr;
}

com_ptr<IQuelvar> MainObject()
{
    com_ptr<IQuelvar> quelvar;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar.put_void()));
    return quelvar;
}

// Answers the next dialog of the title from another thread while a request waits for it.
struct Answer {
    Answer(const std::wstring& title, int button) : thread([=] { ClickButton(WaitForDialog(title), button); }) {}
    ~Answer() { thread.join(); }
    std::thread thread;
};

// One server, main object and phone serve every case; the mirror root is read
// once per server process, so no server of other settings may still run.
class Dispatch : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        RegisterServer();
        ASSERT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000));
        RemoveFolderTree(kMirrorRoot);
        CreateDirectoryW(kMirrorRoot, nullptr);
        root_ = std::make_unique<RegistryOverride>(HKEY_CURRENT_USER, L"Software\\Marlith\\DataLayer", L"Root",
                                                   std::wstring(kMirrorRoot));
        phones_ = std::make_unique<SimulatedPhones>();
        phones_->AddPhone(L"DPhone", L"356938035640001");
        phones_->Connect(L"DPhone");
        quelvar_ = MainObject();
        ASSERT_EQ(S_OK, quelvar_->RefreshFolder(Bstr(kPhone).get(), VARIANT_FALSE));
    }
    static void TearDownTestSuite()
    {
        if (quelvar_)
            quelvar_->Terminate();
        quelvar_.reset();
        phones_.reset();
        root_.reset();
    }
    void TearDown() override { (*phones_)->ClearFaults(); }

    // A phone file and the shortcut file that stands for it in the mirror.
    static std::wstring PhoneFile(const std::wstring& name)
    {
        phones_->PutText(L"ALIAS:DPhone\\C:\\" + name, L"on the phone");
        EXPECT_EQ(S_OK, quelvar_->RefreshFolder(Bstr(kMemory).get(), VARIANT_TRUE));
        return kMemory + L"\\" + name + L".vfslnk";
    }
    static bool OnPhone(const std::wstring& name) { return phones_->Has(L"ALIAS:DPhone\\C:\\" + name); }

    static inline std::unique_ptr<RegistryOverride> root_;
    static inline std::unique_ptr<SimulatedPhones> phones_;
    static inline com_ptr<IQuelvar> quelvar_;
    TempDir pc_;
};

TEST_F(Dispatch, RoutesEachKindOfRequest)
{
    const std::wstring shortcut = PhoneFile(L"route.txt");
    const std::wstring file = pc_ / L"file.txt", folder = pc_ / L"folder", copy = folder + L"\\file.txt";
    WriteText(file, "pc");
    CreateDirectoryW(folder.c_str(), nullptr);
    const struct {
        UINT code;
        Names sources, targets;
        HRESULT hr;
        std::function<bool()> holds;
    } cases[] = {
        {FO_DELETE, {shortcut, file}, {}, E_INVALIDARG, [&] { return FileExists(shortcut) && FileExists(file); }},
        {FO_DELETE, {}, {}, E_INVALIDARG, nullptr},
        {12, {file}, {folder, pc_ / L"other"}, E_INVALIDARG, [&] { return !FileExists(copy); }},
        {5, {shortcut}, {}, S_OK, [&] { return FileExists(shortcut) && OnPhone(L"route.txt"); }},
        {12, {shortcut}, {folder}, E_NOTIMPL, nullptr},
        {FO_RENAME, {shortcut}, {kMemory + L"\\other.txt.vfslnk"}, E_NOTIMPL, nullptr},
        {FO_DELETE, {kPhone}, {}, E_FAIL, [&] { return DirectoryExists(kMemory); }},
        {FO_COPY, {file}, {folder}, S_OK, [&] { return FileExists(copy); }},
        {13, {copy}, {}, S_OK, [&] { return !FileExists(copy); }},
        {FO_DELETE, {file}, {kMemory}, S_OK, [&] { return !FileExists(file); }},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].hr, Send(quelvar_.get(), cases[i].code, kQuiet, cases[i].sources, cases[i].targets))
            << "case " << i;
        EXPECT_TRUE(!cases[i].holds || Eventually(cases[i].holds)) << "case " << i;
    }
}

TEST_F(Dispatch, PhoneDeletionFollowsTheAnswerToThePlatformsQuestion)
{
    const struct {
        int button;
        HRESULT hr;
        bool stays;
    } cases[] = {{IDNO, E_ABORT, true}, {IDYES, S_OK, false}};
    for (const auto& c : cases) {
        const std::wstring shortcut = PhoneFile(L"asked.txt");
        {
            Answer answer(L"Confirm file deletion", c.button);
            EXPECT_EQ(c.hr, Send(quelvar_.get(), FO_DELETE, 0, {shortcut}));
        }
        EXPECT_EQ(c.stays, OnPhone(L"asked.txt"));
        EXPECT_EQ(c.stays, FileExists(shortcut));
    }
}

TEST_F(Dispatch, AFailedPhoneDeleteRefreshesTheMirrorEndsWithTheMessageAndIsReported)
{
    const std::wstring shortcut = PhoneFile(L"kept.txt");
    ASSERT_EQ(S_OK, (*phones_)->SetFault(Bstr(L"deletefile").get(), kStoreFailure, 2));
    unique_hwnd window(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
    const UINT endMessage = RegisterWindowMessageW(L"Ostrelle_FILEOPERATION_END_NOTIFY");
    EXPECT_EQ(kStoreFailure, Send(quelvar_.get(), FO_DELETE, kQuiet, {shortcut}, {}, window.get()));
    EXPECT_TRUE(FileExists(shortcut)) << "the refresh brought the shortcut back";
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, window.get(), endMessage, endMessage, PM_REMOVE));
    // A worker tells the user; under Wine a box owned by another process's window never shows.
    ASSERT_EQ(S_OK, Send(quelvar_.get(), 13, kQuiet, {shortcut}));
    HWND box = WaitForDialog(L"Ostrelle");
    ASSERT_NE(nullptr, box);
    ClickButton(box, IDOK);
    EXPECT_TRUE(Eventually([&] { return FileExists(shortcut); }));
    EXPECT_TRUE(OnPhone(L"kept.txt"));
}

TEST_F(Dispatch, RenamingAPhonesTopFolderGoesToThePhoneControl)
{
    phones_->AddPhone(L"RPhone", L"356938035640002");
    phones_->Connect(L"RPhone");
    const std::wstring from = std::wstring(kMirrorRoot) + L"\\RPhone", to = std::wstring(kMirrorRoot) + L"\\Renamed";
    ASSERT_TRUE(Eventually([&] { return FileExists(from + L"\\IMEI"); }));
    ASSERT_EQ(S_OK, (*phones_)->SetFault(Bstr(L"RenamePhone").get(), kStoreFailure, 1));
    EXPECT_EQ(kStoreFailure, Send(quelvar_.get(), FO_RENAME, 0, {from}, {to}));
    EXPECT_EQ(S_OK, Send(quelvar_.get(), FO_RENAME, 0, {from}, {to}));
    unique_bstr listing;
    ASSERT_EQ(S_OK, (*phones_)->ListPhones(listing.put()));
    EXPECT_NE(std::wstring::npos, std::wstring(listing.c_str()).find(L"Renamed\t356938035640002\t"));
    EXPECT_TRUE(Eventually([&] { return FileExists(to + L"\\IMEI"); }));
}

TEST_F(Dispatch, MutatedRequestsAreRefusedOrHarmlessAndTheServerServesOn)
{
    WriteText(pc_ / L"a.txt", "a");
    CreateDirectoryW((pc_ / L"sub").c_str(), nullptr);
    unique_variant valid;
    ASSERT_EQ(S_OK, FileOperationRequest::Encode(nullptr, 5, kQuiet, {pc_ / L"a.txt", pc_ / L"b.txt"}, {pc_ / L"sub"},
                                                 L"Title", valid.put()));
    const std::vector<unsigned char> base = BytesOf(*valid.get());
    std::vector<size_t> nuls; // the list and title terminators
    for (size_t k = fileops::kRequestImageSize; k + 1 < base.size(); k += 2) {
        if (!base[k] && !base[k + 1])
            nuls.push_back(k);
    }
    // Most are cut short, which the server refuses at once; one in thirty-two reaches
    // the routing, which makes a phone component instance for each.
    std::mt19937 random(10);
    for (int i = 0; i < 10000; ++i) {
        std::vector<unsigned char> bytes = base;
        bytes[random() % 4 + (random() % 2 ? 0 : 16)] = static_cast<unsigned char>(random()); // hwnd, flags
        if (i % 64 == 0)
            bytes[4] = static_cast<unsigned char>(i % 128 ? 5 + random() % 7 : 14 + random() % 200); // not handled
        else if (i % 64 == 32)
            bytes[nuls[random() % nuls.size()]] = static_cast<unsigned char>('A' + random() % 26);
        else
            bytes.resize(random() % bytes.size());
        unique_variant request;
        ASSERT_EQ(S_OK, MakeByteArray(bytes, request.put()));
        const HRESULT hr = quelvar_->SHFileOperation(*request.get());
        ASSERT_TRUE(hr == E_INVALIDARG || (i % 32 == 0 && (hr == S_OK || hr == E_FAIL))) << i << ": " << HexResult(hr);
    }
    EXPECT_EQ(S_OK, Send(quelvar_.get(), 12, kQuiet, {pc_ / L"a.txt"}, {pc_ / L"sub"}));
    EXPECT_TRUE(FileExists(pc_ / L"sub\\a.txt"));
}

// Released by its client right after it started, a worker keeps the main object
// and the server until it ends.
TEST(FileOperationWorker, HoldsTheObjectAndTheServerUntilItEnds)
{
    RegisterServer();
    ASSERT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000));
    RegistryOverride root(HKEY_CURRENT_USER, L"Software\\Marlith\\DataLayer", L"Root", std::wstring(kMirrorRoot));
    SimulatedPhones phones; // no phones
    TempDir pc;
    WriteText(pc / L"a.txt", "new");
    CreateDirectoryW((pc / L"to").c_str(), nullptr);
    WriteText(pc / L"to\\a.txt", "old");
    com_ptr<IQuelvar> quelvar = MainObject();
    ASSERT_EQ(S_OK, Send(quelvar.get(), FO_COPY, 0, {pc / L"a.txt"}, {pc / L"to"}));
    HWND question = WaitForDialog(L"Confirm file overwrite");
    ASSERT_NE(nullptr, question);
    EXPECT_EQ(S_OK, quelvar->Terminate());
    quelvar.reset();
    Sleep(8000); // longer than the server's idle time
    EXPECT_EQ(1u, FindProcesses(L"ZentrelQuelvar.exe").size());
    ClickButton(question, IDYES);
    EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000)) << "the worker let go";
    EXPECT_EQ((std::vector<unsigned char>{'n', 'e', 'w'}), ReadBytes(pc / L"to\\a.txt"));
}

} // namespace
