// Registration of device notification sinks. The sinks are process-wide, so a
// sink added through one registry object is removed through any other.
#pragma once

#include "ComObject.h"
#include "PhoneComponents.h"

class DeviceNotifyRegistry : public SuiteObject<DeviceNotifyRegistry, IDeviceNotifyRegistry>
{
public:
    HRESULT STDMETHODCALLTYPE Add(IUnknown* sink, LONG* cookie) override;
    HRESULT STDMETHODCALLTYPE Remove(LONG cookie) override;
};
