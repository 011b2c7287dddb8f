// The main object created out of process through COM, with the simulated phones.
#include "Processes.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "Windows.h"
#include "ZentrelQuelvar.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {
com_ptr<IQuelvar> CreateMainObject(HRESULT* result = nullptr, REFCLSID clsid = CLSID_Quelvar)
{
    com_ptr<IQuelvar> quelvar;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar.put_void());
    if (result)
        *result = hr;
    else
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

TEST_F(MainObject, RefreshLevelsAndPathsOutsideEveryMirrorFolder)
{
    com_ptr<IQuelvar> quelvar = CreateMainObject();
    ASSERT_TRUE(quelvar);
    EXPECT_EQ(S_OK, quelvar->Refresh(ALL, Bstr(L"").get()));
    EXPECT_EQ(S_OK, quelvar->Refresh(ALL, Bstr(L"Phone1").get()));
    EXPECT_EQ(static_cast<HRESULT>(0x80044343), quelvar->Refresh(ALL, Bstr(L"Nobody").get()));
    EXPECT_EQ(E_INVALIDARG, quelvar->Refresh(static_cast<LEVEL>(2), Bstr(L"").get()));

    // Nothing reaches the component for a PC path in no mirror folder.
    ASSERT_EQ(S_OK, phones->SetFault(Bstr(L"Refresh").get(), E_FAIL, 5));
    ASSERT_EQ(S_OK, phones->SetFault(Bstr(L"ReadObexCapability").get(), E_FAIL, 5));
    EXPECT_EQ(S_OK, quelvar->Refresh(ITEM, Bstr(L"C:\\windows").get()));
    unique_variant capability;
    EXPECT_EQ(S_OK, quelvar->GetCapabilityObject(Bstr(L"C:\\windows").get(), capability.get()));
    EXPECT_EQ(VT_EMPTY, capability.get()->vt);
    ASSERT_EQ(S_OK, phones->ClearFaults());

    // A path too long for the working buffers is refused before the component.
    EXPECT_EQ(static_cast<HRESULT>(0x800700CE), quelvar->Refresh(ALL, Bstr(std::wstring(300, L'x')).get()));
    EXPECT_EQ(S_OK, quelvar->HideProgressDialog());
    EXPECT_EQ(S_OK, quelvar->Terminate());
}

TEST(MainObjectCreation, WithoutThePhoneComponentCreationFailsSilently)
{
    RegisterServer();
    // Not registered and not running.
    const bool suiteGone = UnregisterPhoneSuite();
    HRESULT hr = S_OK;
    com_ptr<IQuelvar> quelvar = CreateMainObject(&hr);
    if (suiteGone)
        EXPECT_EQ(REGDB_E_CLASSNOTREG, hr) << HexResult(hr);
    else
        EXPECT_TRUE(FAILED(hr)) << HexResult(hr);
    EXPECT_FALSE(quelvar);
    EXPECT_EQ(nullptr, WaitForDialog(L"Ostrelle", 1500)) << "no message box";
    RegisterPhoneSuite();
    quelvar = CreateMainObject();
    ASSERT_TRUE(quelvar);
    EXPECT_EQ(S_OK, quelvar->Terminate());
}

TEST_F(MainObject, SingletonClientsShareOneMainObjectUntilTerminate)
{
    com_ptr<IQuelvar> first = CreateMainObject(nullptr, CLSID_QuelvarSingleton);
    com_ptr<IQuelvar> second = CreateMainObject(nullptr, CLSID_QuelvarSingleton);
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
