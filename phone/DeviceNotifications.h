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

    // Adds the sink (the object's IUnknown) to the registry; the result of Add.
    HRESULT Start(IUnknown* sink);
    // Removes the registration, if any; the last result. Not registered afterwards
    // whatever the registry answered.
    HRESULT Stop();

    DWORD Cookie() const { return cookie_; }

private:
    DWORD cookie_ = 0; // 0: not registered
};

} // namespace phone
