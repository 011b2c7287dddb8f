// A phone file-system component in process whose answers a test scripts: it
// records every call by name and answers the next entry of `results` (S_OK when
// none is left). readdir answers `listing`, or a placeholder naming the path
// when that is empty.
#pragma once

#include "PhoneComponents.h"
#include "common/Implements.h"

#include <string>
#include <vector>

namespace testing_support {

class ScriptedComponent : public Implements<ScriptedComponent, IVirtualFileSystem>
{
public:
    std::vector<HRESULT> results;
    std::vector<std::wstring> calls;
    std::wstring listing;
    ITransferListener* lastListener = nullptr;

    STDMETHODIMP fclose(LONG) override { return Next(L"fclose"); }
    STDMETHODIMP fopen(LONG, BSTR, LONG, LONG* handle, ITransferListener* listener) override
    {
        lastListener = listener;
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
        const HRESULT hr = Next(L"readdir");
        const std::wstring text = this->listing.empty() ? L"<listing of " + std::wstring(path) + L"/>" : this->listing;
        *listing = hr == S_OK ? SysAllocString(text.c_str()) : nullptr;
        return hr;
    }
    STDMETHODIMP fgettime(LONG, DATE* time) override
    {
        *time = 0;
        return Next(L"fgettime");
    }
    STDMETHODIMP fsettime(LONG, DATE) override { return Next(L"fsettime"); }
    STDMETHODIMP fgetsize(LONG, LONG*) override { return Next(L"fgetsize"); }
    STDMETHODIMP Cancel() override { return Next(L"Cancel"); }
    STDMETHODIMP Refresh(LONG, BSTR) override { return Next(L"Refresh"); }
    STDMETHODIMP GetImei(BSTR, BSTR* imei) override
    {
        const HRESULT hr = Next(L"GetImei");
        *imei = hr == S_OK ? SysAllocString(L"356938035643809") : nullptr;
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

private:
    HRESULT Next(const wchar_t* call)
    {
        calls.push_back(call);
        if (results.empty())
            return S_OK;
        const HRESULT hr = results.front();
        results.erase(results.begin());
        return hr;
    }
};

} // namespace testing_support
