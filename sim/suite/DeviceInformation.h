// Device information: supported models and their values, and the figures of
// the phones in the store.
#pragma once

#include "ComObject.h"
#include "PhoneComponents.h"

class DeviceInformation : public SuiteObject<DeviceInformation, IDeviceCatalog, IDeviceProperties>
{
public:
    // IDeviceCatalog
    HRESULT STDMETHODCALLTYPE Connect() override;
    HRESULT STDMETHODCALLTYPE GetModelList(BSTR product, SAFEARRAY** models) override;
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModelValue(BSTR model, BSTR key, BSTR* value) override;

    // IDeviceProperties
    HRESULT STDMETHODCALLTYPE SelectDevice(BSTR imei, LONG flags) override;
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceValue(BSTR device, BSTR key, LONG flags, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE GetMemoryValue(BSTR first, BSTR second, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSource(BSTR source) override;

private:
    std::wstring selectedDevice_;
    std::wstring source_;
};
