// The main object created out of process through COM, as a client creates it,
// with the simulated phones: its interfaces, the phone services, and the mirror
// folders that appear, refresh and disappear by themselves. The suite tells every
// sink before its control call returns, so a notification's effects are there
// when it does.
#include "ServerRig.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>

using namespace testing_support;
using Names = std::vector<std::wstring>;

namespace {

// The mirror root is read once per server process: a fixed root for the whole
// program, emptied before each test.
const wchar_t kMirrorRoot[] = L"C:\\QuelvarMirrorTests";

class MainObject : public testing::Test
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
    }
    void Start() { ASSERT_TRUE(quelvar = CreateLocal<IQuelvar>(CLSID_Quelvar, IID_IQuelvar)); }
    std::wstring Mirror(const std::wstring& relative) const { return std::wstring(kMirrorRoot) + L"\\" + relative; }
    HRESULT RefreshFolder(const std::wstring& folder, VARIANT_BOOL files = VARIANT_TRUE)
    {
        return quelvar->RefreshFolder(Bstr(folder).get(), files);
    }
    // The phone a path leads the object to, as the capability request names it.
    std::wstring PhoneOf(IQuelvar* object, const std::wstring& pcPath, const SimulatedPhones* suite = nullptr)
    {
        unique_variant capability;
        EXPECT_EQ(S_OK, object->GetCapabilityObject(Bstr(pcPath).get(), capability.get()));
        return (suite ? *suite : phones).LastCall(L"ReadObexCapability");
    }

    RegistryOverride root = MirrorRootSetting(kMirrorRoot);
    RegistryOverride language = InstallationSetting(contract::kCurrentLanguageValue, L"enu");
    SimulatedPhones phones;
    com_ptr<IQuelvar> quelvar;
};

} // namespace

TEST_F(MainObject, PhonesAreMappedAtStartAndByNotificationsAndTheComponentIsAskedThroughTheObject)
{
    phones.AddPhone(L"Phone1", L"356938035643809");
    phones.Connect(L"Phone1");
    SetFileAttributesW(Mirror(L"Phone1").c_str(), kHiddenSystem);
    // A mirror folder of a phone that is not connected, left from an earlier session.
    CreateDirectoryW(Mirror(L"OldPhone").c_str(), nullptr);
    WriteText(Mirror(L"OldPhone\\IMEI"), "490154203237518");
    // Contacts only (bit 0x1): the message folders are hidden.
    ASSERT_EQ(S_OK, phones->SetModelValue(Bstr(L"OS-300").get(), Bstr(L"Ostrelle_Sync").get(), Bstr(L"1").get()));
    phones.AddPhone(L"Phone6", L"356938035643815", L"OS-300");
    phones.AddPhone(L"Odd", L"356938035643811", L"XX-999"); // a model nobody supports
    CreateDirectoryW(Mirror(L"Phone6").c_str(), nullptr);
    SetFileAttributesW(Mirror(L"Phone6").c_str(), kHiddenSystem);
    Start();
    EXPECT_EQ(0u, HiddenSystemOf(Mirror(L"Phone1")));
    EXPECT_EQ(kHiddenSystem, HiddenSystemOf(Mirror(L"OldPhone")));
    EXPECT_TRUE(FileExists(Mirror(L"OldPhone\\IMEI")));

    // Refresh and GetImei ask the phone component; paths outside every mirror reach nothing.
    EXPECT_EQ(S_OK, quelvar->Refresh(ALL, Bstr(L"").get()));
    EXPECT_EQ(L"0|", phones.LastCall(L"Refresh"));
    EXPECT_EQ(S_OK, quelvar->Refresh(ALL, Bstr(L"Phone1").get()));
    EXPECT_EQ(L"0|ALIAS:Phone1", phones.LastCall(L"Refresh"));
    EXPECT_EQ(static_cast<HRESULT>(0x80044343), quelvar->Refresh(ALL, Bstr(L"Nobody").get()));
    EXPECT_EQ(L"0|ALIAS:Nobody", phones.LastCall(L"Refresh"));

    EXPECT_EQ(S_OK, quelvar->Refresh(ITEM, Bstr(L"C:\\windows").get()));
    // A path too long for the working buffers is refused before the component.
    EXPECT_EQ(static_cast<HRESULT>(0x800700CE), quelvar->Refresh(ALL, Bstr(std::wstring(300, L'x')).get()));
    EXPECT_EQ(L"<none>", phones.LastCall(L"Refresh"));
    unique_variant capability;
    EXPECT_EQ(S_OK, quelvar->GetCapabilityObject(Bstr(L"C:\\windows").get(), capability.get()));
    EXPECT_EQ(VT_EMPTY, capability.get()->vt);
    EXPECT_EQ(L"<none>", phones.LastCall(L"ReadObexCapability"));

    unique_bstr imei;
    ASSERT_EQ(S_OK, quelvar->GetImei(Bstr(L"Phone1").get(), imei.put()));
    EXPECT_EQ(std::wstring(L"356938035643809"), imei.c_str());
    // A phone the component does not know, and the component's faults: through the one mapping.
    EXPECT_EQ(static_cast<HRESULT>(0x80044343), quelvar->GetImei(Bstr(L"Nobody").get(), imei.put()));
    ASSERT_EQ(S_OK, phones->SetFault(Bstr(L"GetImei").get(), 0x4252, 1));
    EXPECT_EQ(E_ABORT, quelvar->GetImei(Bstr(L"Phone1").get(), imei.put()));

    phones.Connect(L"Odd");
    phones.Connect(L"Phone6");
    EXPECT_EQ(L"<none>", PhoneOf(quelvar.get(), Mirror(L"Odd")));
    EXPECT_EQ(L"ALIAS:Phone6|1000", PhoneOf(quelvar.get(), Mirror(L"Phone6")));
    EXPECT_EQ(0u, HiddenSystemOf(Mirror(L"Phone6")));
    EXPECT_EQ(0u, HiddenSystemOf(Mirror(L"Phone6\\Contacts")));
    EXPECT_EQ(kHiddenSystem, HiddenSystemOf(Mirror(L"Phone6\\Text Messages")));
    EXPECT_EQ(kHiddenSystem, HiddenSystemOf(Mirror(L"Phone6\\Multimedia Messages")));

    // A refresh of the phone's folder keeps them and the marker.
    ASSERT_EQ(S_OK, RefreshFolder(Mirror(L"Phone6")));
    const Names synchronisation{L"Contacts\\", L"IMEI", L"Multimedia Messages\\", L"Text Messages\\"};
    EXPECT_EQ((Names{L"Contacts\\", L"IMEI", L"Memory card (E)\\", L"Multimedia Messages\\", L"Phone memory (C)\\",
                     L"Text Messages\\"}),
              NamesIn(Mirror(L"Phone6")));

    phones.Disconnect(L"Phone6");
    phones.Disconnect(L"Odd"); // never mapped: harmless
    EXPECT_EQ(L"<none>", PhoneOf(quelvar.get(), Mirror(L"Phone6")));
    EXPECT_EQ(kHiddenSystem, HiddenSystemOf(Mirror(L"Phone6")));
    EXPECT_EQ(synchronisation, NamesIn(Mirror(L"Phone6")));
    EXPECT_TRUE(FileExists(Mirror(L"Phone6\\Contacts\\Folder.xml")));

    EXPECT_EQ(S_OK, quelvar->Terminate());
    // Methods with their own component instance work after Terminate.
    EXPECT_EQ(S_OK, quelvar->GetImei(Bstr(L"Phone1").get(), imei.put()));
    quelvar.reset();
}

TEST_F(MainObject, RefreshBuildsTheMirrorWhosePathsReachTheirOwnPhoneAndASecondObjectSeesThePhonesTillTerminate)
{
    phones.AddPhone(L"Phone1", L"356938035643801");
    phones.AddPhone(L"Phone10", L"356938035643802");
    phones.AddPhone(L"Phone2", L"356938035643803");
    phones.AddPhone(L"Phone3", L"356938035643804");
    phones.MakeFolder(L"ALIAS:Phone1\\C:\\OnlyOnOne");
    phones.MakeFolder(L"ALIAS:Phone10\\C:\\predefgallery");
    phones.MakeFolder(L"ALIAS:Phone10\\C:\\a<b>");
    phones.PutBytes(L"ALIAS:Phone10\\C:\\a<b>.jpg", {'x'});
    phones.Connect(L"Phone1");
    phones.Connect(L"Phone10");
    Start();
    const std::wstring memory = Mirror(L"Phone10\\Phone memory (C)");
    ASSERT_EQ(S_OK, RefreshFolder(Mirror(L"Phone10"), VARIANT_FALSE));
    EXPECT_STREQ(L"C:", shortcut::GetShortcutDetails(memory + L"\\folder.vfsfolder").phoneName);
    EXPECT_EQ(kHiddenSystem, HiddenSystemOf(memory + L"\\folder.vfsfolder"));
    // A stale PC folder goes; the predefined folder gets the language's name.
    CreateDirectoryW((memory + L"\\Gone").c_str(), nullptr);
    ASSERT_EQ(S_OK, RefreshFolder(memory));
    EXPECT_EQ((Names{L"Gallery\\", L"a_b_.jpg.vfslnk", L"a_b_\\", L"folder.vfsfolder"}), NamesIn(memory));
    // The mirror root and folders of no phone: S_OK, nothing changes.
    EXPECT_EQ(S_OK, RefreshFolder(kMirrorRoot));
    EXPECT_EQ(S_OK, RefreshFolder(L"C:\\windows"));

    // Refresh of an item passes the item's phone path, read from its shortcuts.
    const std::pair<std::wstring, const wchar_t*> items[] = {
        {Mirror(L"Phone10"), L"1|ALIAS:Phone10"},
        {memory + L"\\Gallery", L"1|ALIAS:Phone10\\C:\\predefgallery"},
        {memory + L"\\a_b_", L"1|ALIAS:Phone10\\C:\\a<b>"},
        {memory + L"\\a_b_.jpg.vfslnk", L"1|ALIAS:Phone10\\C:\\a<b>.jpg"},
        // Items of a synchronisation folder are no phone items: nothing is asked.
        {Mirror(L"Phone10\\Contacts\\card.vcf"), L"<none>"},
    };
    for (const auto& [pcPath, refreshed] : items) {
        EXPECT_EQ(S_OK, quelvar->Refresh(ITEM, Bstr(pcPath).get())) << Narrow(pcPath);
        EXPECT_EQ(refreshed, phones.LastCall(L"Refresh")) << Narrow(pcPath);
    }

    // The capability object comes from the phone behind the folder.
    unique_variant capability;
    ASSERT_EQ(S_OK, quelvar->GetCapabilityObject(Bstr(memory + L"\\a_b_").get(), capability.get()));
    EXPECT_EQ(L"ALIAS:Phone10|1000", phones.LastCall(L"ReadObexCapability"));
    ASSERT_EQ(VT_BSTR, capability.get()->vt);
    EXPECT_NE(std::wstring::npos, std::wstring(capability.get()->bstrVal).find(L"<SN>356938035643802</SN>"));
    EXPECT_EQ(L"ALIAS:Phone1|1000", PhoneOf(quelvar.get(), Mirror(L"Phone1\\Phone memory (C)")));

    // A second plain object sees the phones too; its Terminate takes its registration back.
    LONG sinks = 0, sinksBefore = 0;
    ASSERT_EQ(S_OK, phones->GetSinkCount(&sinksBefore));
    com_ptr<IQuelvar> other = CreateLocal<IQuelvar>(CLSID_Quelvar, IID_IQuelvar);
    ASSERT_TRUE(other);
    phones.Connect(L"Phone2"); // told to both
    for (IQuelvar* object : {quelvar.get(), other.get()}) {
        unique_bstr imei;
        EXPECT_EQ(S_OK, object->GetImei(Bstr(L"Phone1").get(), imei.put()));
        EXPECT_EQ(std::wstring(L"356938035643801"), imei.c_str());
        EXPECT_EQ(L"ALIAS:Phone1|1000", PhoneOf(object, Mirror(L"Phone1")));
        EXPECT_EQ(L"ALIAS:Phone2|1000", PhoneOf(object, Mirror(L"Phone2")));
    }

    // Terminate takes the object's registration back through a registry object of its own.
    EXPECT_EQ(S_OK, other->Terminate());
    other.reset();
    ASSERT_EQ(S_OK, phones->GetSinkCount(&sinks));
    EXPECT_EQ(sinksBefore, sinks);
    phones.Connect(L"Phone3");
    EXPECT_EQ(L"ALIAS:Phone3|1000", PhoneOf(quelvar.get(), Mirror(L"Phone3")));
    EXPECT_EQ(L"ALIAS:Phone1|1000", PhoneOf(quelvar.get(), Mirror(L"Phone1")));
    ASSERT_EQ(S_OK, RefreshFolder(Mirror(L"Phone2")));
    EXPECT_TRUE(DirectoryExists(Mirror(L"Phone2\\Phone memory (C)")));
}

TEST_F(MainObject, AVanishedComponentIsConnectedAnewWithMappingAndRegistration)
{
    phones.AddPhone(L"Phone4", L"356938035643813");
    phones.Connect(L"Phone4");
    Start();
    // The server's components and the test's control object share one suite process.
    ASSERT_EQ(1u, FindProcesses(L"SimPhoneSuite.exe").size());
    LONG processId = 0;
    ASSERT_EQ(S_OK, phones->Kill(&processId));
    unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId)));
    ASSERT_TRUE(!process || WaitForSingleObject(process.get(), 20000) == WAIT_OBJECT_0);

    // A listing that finds the component gone connects anew: the phones are read
    // again, the object registers with the new notification registry, and the
    // listing is asked once more.
    SimulatedPhones restarted;
    ASSERT_EQ(S_OK, restarted->SetStore(Bstr(phones.Store()).get()));
    ASSERT_EQ(S_OK, restarted->SetFault(Bstr(L"readdir").get(), static_cast<LONG>(0x800706BA), 1));
    EXPECT_EQ(S_OK, RefreshFolder(Mirror(L"Phone4"), VARIANT_FALSE));
    EXPECT_TRUE(DirectoryExists(Mirror(L"Phone4\\Phone memory (C)")));
    EXPECT_EQ(0u, HiddenSystemOf(Mirror(L"Phone4")));
    LONG sinks = 0;
    ASSERT_EQ(S_OK, restarted->GetSinkCount(&sinks));
    EXPECT_EQ(1, sinks);
    restarted.AddPhone(L"Phone5", L"356938035643814");
    restarted.Connect(L"Phone5");
    EXPECT_EQ(L"ALIAS:Phone5|1000", PhoneOf(quelvar.get(), Mirror(L"Phone5"), &restarted))
        << "notifications reach it again";

    // The ended suite process kept only the registration's relay: once terminated
    // and released, the object lets the server end.
    EXPECT_EQ(S_OK, quelvar->Terminate());
    quelvar.reset();
    EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 60000));
}

TEST_F(MainObject, AnObjectItsClientLetGoListensAndKeepsTheServerUntilTerminate)
{
    phones.AddPhone(L"Phone7", L"356938035643817");
    phones.Connect(L"Phone7");
    LONG sinksBefore = 0, sinks = 0;
    ASSERT_EQ(S_OK, phones->GetSinkCount(&sinksBefore));
    Start();
    ASSERT_EQ(S_OK, RefreshFolder(Mirror(L"Phone7"), VARIANT_FALSE));
    ASSERT_TRUE(DirectoryExists(Mirror(L"Phone7\\Phone memory (C)")));
    const std::vector<DWORD> server = FindProcesses(L"ZentrelQuelvar.exe");
    ASSERT_EQ(1u, server.size());
    quelvar.reset(); // let go of without Terminate

    // Its registration keeps the object: it hides and empties the mirror folder of
    // a phone that goes, and shows it again when the phone comes back.
    phones.Disconnect(L"Phone7");
    EXPECT_EQ(kHiddenSystem, HiddenSystemOf(Mirror(L"Phone7")));
    EXPECT_FALSE(DirectoryExists(Mirror(L"Phone7\\Phone memory (C)")));
    phones.Connect(L"Phone7");
    EXPECT_EQ(0u, HiddenSystemOf(Mirror(L"Phone7")));
    ASSERT_EQ(S_OK, phones->GetSinkCount(&sinks));
    EXPECT_EQ(sinksBefore + 1, sinks);

    // An object made for an interface it does not answer is destroyed at once,
    // registration and all.
    HRESULT refused = S_OK;
    EXPECT_FALSE(CreateLocal<IDispatch>(CLSID_Quelvar, IID_IDispatch, &refused));
    EXPECT_EQ(E_NOINTERFACE, refused) << HexResult(refused);
    ASSERT_EQ(S_OK, phones->GetSinkCount(&sinks));
    EXPECT_EQ(sinksBefore + 1, sinks);

    // A new client finds the same server. No client can reach the released object
    // any more: the singleton's Terminate ends the server with it.
    com_ptr<IQuelvar> shared = CreateLocal<IQuelvar>(CLSID_QuelvarSingleton, IID_IQuelvar);
    ASSERT_TRUE(shared);
    EXPECT_EQ(server, FindProcesses(L"ZentrelQuelvar.exe"));
    EXPECT_EQ(S_OK, shared->Terminate());
    shared.reset();
    EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 60000));
    // The suite lets go of the ended server's registration at its next notification.
    phones.Disconnect(L"Phone7");
    ASSERT_EQ(S_OK, phones->GetSinkCount(&sinks));
    EXPECT_EQ(sinksBefore, sinks);
}
