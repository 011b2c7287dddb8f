// The registration with the device notification registry: connects and
// disconnects of phones reach the registered sink until the registration ends.
#pragma once

#include "PhoneComponents.h"

#include <windows.h>

namespace phone {

class DeviceNotificationRegistration
{
public:
    DeviceNotificationRegistration() = default;
    DeviceNotificationRegistration(const DeviceNotificationRegistration&) = delete;
    DeviceNotificationRegistration& operator=(const DeviceNotificationRegistration&) = delete;
    ~DeviceNotificationRegistration()
    {
        if (cookie_ != 0)
            Stop();
    }

    // Adds a relay to `sink` to the registry; the result of Add. The sink must
    // outlive the registration.
    HRESULT Start(IDeviceNotifySink* sink);
    // Removes the registration, if any; the last result. Not registered afterwards
    // whatever the registry answered, and no notification reaches the sink.
    HRESULT Stop();

    DWORD Cookie() const { return cookie_; }

private:
    class Relay;
    DWORD cookie_ = 0; // 0: not registered
    // What the registry holds instead of the sink: a registry process that ends
    // without releasing it keeps only the relay, never the sink and its server.
    Relay* relay_ = nullptr;
};

} // namespace phone
