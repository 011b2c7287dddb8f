// A client built from its own copy of the interface tables, as other programs of
// the product family are: it must reach all three classes out of process.
#include "Processes.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <oleauto.h>

using namespace testing_support;

namespace client_copy {
const CLSID CLSID_Quelvar = {0x820F1B94, 0x1C86, 0x46A4, {0xB1, 0xB9, 0x92, 0x6D, 0xE2, 0x3F, 0xA0, 0xDB}};
const CLSID CLSID_QuelvarSingleton = {0x1E22F404, 0x6740, 0x4F5D, {0xAC, 0xA6, 0x7A, 0x52, 0x0B, 0x86, 0xE4, 0x6E}};
const CLSID CLSID_PIUpdate = {0xFF800522, 0x6A22, 0x4055, {0x8E, 0x05, 0xAB, 0x21, 0xD5, 0x15, 0x72, 0x88}};
const IID IID_IQuelvar = {0x8259B819, 0xC7C4, 0x4265, {0xBE, 0xCF, 0xA7, 0xBB, 0x8E, 0x75, 0x11, 0xC5}};
const IID IID_IPIUpdate = {0xAC9707BD, 0xCBA8, 0x44C2, {0x99, 0xA0, 0x3F, 0xEA, 0x2E, 0x09, 0xF6, 0x54}};
const IID IID_IDataStoreNotify = {0x743431BB, 0x7942, 0x4FA9, {0x9B, 0x72, 0x1F, 0x8F, 0x08, 0x3E, 0x28, 0xAE}};

struct IQuelvar : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RefreshFolder(BSTR aPCFolderPath, VARIANT_BOOL bFiles) = 0;
    virtual HRESULT STDMETHODCALLTYPE SHFileOperation(VARIANT vntFileOp) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFolder(BSTR aPCFolderPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE Terminate() = 0;
    virtual HRESULT STDMETHODCALLTYPE DownloadVFSFile(BSTR, LONG, LONG, LONG, LONG, VARIANT*) = 0;
    virtual HRESULT STDMETHODCALLTYPE UploadVFSFile(VARIANT, BSTR, LONG, DATE, LONG) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImei(BSTR alias, BSTR* friendlyname) = 0;
    virtual HRESULT STDMETHODCALLTYPE Refresh(LONG level, BSTR target) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCapabilityObject(BSTR PCFolder, VARIANT* capability) = 0;
    virtual HRESULT STDMETHODCALLTYPE HideProgressDialog() = 0;
    virtual HRESULT STDMETHODCALLTYPE Convert(BSTR, short, short, BSTR*, LONG) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenHtmlHelp(LONG, BSTR, LONG, LONG, LONG*) = 0;
};

struct IPIUpdate : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE UpdateFolder(BSTR aFolderPath, LONG hwnd) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateAll(LONG eDataType, LONG hwnd) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPhoneFolder(BSTR aFolderPath, VARIANT_BOOL* bIsPhoneFolder) = 0;
};

struct IDataStoreNotify : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE NotifySyncStatus(UINT, LONG, HRESULT, UINT, UINT, UINT) = 0;
};
} // namespace client_copy

namespace {
template <typename I> I* Create(REFCLSID clsid, REFIID iid)
{
    I* object = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, iid, reinterpret_cast<void**>(&object));
    EXPECT_EQ(S_OK, hr) << HexResult(hr);
    return object;
}
} // namespace

TEST(IndependentClient, CreatesAndCallsTheThreeClasses)
{
    RegisterServer();
    SimulatedPhones phones;
    phones.AddPhone(L"Phone7", L"490154203237518");
    phones.Connect(L"Phone7");

    auto* quelvar = Create<client_copy::IQuelvar>(client_copy::CLSID_Quelvar, client_copy::IID_IQuelvar);
    ASSERT_NE(nullptr, quelvar);
    BSTR alias = SysAllocString(L"Phone7");
    BSTR imei = nullptr;
    EXPECT_EQ(S_OK, quelvar->GetImei(alias, &imei));
    EXPECT_EQ(std::wstring(L"490154203237518"), imei ? imei : L"");
    SysFreeString(imei);
    EXPECT_EQ(S_OK, quelvar->Refresh(0, alias));
    EXPECT_EQ(S_OK, quelvar->HideProgressDialog());
    EXPECT_EQ(S_OK, quelvar->Terminate());
    quelvar->Release();

    auto* update = Create<client_copy::IPIUpdate>(client_copy::CLSID_PIUpdate, client_copy::IID_IPIUpdate);
    ASSERT_NE(nullptr, update);
    client_copy::IDataStoreNotify* notify = nullptr;
    ASSERT_EQ(S_OK, update->QueryInterface(client_copy::IID_IDataStoreNotify, reinterpret_cast<void**>(&notify)));
    EXPECT_EQ(S_OK, notify->NotifySyncStatus(1, 4, S_OK, 0, 0, 0));
    notify->Release();
    update->Release();
    auto* singleton = Create<client_copy::IQuelvar>(client_copy::CLSID_QuelvarSingleton, client_copy::IID_IQuelvar);
    ASSERT_NE(nullptr, singleton);
    imei = nullptr;
    EXPECT_EQ(S_OK, singleton->GetImei(alias, &imei));
    EXPECT_EQ(S_OK, singleton->Terminate());
    EXPECT_EQ(std::wstring(L"490154203237518"), imei ? imei : L"");
    SysFreeString(imei);
    singleton->Release();

    SysFreeString(alias);
}
