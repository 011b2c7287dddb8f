#include "ClassFactory.h"

#include "ServerModule.h"

namespace server {

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    // An aggregating outer object may only ask for the inner IUnknown.
    if (outer && !IsEqualIID(iid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return createInstance_(outer, iid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock)
{
    if (lock)
        g_module.Lock();
    else
        g_module.Unlock();
    return S_OK;
}

} // namespace server
