// The main object created out of process through COM, with the simulated phones.
#include "Processes.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "ZentrelQuelvar.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {
com_ptr<IQuelvar> CreateMainObject(REFCLSID clsid = CLSID_Quelvar)
{
    com_ptr<IQuelvar> quelvar;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar.put_void());
    EXPECT_EQ(S_OK, hr) << HexResult(hr);
    return quelvar;
}

class MainObject : public testing::Test
{
protected:
    static void SetUpTestSuite() { RegisterServer(); }
    void SetUp() override
    {
        phones.AddPhone(L"Phone1", L"356938035643809");
        phones.Connect(L"Phone1");
    }
    SimulatedPhones phones;
};
} // namespace

TEST_F(MainObject, AnswersTheIdentityAndErrorInfoTables)
{
    com_ptr<IQuelvar> quelvar = CreateMainObject();
    ASSERT_TRUE(quelvar);
    com_ptr<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(S_OK, quelvar.query(errorInfo, IID_ISupportErrorInfo));
    EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(IID_IQuelvar));
    EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IPIUpdate));
    EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IUnknown));
    com_ptr<IDispatch> dispatch;
    EXPECT_EQ(E_NOINTERFACE, quelvar.query(dispatch, IID_IDispatch));
    EXPECT_EQ(S_OK, quelvar->Terminate());

    // The update class answers its notification interface beside its own.
    com_ptr<IPIUpdate> update;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PIUpdate, nullptr, CLSCTX_LOCAL_SERVER, IID_IPIUpdate, update.put_void()));
    com_ptr<IDataStoreNotify> notify;
    ASSERT_EQ(S_OK, update.query(notify, IID_IDataStoreNotify));
    EXPECT_EQ(S_OK, notify->NotifySyncStatus(1, FINISHED, S_OK, 0, 0, 0));
}

TEST_F(MainObject, GetImeiAsksThePhoneComponent)
{
    com_ptr<IQuelvar> quelvar = CreateMainObject();
    ASSERT_TRUE(quelvar);
    unique_bstr imei;
    ASSERT_EQ(S_OK, quelvar->GetImei(Bstr(L"Phone1").get(), imei.put()));
    EXPECT_EQ(std::wstring(L"356938035643809"), imei.c_str());

    // A phone the component does not know: its failure, mapped.
    unique_bstr unknown;
    EXPECT_EQ(static_cast<HRESULT>(0x80044343), quelvar->GetImei(Bstr(L"Nobody").get(), unknown.put()));

    // Faults of the component arrive through the one mapping, positive codes too.
    ASSERT_EQ(S_OK, phones->SetFault(Bstr(L"GetImei").get(), 0x4252, 1));
    EXPECT_EQ(E_ABORT, quelvar->GetImei(Bstr(L"Phone1").get(), unknown.put()));
    ASSERT_EQ(S_OK, phones->SetFault(Bstr(L"GetImei").get(), 1, 1));
    EXPECT_EQ(static_cast<HRESULT>(0x80040001), quelvar->GetImei(Bstr(L"Phone1").get(), unknown.put()));
    EXPECT_EQ(S_OK, quelvar->Terminate());
    // Methods with their own component instance work after Terminate.
    EXPECT_EQ(S_OK, quelvar->GetImei(Bstr(L"Phone1").get(), imei.put()));
}

TEST_F(MainObject, RefreshSendsItsTargetAndPathsOutsideEveryMirrorReachNothing)
{
    com_ptr<IQuelvar> quelvar = CreateMainObject();
    ASSERT_TRUE(quelvar);
    EXPECT_EQ(S_OK, quelvar->Refresh(ALL, Bstr(L"").get()));
    EXPECT_EQ(L"0|", phones.LastCall(L"Refresh"));
    EXPECT_EQ(S_OK, quelvar->Refresh(ALL, Bstr(L"Phone1").get()));
    EXPECT_EQ(L"0|ALIAS:Phone1", phones.LastCall(L"Refresh"));
    EXPECT_EQ(static_cast<HRESULT>(0x80044343), quelvar->Refresh(ALL, Bstr(L"Nobody").get()));
    EXPECT_EQ(L"0|ALIAS:Nobody", phones.LastCall(L"Refresh"));

    EXPECT_EQ(E_INVALIDARG, quelvar->Refresh(static_cast<LEVEL>(2), Bstr(L"").get()));
    EXPECT_EQ(S_OK, quelvar->Refresh(ITEM, Bstr(L"C:\\windows").get()));
    // A path too long for the working buffers is refused before the component.
    EXPECT_EQ(static_cast<HRESULT>(0x800700CE), quelvar->Refresh(ALL, Bstr(std::wstring(300, L'x')).get()));
    EXPECT_EQ(L"<none>", phones.LastCall(L"Refresh"));
    unique_variant capability;
    EXPECT_EQ(S_OK, quelvar->GetCapabilityObject(Bstr(L"C:\\windows").get(), capability.get()));
    EXPECT_EQ(VT_EMPTY, capability.get()->vt);
    EXPECT_EQ(L"<none>", phones.LastCall(L"ReadObexCapability"));
    EXPECT_EQ(S_OK, quelvar->HideProgressDialog());
    EXPECT_EQ(S_OK, quelvar->Terminate());
}

TEST(MainObjectCreation, WithoutThePhoneComponentCreationFailsSilently)
{
    RegisterServer();
    RegisterPhoneSuite();
    // Not registered and not running: the suite process ends, its class objects revoked first.
    {
        com_ptr<ISimPhoneSuite> control;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SimPhoneSuite, nullptr, CLSCTX_LOCAL_SERVER, IID_ISimPhoneSuite,
                                         control.put_void()));
        LONG processId = 0;
        ASSERT_EQ(S_OK, control->Kill(&processId));
        unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId)));
        ASSERT_TRUE(!process || WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0);
    }
    ASSERT_EQ(0u, RunProgram(L"\"" + ProductDir() + L"\\SimPhoneSuite.exe\" /UnregServer"));
    // Creation fails with the component's result; a message box would hold the call.
    com_ptr<IQuelvar> quelvar;
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar.put_void()));
    EXPECT_FALSE(quelvar);
    ASSERT_EQ(0u, RunProgram(L"\"" + ProductDir() + L"\\SimPhoneSuite.exe\" /RegServer"));
    quelvar = CreateMainObject();
    ASSERT_TRUE(quelvar);
    EXPECT_EQ(S_OK, quelvar->Terminate());
}

TEST_F(MainObject, SingletonClientsShareOneMainObjectUntilTerminate)
{
    com_ptr<IQuelvar> first = CreateMainObject(CLSID_QuelvarSingleton);
    com_ptr<IQuelvar> second = CreateMainObject(CLSID_QuelvarSingleton);
    ASSERT_TRUE(first && second);
    unique_bstr imei;
    EXPECT_EQ(S_OK, first->GetImei(Bstr(L"Phone1").get(), imei.put()));
    EXPECT_EQ(S_OK, second->GetImei(Bstr(L"Phone1").get(), imei.put()));
    com_ptr<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(S_OK, first.query(errorInfo, IID_ISupportErrorInfo));
    EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(IID_IQuelvar));

    // One Terminate ends the shared object for every singleton client.
    EXPECT_EQ(S_OK, first->Terminate());
    EXPECT_EQ(E_POINTER, second->GetImei(Bstr(L"Phone1").get(), imei.put()));
    EXPECT_EQ(E_POINTER, second->Terminate());
    first.reset();
    second.reset();
    errorInfo.reset();
    // The forced unlock brings the server down although clients held objects.
    EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 20000));
}
