#include "DeviceNotifyRegistry.h"

#include "common/Trace.h"

HRESULT DeviceNotifyRegistry::Add(IUnknown* sink, LONG* cookie)
{
    if (!cookie)
        return E_POINTER;
    long added = 0;
    HRESULT hr = suite::AddSink(sink, added);
    *cookie = added;
    QTRACE(L"Add -> 0x%08lX, cookie %ld\n", static_cast<unsigned long>(hr), added);
    return hr;
}

HRESULT DeviceNotifyRegistry::Remove(LONG cookie)
{
    return suite::RemoveSink(cookie);
}
