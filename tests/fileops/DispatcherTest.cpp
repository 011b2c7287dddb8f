// The file-operation dispatcher end to end: requests through COM to the server
// with the simulated phones, the platform's questions answered as a user would.
#include "ServerRig.h"
#include "Windows.h"
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
constexpr HRESULT kTaken = static_cast<HRESULT>(0x800700B7); // ERROR_ALREADY_EXISTS: a shortcut names the same file

class Dispatch : public testing::Test
{
protected:
    static void SetUpTestSuite() { rig_ = std::make_unique<ServerRig>(kMirrorRoot, L"DPhone", L"356938035640001"); }
    static void TearDownTestSuite() { rig_.reset(); }
    // A phone file and the shortcut file that stands for it in the mirror.
    static std::wstring PhoneFile(const std::wstring& name)
    {
        rig_->phones.PutText(L"ALIAS:DPhone\\C:\\" + name, L"on the phone");
        EXPECT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(kMemory).get(), VARIANT_TRUE));
        return kMemory + L"\\" + name + L".vfslnk";
    }
    static bool OnPhone(const std::wstring& name) { return rig_->phones.Has(L"ALIAS:DPhone\\C:\\" + name); }

    static inline std::unique_ptr<ServerRig> rig_;
    TempDir pc_;
};

TEST_F(Dispatch, RoutesEachKindOfRequest)
{
    const std::wstring link = PhoneFile(L"route.txt"), askedLink = PhoneFile(L"asked.txt");
    const auto asked = [&] { return FileExists(askedLink) + OnPhone(L"asked.txt"); }; // 2: both stay
    const wchar_t* kConfirm = L"Confirm file deletion";
    const std::wstring file = pc_ / L"file.txt", folder = pc_ / L"folder", copy = folder + L"\\file.txt";
    WriteText(file, "pc");
    CreateDirectoryW(folder.c_str(), nullptr);
    rig_->phones.AddPhone(L"RPhone", L"356938035640002");
    rig_->phones.Connect(L"RPhone");
    const std::wstring from = std::wstring(kMirrorRoot) + L"\\RPhone", to = std::wstring(kMirrorRoot) + L"\\Renamed";
    ASSERT_TRUE(WaitWithoutMessages([&] { return FileExists(from + L"\\IMEI"); }));
    const std::wstring keptLink = PhoneFile(L"kept.txt");
    unique_hwnd window(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
    const UINT endMessage = RegisterWindowMessageW(L"Ostrelle_FILEOPERATION_END_NOTIFY");
    MSG message;
    const auto ended = [&] { return PeekMessageW(&message, window.get(), endMessage, endMessage, PM_REMOVE) != 0; };
    const auto kept = [&] { return FileExists(keptLink) && OnPhone(L"kept.txt"); }; // the mirror refreshed
    const struct {
        UINT code;
        WORD flags;
        Names sources, targets;
        HRESULT hr;
        std::function<bool()> holds = nullptr;
        const wchar_t* fault = nullptr;  // fails once in the suite
        const wchar_t* dialog = nullptr; // answered with the button
        int button = 0;
    } cases[] = {
        {FO_DELETE, kQuiet, {link, file}, {}, E_INVALIDARG, [&] { return FileExists(link) && FileExists(file); }},
        {FO_DELETE, kQuiet, {}, {}, E_INVALIDARG},
        {12, kQuiet, {file}, {folder, pc_ / L"other"}, E_INVALIDARG, [&] { return !FileExists(copy); }},
        {5, kQuiet, {link}, {}, S_OK, [&] { return FileExists(link) && OnPhone(L"route.txt"); }},
        {FO_RENAME, kQuiet, {link}, {kMemory + L"\\other.txt.vfslnk"}, kTaken, [&] { return OnPhone(L"route.txt"); }},
        {FO_DELETE, kQuiet, {kPhone}, {}, E_FAIL, [&] { return DirectoryExists(kMemory); }},
        {FO_COPY, kQuiet, {file}, {folder}, S_OK, [&] { return FileExists(copy); }},
        {13, kQuiet, {copy}, {}, S_OK, [&] { return !FileExists(copy); }},
        {FO_DELETE, kQuiet, {file}, {kMemory}, S_OK, [&] { return !FileExists(file); }},
        {FO_DELETE, 0, {askedLink}, {}, E_ABORT, [&] { return asked() == 2; }, nullptr, kConfirm, IDNO},
        {FO_DELETE, 0, {askedLink}, {}, S_OK, [&] { return asked() == 0; }, nullptr, kConfirm, IDYES},
        {FO_DELETE, kQuiet, {keptLink}, {}, kStoreFailure, kept, L"deletefile"},
        // A worker tells the user; under Wine a box owned by another process's window never shows.
        {13, kQuiet, {keptLink}, {}, S_OK, kept, L"deletefile", L"Ostrelle", IDOK},
        {13, kQuiet, {link}, {}, S_OK, [&] { return ended() && !OnPhone(L"route.txt"); }},
        {FO_RENAME, 0, {from}, {to}, kStoreFailure, nullptr, L"RenamePhone"},
        {FO_RENAME, 0, {from}, {to}, S_OK, [&] { return FileExists(to + L"\\IMEI"); }}, // connected anew
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        ASSERT_TRUE(!c.fault || rig_->phones->SetFault(Bstr(c.fault).get(), kStoreFailure, 1) == S_OK);
        HWND dialog = nullptr;
        std::thread answer([&] { c.dialog ? ClickButton(dialog = WaitForDialog(c.dialog), c.button) : void(); });
        EXPECT_EQ(c.hr, SendFileOperation(rig_->quelvar.get(), c.code, c.flags, c.sources, c.targets,
                                          c.code == 13 && !c.fault ? window.get() : nullptr))
            << "case " << i;
        answer.join();
        EXPECT_EQ(!c.dialog, !dialog) << "case " << i;
        // Without dispatching: a condition may look for a message of this thread's own.
        EXPECT_TRUE(!c.holds || WaitWithoutMessages(c.holds)) << "case " << i;
    }
}

TEST_F(Dispatch, MutatedRequestsAreRefusedOrHarmlessAndTheServerServesOn)
{
    unique_variant valid;
    ASSERT_EQ(S_OK, FileOperationRequest::Encode(nullptr, 5, kQuiet, {pc_ / L"a.txt", pc_ / L"b.txt"}, {pc_ / L"sub"},
                                                 L"", valid.put()));
    const std::vector<unsigned char> base = BytesOf(*valid.get()); // ends with four NULs: target list, title
    // Most are cut short; one in thirty-two reaches the routing and its phone component.
    std::mt19937 random(10);
    for (int i = 0; i < 10000; ++i) {
        std::vector<unsigned char> bytes = base;
        bytes[random() % 4 + (random() % 2 ? 0 : 16)] = static_cast<unsigned char>(random()); // hwnd, flags
        if (i % 64 == 0)
            bytes[4] = static_cast<unsigned char>(i % 128 ? 5 + random() % 7 : 14 + random() % 200); // not handled
        else if (i % 64 == 32)
            bytes[bytes.size() - 2 * (1 + random() % 4)] = static_cast<unsigned char>('A' + random() % 26);
        else
            bytes.resize(random() % bytes.size());
        unique_variant request;
        ASSERT_EQ(S_OK, MakeByteArray(bytes, request.put()));
        const HRESULT hr = rig_->quelvar->SHFileOperation(*request.get());
        ASSERT_TRUE(hr == E_INVALIDARG || (i % 32 == 0 && (hr == S_OK || hr == E_FAIL))) << i << ": " << HexResult(hr);
    }
    EXPECT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(kMemory).get(), VARIANT_TRUE));
}

// A worker released by its client at once keeps the object and the server until it ends.
TEST(FileOperationWorker, HoldsTheObjectAndTheServerUntilItEnds)
{
    RegisterServer();
    ASSERT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000));
    RegistryOverride root = MirrorRootSetting(kMirrorRoot);
    SimulatedPhones phones; // no phones
    TempDir pc;
    WriteText(pc / L"a.txt", "new");
    CreateDirectoryW((pc / L"to").c_str(), nullptr);
    WriteText(pc / L"to\\a.txt", "old");
    com_ptr<IQuelvar> quelvar = CreateLocal<IQuelvar>(CLSID_Quelvar, IID_IQuelvar);
    ASSERT_EQ(S_OK, SendFileOperation(quelvar.get(), FO_COPY, 0, {pc / L"a.txt"}, {pc / L"to"}));
    HWND question = WaitForDialog(L"Confirm file overwrite"); // the worker waits for the answer
    EXPECT_EQ(S_OK, quelvar->Terminate());
    quelvar.reset();
    Sleep(8000); // longer than the server's idle time
    EXPECT_EQ(1u, FindProcesses(L"ZentrelQuelvar.exe").size());
    ClickButton(question, IDYES);
    EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000)) << "the worker let go";
    EXPECT_EQ((std::vector<unsigned char>{'n', 'e', 'w'}), ReadBytes(pc / L"to\\a.txt"));
}

} // namespace
