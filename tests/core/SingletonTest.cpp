// The singleton class seen from clients in two processes: one shared main object,
// ended for all by one Terminate, which brings the whole server down.
#include "ServerRig.h"
#include "common/FileTree.h"

#include <gtest/gtest.h>

#include <cwchar>

using namespace testing_support;

namespace {
const wchar_t kServerExe[] = L"ZentrelQuelvar.exe";
// The mirror root is read once per server process; every test starts a server of its own.
const wchar_t kMirrorRoot[] = L"C:\\QuelvarSingletonTests";
const wchar_t kPhoneFolder[] = L"C:\\QuelvarSingletonTests\\Phone1";
const wchar_t kImei[] = L"356938035643809";
const wchar_t kSecondClientFlag[] = L"--second-client";

// The phone's capability text, empty when the object maps no phone to the folder.
std::wstring Capability(IQuelvar* quelvar)
{
    unique_variant capability;
    EXPECT_EQ(S_OK, quelvar->GetCapabilityObject(Bstr(kPhoneFolder).get(), capability.get()));
    return capability.get()->vt == VT_BSTR ? capability.get()->bstrVal : L"";
}

DWORD ServerId()
{
    std::vector<DWORD> ids = FindProcesses(kServerExe);
    EXPECT_EQ(1u, ids.size());
    return ids.empty() ? 0 : ids[0];
}

class Singleton : public testing::Test
{
protected:
    static void SetUpTestSuite() { RegisterServer(); }
    void SetUp() override { ASSERT_TRUE(WaitForNoProcess(kServerExe, 30000)); }
    void TearDown() override { RemoveFolderTree(kMirrorRoot); }

    // Waits for the server to end by itself, which the forced unlock allows
    // although clients still hold objects.
    static void ExpectServerEnds(HANDLE server)
    {
        const DWORD start = GetTickCount();
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(server, 30000));
        EXPECT_GE(GetTickCount() - start, 5000u) << "the idle time comes first";
    }

    RegistryOverride root = MirrorRootSetting(kMirrorRoot);
};
} // namespace

TEST_F(Singleton, ClientsInTwoProcessesShareOneMainObjectAndOneTerminateEndsTheServer)
{
    SimulatedPhones phones;
    phones.AddPhone(L"Phone1", kImei);
    phones.Connect(L"Phone1");
    // A plain object held to the end; it stops listening, so only the server's end lets it go.
    com_ptr<IQuelvar> plain = CreateLocal<IQuelvar>(CLSID_Quelvar, IID_IQuelvar);
    ASSERT_TRUE(plain);
    EXPECT_EQ(S_OK, plain->Terminate());
    com_ptr<IQuelvar> shared = CreateLocal<IQuelvar>(CLSID_QuelvarSingleton, IID_IQuelvar);
    ASSERT_TRUE(shared);
    unique_handle server(OpenProcess(SYNCHRONIZE, FALSE, ServerId()));
    ASSERT_TRUE(server);
    // A main object made from now on refuses the phone's model; the shared one keeps its row.
    ASSERT_EQ(S_OK, phones->SetModelList(Bstr(L"Ostrelle").get(), Bstr(L"OS-100").get()));

    wchar_t self[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameW(nullptr, self, MAX_PATH));
    unique_handle second(
        StartProgram(L"\"" + std::wstring(self) + L"\" --gtest_filter=SingletonSecondClient.* " + kSecondClientFlag));
    ASSERT_TRUE(second);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second.get(), 60000));
    DWORD exitCode = 1;
    GetExitCodeProcess(second.get(), &exitCode);
    EXPECT_EQ(0u, exitCode) << "the second client's checks failed";

    // The second client's Terminate ended the shared object for this client too.
    unique_bstr imei;
    EXPECT_EQ(E_POINTER, shared->GetImei(Bstr(L"Phone1").get(), imei.put()));
    EXPECT_EQ(E_POINTER, shared->Terminate());
    ExpectServerEnds(server.get());
}

// The second client of the test above, in a process of its own.
TEST(SingletonSecondClient, ReachesTheFirstClientsMainObjectAndTerminatesIt)
{
    if (!wcsstr(GetCommandLineW(), kSecondClientFlag))
        GTEST_SKIP() << "started by the two-process test";
    com_ptr<IQuelvar> shared = CreateLocal<IQuelvar>(CLSID_QuelvarSingleton, IID_IQuelvar);
    com_ptr<IQuelvar> plain = CreateLocal<IQuelvar>(CLSID_Quelvar, IID_IQuelvar);
    ASSERT_TRUE(shared && plain);
    EXPECT_NE(std::wstring::npos, Capability(shared.get()).find(kImei));
    EXPECT_EQ(L"", Capability(plain.get()));
    EXPECT_EQ(S_OK, plain->Terminate());
    EXPECT_EQ(S_OK, shared->Terminate());
}

TEST_F(Singleton, AFailedCreationLeavesNoSharedObjectAndTheNextCreationTriesAgain)
{
    // Keeps the server process, and with it the shared pointer's state, between the creations.
    com_ptr<IPIUpdate> holder = CreateLocal<IPIUpdate>(CLSID_PIUpdate, IID_IPIUpdate);
    ASSERT_TRUE(holder);
    const DWORD serverId = ServerId();
    unique_handle server(OpenProcess(SYNCHRONIZE, FALSE, serverId));
    ASSERT_TRUE(server);

    // Without the phone component no main object of either class can be made: the
    // creation fails with the component's result (a message box would hold the call).
    ASSERT_TRUE(UnregisterPhoneSuite()) << "a suite process lingered";
    for (const CLSID* clsid : {&CLSID_QuelvarSingleton, &CLSID_Quelvar}) {
        HRESULT hr = S_OK;
        EXPECT_FALSE(CreateLocal<IQuelvar>(*clsid, IID_IQuelvar, &hr));
        EXPECT_EQ(REGDB_E_CLASSNOTREG, hr) << HexResult(hr);
    }

    SimulatedPhones phones; // registers the suite again
    phones.AddPhone(L"Phone1", kImei);
    phones.Connect(L"Phone1");
    com_ptr<IQuelvar> shared = CreateLocal<IQuelvar>(CLSID_QuelvarSingleton, IID_IQuelvar);
    ASSERT_TRUE(shared);
    EXPECT_EQ(std::vector<DWORD>{serverId}, FindProcesses(kServerExe));
    unique_bstr imei;
    ASSERT_EQ(S_OK, shared->GetImei(Bstr(L"Phone1").get(), imei.put()));
    EXPECT_STREQ(kImei, imei.c_str());
    EXPECT_NE(std::wstring::npos, Capability(shared.get()).find(kImei));
    EXPECT_EQ(S_OK, shared->Terminate());
    ExpectServerEnds(server.get());
}
