#include "DeviceNotifications.h"

#include "common/ComPtr.h"
#include "common/Trace.h"

namespace phone {
namespace {

// The registry is made for each use and released right after it.
HRESULT CreateNotifyRegistry(com_ptr<IDeviceNotifyRegistry>& registry)
{
    HRESULT hr = CoCreateInstance(CLSID_DeviceNotifyRegistry, nullptr, CLSCTX_LOCAL_SERVER, IID_IDeviceNotifyRegistry,
                                  registry.put_void());
    if (FAILED(hr))
        QTRACE(L"(): CoCreateInstance(CLSID_DeviceNotifyRegistry... failed (hr = 0x%x)\n", hr);
    return hr;
}

} // namespace

HRESULT DeviceNotificationRegistration::Start(IUnknown* sink)
{
    QTRACE(L"(): thread id = %ld\n", GetCurrentThreadId());
    com_ptr<IDeviceNotifyRegistry> registry;
    HRESULT hr = CreateNotifyRegistry(registry);
    if (FAILED(hr))
        return hr;
    QTRACE(L"(): pReg->Add(0x%X)\n", sink);
    LONG cookie = 0;
    hr = registry->Add(sink, &cookie);
    if (FAILED(hr)) {
        QTRACE(L"(): pReg->Add failed (hr = 0x%x)\n", hr);
        return hr;
    }
    cookie_ = static_cast<DWORD>(cookie);
    QTRACE(L"(): pReg->Add succeeded (cookie = %ld)\n", cookie);
    return hr;
}

HRESULT DeviceNotificationRegistration::Stop()
{
    com_ptr<IDeviceNotifyRegistry> registry;
    HRESULT hr = CreateNotifyRegistry(registry);
    if (FAILED(hr))
        return hr;
    if (cookie_ != 0) {
        QTRACE(L"(): pReg->Remove(cookie = %ld)\n", cookie_);
        hr = registry->Remove(static_cast<LONG>(cookie_));
        if (FAILED(hr))
            QTRACE(L"(): pReg->Remove failed (hr = 0x%x)\n", hr);
        cookie_ = 0;
    }
    return hr;
}

} // namespace phone
