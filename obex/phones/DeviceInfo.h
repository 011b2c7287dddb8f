// Device information of the OBEX suite: a configured phone's model and maker
// from its capability object where it gives them, else from the configuration;
// the model list holds every configured phone's model, so that each passes the
// server's supported-model check; free memory from the capability object.
#pragma once

#include "PhoneComponents.h"
#include "PhoneConfig.h"
#include "common/Implements.h"
#include "common/ModuleLock.h"

#include <string>
#include <vector>

namespace obex {

// The model of a phone that neither says nor is configured with one.
constexpr wchar_t kUnknownModel[] = L"OBEX FTP phone";

class DeviceInfo final : public Implements<DeviceInfo, IDeviceCatalog, IDeviceProperties>
{
public:
    // IDeviceCatalog
    STDMETHODIMP Connect() override { return S_OK; }
    STDMETHODIMP GetModelList(BSTR product, SAFEARRAY** models) override;
    STDMETHODIMP Reserved5() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved6() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved7() override { return E_NOTIMPL; }
    STDMETHODIMP GetModelValue(BSTR model, BSTR key, BSTR* value) override;

    // IDeviceProperties
    STDMETHODIMP SelectDevice(BSTR, LONG) override { return S_OK; }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP GetDeviceValue(BSTR device, BSTR key, LONG flags, BSTR* value) override;
    STDMETHODIMP GetMemoryValue(BSTR first, BSTR second, BSTR* value) override;
    STDMETHODIMP Reserved8() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved11() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved12() override { return E_NOTIMPL; }
    STDMETHODIMP SetSource(BSTR) override { return S_OK; }

private:
    ModuleLock lock_;
};

// The models a configured phone may be known by: what its capability object
// said when last read, and its configured model (or kUnknownModel).
std::vector<std::wstring> ModelsOf(const PhoneEntry& phone, const std::wstring& capabilityModel);

} // namespace obex
