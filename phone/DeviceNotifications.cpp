#include "DeviceNotifications.h"

#include "PhoneFileSystem.h"
#include "common/ComPtr.h"
#include "common/Implements.h"
#include "common/Trace.h"

#include <new>
#include <utility>

namespace phone {
namespace {

HRESULT CreateNotifyRegistry(com_ptr<IDeviceNotifyRegistry>& registry)
{
    HRESULT hr = CoCreateInstance(CLSID_DeviceNotifyRegistry, nullptr, CLSCTX_LOCAL_SERVER, IID_IDeviceNotifyRegistry,
                                  registry.put_void());
    if (FAILED(hr))
        QTRACE(L"(): CoCreateInstance(CLSID_DeviceNotifyRegistry... failed (hr = 0x%x)\n", hr);
    return hr;
}

} // namespace

// Passes the notifications on to the sink, holding it, until it is detached.
// Holds no module lock: references the registry's process took with it are no
// reason for the server to stay.
class DeviceNotificationRegistration::Relay final
    : public Implements<DeviceNotificationRegistration::Relay, IDeviceNotifySink>
{
public:
    explicit Relay(IDeviceNotifySink* sink) : sink_(sink) { sink_->AddRef(); }

    // Without `release` the reference is dropped uncounted: its sink is going.
    void Detach(bool release)
    {
        IDeviceNotifySink* sink = std::exchange(sink_, nullptr);
        if (sink && release)
            sink->Release();
    }

    STDMETHODIMP DeviceEvent(long kind, long param1, long param2) override
    {
        const com_ptr<IDeviceNotifySink> sink(sink_); // a Stop inside the call may release it
        return sink ? sink->DeviceEvent(kind, param1, param2) : S_OK;
    }
    STDMETHODIMP DeviceEventEx(long kind, long param1, long param2, long param3) override
    {
        const com_ptr<IDeviceNotifySink> sink(sink_); // a Stop inside the call may release it
        return sink ? sink->DeviceEventEx(kind, param1, param2, param3) : S_OK;
    }
    STDMETHODIMP DeviceDisconnect(BSTR imei, BSTR alias) override
    {
        const com_ptr<IDeviceNotifySink> sink(sink_); // a Stop inside the call may release it
        return sink ? sink->DeviceDisconnect(imei, alias) : S_OK;
    }
    STDMETHODIMP DeviceConnect(BSTR imei, BSTR alias) override
    {
        const com_ptr<IDeviceNotifySink> sink(sink_); // a Stop inside the call may release it
        return sink ? sink->DeviceConnect(imei, alias) : S_OK;
    }

private:
    IDeviceNotifySink* sink_;
};

HRESULT DeviceNotificationRegistration::Start(IDeviceNotifySink* sink)
{
    QTRACE(L"(): thread id = %ld\n", GetCurrentThreadId());
    com_ptr<IDeviceNotifyRegistry> registry;
    HRESULT hr = CreateNotifyRegistry(registry);
    if (FAILED(hr))
        return hr;
    QTRACE(L"(): pReg->Add(0x%X)\n", sink);
    Stop();
    relay_ = new (std::nothrow) Relay(sink);
    if (!relay_)
        return E_OUTOFMEMORY;
    LONG cookie = 0;
    hr = registry->Add(relay_, &cookie);
    if (FAILED(hr)) {
        QTRACE(L"(): pReg->Add failed (hr = 0x%x)\n", hr);
        Stop(); // not registered: the sink is not held
        return hr;
    }
    cookie_ = static_cast<DWORD>(cookie);
    registry_ = std::move(registry);
    QTRACE(L"(): pReg->Add succeeded (cookie = %ld)\n", cookie);
    return hr;
}

HRESULT DeviceNotificationRegistration::End(bool releaseSink)
{
    HRESULT hr = S_OK;
    // Taken first: the calls out below may let a nested Start or Stop run.
    const DWORD cookie = std::exchange(cookie_, 0);
    const com_ptr<IDeviceNotifyRegistry> registry = std::move(registry_);
    Relay* relay = std::exchange(relay_, nullptr);
    if (cookie != 0 && registry) {
        QTRACE(L"(): pReg->Remove(cookie = %ld)\n", cookie);
        hr = registry->Remove(static_cast<LONG>(cookie));
        if (FAILED(hr))
            QTRACE(L"(): pReg->Remove failed (hr = 0x%x)\n", hr);
        // The registry's process has ended, and every registration with it.
        if (ComponentDied(hr))
            hr = S_OK;
    }
    if (relay) {
        // A registry process that has gone cannot release what it held.
        CoDisconnectObject(relay, 0);
        // Last: the sink, and with it this registration, may go with it.
        relay->Detach(releaseSink);
        relay->Release();
    }
    return hr;
}

} // namespace phone
