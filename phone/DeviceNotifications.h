// The registration with the device notification registry: connects and
// disconnects of phones reach the registered sink until the registration ends,
// and the registration keeps the sink alive until then.
#pragma once

#include "PhoneComponents.h"
#include "common/ComPtr.h"

#include <windows.h>

namespace phone {

class DeviceNotificationRegistration
{
public:
    DeviceNotificationRegistration() = default;
    DeviceNotificationRegistration(const DeviceNotificationRegistration&) = delete;
    DeviceNotificationRegistration& operator=(const DeviceNotificationRegistration&) = delete;
    // A registration is a member of its sink, so one still running here belongs
    // to a sink being destroyed: it ends without releasing the sink again.
    ~DeviceNotificationRegistration() { End(false); }

    // Adds a relay to `sink` to the registry; the result of Add. While registered
    // the relay holds a counted reference on the sink.
    HRESULT Start(IDeviceNotifySink* sink);
    // Removes the registration, if any, and releases the sink; the last result.
    // Not registered afterwards whatever the registry answered, and no
    // notification reaches the sink. The sink may go with this release.
    HRESULT Stop() { return End(true); }

    DWORD Cookie() const { return cookie_; }

private:
    class Relay;
    HRESULT End(bool releaseSink);
    DWORD cookie_ = 0; // 0: not registered
    // The registry that gave the cookie: a cookie means nothing to another
    // registry process (one started after this one ended may have handed the
    // same number to someone else).
    com_ptr<IDeviceNotifyRegistry> registry_;
    // What the registry holds instead of the sink: a registry process that ends
    // without releasing it keeps only the relay, never the sink and its server.
    Relay* relay_ = nullptr;
};

} // namespace phone
