// Mirror folders seen from a client: phones appear, refresh and disappear by
// themselves, with the server out of process and the simulated phones.
#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "ZentrelQuelvar.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "shortcut/VFSShortcut.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {
DWORD Attributes(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str());
}

bool IsHidden(const std::wstring& path)
{
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
}

// Waits until a condition holds; notifications arrive asynchronously.
template <typename Condition> bool Eventually(Condition condition, DWORD timeoutMs = 10000)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(100);
    }
    return true;
}

std::wstring ShortcutName(const std::wstring& path)
{
    shortcut::VFSShortcut shortcut;
    if (FAILED(shortcut.Load(path.c_str())))
        return L"<unreadable>";
    unique_bstr name;
    shortcut.get_Name(name.put());
    return name.c_str();
}

// The mirror root is read once per server process: a fixed root for the whole
// program, emptied before each test.
const wchar_t kMirrorRoot[] = L"C:\\QuelvarMirrorTests";

class MirrorFolders : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        RegisterServer();
        RegisterPhoneSuite();
        WaitForNoProcess(L"ZentrelQuelvar.exe", 30000);
    }
    void SetUp() override
    {
        RemoveFolderTree(kMirrorRoot);
        CreateDirectoryW(kMirrorRoot, nullptr);
    }
    void TearDown() override
    {
        if (quelvar) {
            EXPECT_EQ(S_OK, quelvar->Terminate());
        }
        quelvar.reset();
    }
    void CreateMainObject()
    {
        HRESULT hr = CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar.put_void());
        ASSERT_EQ(S_OK, hr) << HexResult(hr);
    }
    std::wstring Mirror(const std::wstring& relative) const { return std::wstring(kMirrorRoot) + L"\\" + relative; }

    RegistryOverride root{HKEY_CURRENT_USER, L"Software\\Marlith\\DataLayer", L"Root", std::wstring(kMirrorRoot)};
    SimulatedPhones phones;
    com_ptr<IQuelvar> quelvar;
};
} // namespace

TEST_F(MirrorFolders, PhonesConnectedBeforeStartAreMappedAndAbsentOnesHidden)
{
    phones.AddPhone(L"Phone1", L"356938035643809");
    phones.Connect(L"Phone1");
    // A mirror folder of a phone that is not connected, left from an earlier session.
    CreateDirectoryW(Mirror(L"OldPhone").c_str(), nullptr);
    WriteText(Mirror(L"OldPhone\\IMEI"), "490154203237518");
    SetFileAttributesW(Mirror(L"Phone1").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    CreateMainObject();
    EXPECT_TRUE(DirectoryExists(Mirror(L"Phone1")));
    EXPECT_FALSE(IsHidden(Mirror(L"Phone1")));
    EXPECT_TRUE(IsHidden(Mirror(L"OldPhone")));
    EXPECT_TRUE(FileExists(Mirror(L"OldPhone\\IMEI")));
}

TEST_F(MirrorFolders, ConnectAndDisconnectArriveAsNotifications)
{
    CreateMainObject();
    phones.AddPhone(L"Phone2", L"356938035643810");
    phones.AddPhone(L"Odd", L"356938035643811", L"XX-999"); // a model nobody supports
    phones.Connect(L"Phone2");
    phones.Connect(L"Odd");
    EXPECT_TRUE(Eventually([&] { return DirectoryExists(Mirror(L"Phone2")); }));
    EXPECT_FALSE(DirectoryExists(Mirror(L"Odd")));

    ASSERT_EQ(S_OK, quelvar->RefreshFolder(Bstr(Mirror(L"Phone2")).get(), VARIANT_TRUE));
    EXPECT_TRUE(DirectoryExists(Mirror(L"Phone2\\Phone memory (C)")));
    phones.Disconnect(L"Phone2");
    EXPECT_TRUE(Eventually([&] { return IsHidden(Mirror(L"Phone2")); }));
    EXPECT_TRUE(Eventually([&] { return !DirectoryExists(Mirror(L"Phone2\\Phone memory (C)")); }));
    phones.Disconnect(L"Odd"); // never mapped: harmless
}

TEST_F(MirrorFolders, RefreshBuildsFoldersAndShortcutsFromThePhone)
{
    phones.AddPhone(L"Phone3", L"356938035643812");
    phones.MakeFolder(L"ALIAS:Phone3\\C:\\predefgallery");
    phones.MakeFolder(L"ALIAS:Phone3\\C:\\Docs\\Deep");
    phones.PutText(L"ALIAS:Phone3\\C:\\Docs\\con.txt", L"reserved");
    phones.PutText(L"ALIAS:Phone3\\C:\\Docs\\a<b>.jpg", L"invalid");
    phones.PutText(L"ALIAS:Phone3\\C:\\Docs\\notes...", L"dots");
    phones.Connect(L"Phone3");
    CreateMainObject();

    ASSERT_EQ(S_OK, quelvar->RefreshFolder(Bstr(Mirror(L"Phone3")).get(), VARIANT_FALSE));
    const std::wstring memory = Mirror(L"Phone3\\Phone memory (C)");
    EXPECT_TRUE(DirectoryExists(memory));
    EXPECT_TRUE(DirectoryExists(Mirror(L"Phone3\\Memory card (E)")));
    EXPECT_EQ(L"C:", ShortcutName(memory + L"\\folder.vfsfolder"));
    EXPECT_TRUE(IsHidden(memory + L"\\folder.vfsfolder"));

    ASSERT_EQ(S_OK, quelvar->RefreshFolder(Bstr(memory).get(), VARIANT_TRUE));
    EXPECT_TRUE(DirectoryExists(memory + L"\\Docs"));
    // The display name of the predefined folder (the language file's, or the token).
    EXPECT_TRUE(DirectoryExists(memory + L"\\Gallery") || DirectoryExists(memory + L"\\predefgallery"));

    const std::wstring docs = memory + L"\\Docs";
    ASSERT_EQ(S_OK, quelvar->RefreshFolder(Bstr(docs).get(), VARIANT_TRUE));
    EXPECT_EQ(L"con.txt", ShortcutName(docs + L"\\_con.txt.vfslnk"));
    EXPECT_EQ(L"a<b>.jpg", ShortcutName(docs + L"\\a_b_.jpg.vfslnk"));
    EXPECT_EQ(L"notes...", ShortcutName(docs + L"\\notes.vfslnk"));
    EXPECT_TRUE(DirectoryExists(docs + L"\\Deep"));

    // A stale PC folder goes, read-only shortcut files are replaced.
    CreateDirectoryW((docs + L"\\Gone").c_str(), nullptr);
    SetFileAttributesW((docs + L"\\_con.txt.vfslnk").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(S_OK, quelvar->RefreshFolder(Bstr(docs).get(), VARIANT_TRUE));
    EXPECT_FALSE(DirectoryExists(docs + L"\\Gone"));
    EXPECT_EQ(L"con.txt", ShortcutName(docs + L"\\_con.txt.vfslnk"));

    // The mirror root and folders of no phone: S_OK, nothing changes.
    EXPECT_EQ(S_OK, quelvar->RefreshFolder(Bstr(kMirrorRoot).get(), VARIANT_TRUE));
    EXPECT_EQ(S_OK, quelvar->RefreshFolder(Bstr(L"C:\\windows").get(), VARIANT_TRUE));
}

TEST_F(MirrorFolders, PhonesWhoseAliasesArePrefixesReachTheirOwnPhone)
{
    phones.AddPhone(L"Phone1", L"356938035643801");
    phones.AddPhone(L"Phone10", L"356938035643802");
    phones.MakeFolder(L"ALIAS:Phone1\\C:\\OnlyOnOne");
    phones.MakeFolder(L"ALIAS:Phone10\\C:\\OnlyOnTen");
    phones.Connect(L"Phone1");
    phones.Connect(L"Phone10");
    CreateMainObject();
    ASSERT_EQ(S_OK, quelvar->RefreshFolder(Bstr(Mirror(L"Phone10")).get(), VARIANT_FALSE));
    ASSERT_EQ(S_OK, quelvar->RefreshFolder(Bstr(Mirror(L"Phone10\\Phone memory (C)")).get(), VARIANT_FALSE));
    EXPECT_TRUE(DirectoryExists(Mirror(L"Phone10\\Phone memory (C)\\OnlyOnTen")));
    EXPECT_FALSE(DirectoryExists(Mirror(L"Phone10\\Phone memory (C)\\OnlyOnOne")));
}

TEST_F(MirrorFolders, SynchronisationFoldersFollowTheModelMaskAndOutliveADisconnect)
{
    ASSERT_EQ(S_OK, phones->SetModelValue(Bstr(L"OS-300").get(), Bstr(L"Ostrelle_Sync").get(), Bstr(L"1").get()));
    phones.AddPhone(L"Phone6", L"356938035643815", L"OS-300");
    CreateMainObject();
    phones.Connect(L"Phone6");
    ASSERT_TRUE(Eventually([&] { return DirectoryExists(Mirror(L"Phone6")) && !IsHidden(Mirror(L"Phone6")); }));
    // Contacts only (bit 0x1): the message folders are hidden.
    EXPECT_TRUE(Eventually([&] { return IsHidden(Mirror(L"Phone6\\Text Messages")); }));
    EXPECT_TRUE(IsHidden(Mirror(L"Phone6\\Multimedia Messages")));
    EXPECT_FALSE(IsHidden(Mirror(L"Phone6\\Contacts")));

    // A refresh of the phone's folder keeps them and the marker.
    ASSERT_EQ(S_OK, quelvar->RefreshFolder(Bstr(Mirror(L"Phone6")).get(), VARIANT_TRUE));
    EXPECT_TRUE(FileExists(Mirror(L"Phone6\\Contacts\\Folder.xml")));
    EXPECT_TRUE(FileExists(Mirror(L"Phone6\\IMEI")));

    phones.Disconnect(L"Phone6");
    EXPECT_TRUE(Eventually([&] { return IsHidden(Mirror(L"Phone6")); }));
    EXPECT_TRUE(FileExists(Mirror(L"Phone6\\IMEI")));
    EXPECT_TRUE(FileExists(Mirror(L"Phone6\\Contacts\\Folder.xml")));
    EXPECT_FALSE(DirectoryExists(Mirror(L"Phone6\\Phone memory (C)")));
}

TEST_F(MirrorFolders, AVanishedComponentIsConnectedAnewWithMappingAndRegistration)
{
    phones.AddPhone(L"Phone4", L"356938035643813");
    phones.Connect(L"Phone4");
    CreateMainObject();
    ASSERT_TRUE(DirectoryExists(Mirror(L"Phone4")));
    // The server's components and the test's control object share one suite process.
    ASSERT_EQ(1u, FindProcesses(L"SimPhoneSuite.exe").size());

    LONG processId = 0;
    ASSERT_EQ(S_OK, phones->Kill(&processId));
    ASSERT_TRUE(WaitForNoProcess(L"SimPhoneSuite.exe", 20000));

    // A listing that finds the component gone connects anew: the phones are read
    // again, the object registers with the new notification registry, and the
    // listing is asked once more.
    SimulatedPhones restarted;
    ASSERT_EQ(S_OK, restarted->SetStore(Bstr(phones.Store()).get()));
    ASSERT_EQ(S_OK, restarted->SetFault(Bstr(L"readdir").get(), static_cast<LONG>(0x800706BA), 1));
    EXPECT_EQ(S_OK, quelvar->RefreshFolder(Bstr(Mirror(L"Phone4")).get(), VARIANT_FALSE));
    EXPECT_TRUE(DirectoryExists(Mirror(L"Phone4\\Phone memory (C)")));
    EXPECT_FALSE(IsHidden(Mirror(L"Phone4")));
    LONG sinks = 0;
    ASSERT_EQ(S_OK, restarted->GetSinkCount(&sinks));
    EXPECT_EQ(1, sinks);

    restarted.AddPhone(L"Phone5", L"356938035643814");
    restarted.Connect(L"Phone5");
    EXPECT_TRUE(Eventually([&] { return DirectoryExists(Mirror(L"Phone5")); })) << "notifications reach it again";

    // The ended suite process still holds the reference its registry took on the
    // main object. Windows runs such references down after some minutes, Wine
    // never does, so the server is ended here rather than left to later tests.
    EXPECT_EQ(S_OK, quelvar->Terminate());
    quelvar.reset();
    KillProcesses(L"ZentrelQuelvar.exe");
}
