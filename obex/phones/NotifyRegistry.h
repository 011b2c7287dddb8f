// Device notifications of the OBEX suite: sinks registered through any registry
// object hear DeviceConnect when a configured phone starts answering and
// DeviceDisconnect when it stops. A watcher thread asks each phone every few
// seconds, through its shared link, while sinks are registered.
#pragma once

#include "PhoneComponents.h"
#include "common/Implements.h"
#include "common/ModuleLock.h"

namespace obex {

constexpr DWORD kWatchIntervalMs = 2000;

class NotifyRegistry final : public Implements<NotifyRegistry, IDeviceNotifyRegistry>
{
public:
    STDMETHODIMP Add(IUnknown* sink, LONG* cookie) override;
    STDMETHODIMP Remove(LONG cookie) override;

private:
    ModuleLock lock_;
};

} // namespace obex
