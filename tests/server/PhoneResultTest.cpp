// The one mapping of the phone component's results and the reconnection of a
// vanished component.
#include "phone/PhoneFileSystem.h"

#include "TestObject.h"

#include <comdef.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using phone::MapResult;

TEST(PhoneResult, MapsEveryResultOnce)
{
    const struct {
        HRESULT raw;
        HRESULT mapped;
    } cases[] = {
        {0, S_OK},
        {static_cast<HRESULT>(0x800706BA), static_cast<HRESULT>(0x800706BA)},
        {0x4252, E_ABORT},
        {static_cast<HRESULT>(0x80044252), E_ABORT},
        {0x4360, static_cast<HRESULT>(0x80044360)},
        {1, static_cast<HRESULT>(0x80040001)},
        {E_FAIL, static_cast<HRESULT>(0x80044005)},
        {static_cast<HRESULT>(0x12340000), static_cast<HRESULT>(0x80040000)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.mapped, MapResult(c.raw)) << std::hex << c.raw;
}

namespace {
// A phone component that answers every call with a scripted result.
class ScriptedComponent : public testing_support::TestObject<IVirtualFileSystem>
{
public:
    std::vector<HRESULT> results; // consumed front to back; S_OK when empty
    std::vector<std::wstring> calls;
    ITransferListener* lastListener = nullptr;

    HRESULT Next(const wchar_t* call)
    {
        calls.push_back(call);
        if (results.empty())
            return S_OK;
        HRESULT hr = results.front();
        results.erase(results.begin());
        return hr;
    }

    STDMETHODIMP fclose(LONG) override { return Next(L"fclose"); }
    STDMETHODIMP fopen(LONG, BSTR, LONG, LONG* handle, ITransferListener*) override
    {
        *handle = 7;
        return Next(L"fopen");
    }
    STDMETHODIMP fread(VARIANT*, LONG) override { return Next(L"fread"); }
    STDMETHODIMP fwrite(VARIANT, LONG) override { return Next(L"fwrite"); }
    STDMETHODIMP mkdir(BSTR, ITransferListener*) override { return Next(L"mkdir"); }
    STDMETHODIMP rmdir(BSTR, ITransferListener*) override { return Next(L"rmdir"); }
    STDMETHODIMP rename(BSTR, BSTR, ITransferListener*) override { return Next(L"rename"); }
    STDMETHODIMP deletefile(BSTR, ITransferListener*) override { return Next(L"deletefile"); }
    STDMETHODIMP readdir(BSTR path, BSTR* listing, ITransferListener* listener) override
    {
        lastListener = listener;
        HRESULT hr = Next(L"readdir");
        *listing = SUCCEEDED(hr) ? SysAllocString((std::wstring(L"<listing of ") + path + L"/>").c_str()) : nullptr;
        return hr;
    }
    STDMETHODIMP fgettime(LONG, DATE* modified) override
    {
        *modified = 38411.5;
        return Next(L"fgettime");
    }
    STDMETHODIMP fsettime(LONG, DATE) override { return Next(L"fsettime"); }
    STDMETHODIMP fgetsize(LONG, LONG*) override { return Next(L"fgetsize"); }
    STDMETHODIMP Cancel() override { return Next(L"Cancel"); }
    STDMETHODIMP Refresh(LONG, BSTR) override { return Next(L"Refresh"); }
    STDMETHODIMP GetImei(BSTR, BSTR* imei) override
    {
        HRESULT hr = Next(L"GetImei");
        *imei = SUCCEEDED(hr) ? SysAllocString(L"356938035643809") : nullptr;
        return hr;
    }
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved19() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved20() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved21() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved22() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved23() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved24() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved25() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved26() override { return E_NOTIMPL; }
    STDMETHODIMP ReadObexCapability(BSTR, LONG, VARIANT*) override { return Next(L"ReadObexCapability"); }
};

class CountingOwner : public phone::ComponentOwner
{
public:
    int reconnects = 0;
    ITransferListener* listener = reinterpret_cast<ITransferListener*>(0x1234);
    void ReconnectPhoneComponent() override { ++reconnects; }
    ITransferListener* CurrentListener() override { return listener; }
};

HRESULT Thrown(const std::function<void()>& call)
{
    try {
        call();
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

class PhoneFileSystem : public testing::Test
{
protected:
    com_ptr<ScriptedComponent> scripted = testing_support::MakeTestObject<ScriptedComponent>();
    ScriptedComponent& component = *scripted.get();
    CountingOwner owner;
    phone::PhoneFileSystem phoneFs{&component, &owner};
};
} // namespace

TEST_F(PhoneFileSystem, FailuresAreThrownMapped)
{
    component.results = {0x4252, static_cast<HRESULT>(0x80044360), 1};
    EXPECT_EQ(E_ABORT, Thrown([&] { phoneFs.fclose(1); }));
    EXPECT_EQ(static_cast<HRESULT>(0x80044360), Thrown([&] { phoneFs.fclose(1); }));
    EXPECT_EQ(static_cast<HRESULT>(0x80040001), Thrown([&] { phoneFs.mkdir(L"ALIAS:P\\x", nullptr); }));
    EXPECT_EQ(0, owner.reconnects);
    EXPECT_EQ(L"356938035643809", phoneFs.GetImei(L"P"));
    EXPECT_EQ(38411.5, phoneFs.fgettime(7));
}

TEST_F(PhoneFileSystem, VanishedComponentIsReconnectedAndOnlyTheListingAskedAgain)
{
    const HRESULT vanished = static_cast<HRESULT>(0x800706BA);
    component.results = {vanished};
    EXPECT_EQ(vanished, Thrown([&] { phoneFs.GetImei(L"P"); }));
    EXPECT_EQ(1, owner.reconnects);
    EXPECT_EQ(std::vector<std::wstring>{L"GetImei"}, component.calls);

    component.results = {vanished, S_OK};
    EXPECT_EQ(L"<listing of ALIAS:P/>", phoneFs.readdir(L"ALIAS:P", nullptr));
    EXPECT_EQ(2, owner.reconnects);
    EXPECT_EQ(owner.listener, component.lastListener);
    EXPECT_EQ((std::vector<std::wstring>{L"GetImei", L"readdir", L"readdir"}), component.calls);

    // A second failure is not retried again.
    component.results = {vanished, vanished};
    EXPECT_EQ(vanished, Thrown([&] { phoneFs.readdir(L"ALIAS:P", nullptr); }));
    EXPECT_EQ(3, owner.reconnects);
    EXPECT_EQ(5u, component.calls.size());

    // Without an owner it is only reported.
    phone::PhoneFileSystem ownerless(&component, nullptr);
    component.results = {vanished};
    EXPECT_EQ(vanished, Thrown([&] { ownerless.readdir(L"", nullptr); }));
    EXPECT_EQ(6u, component.calls.size());
}
