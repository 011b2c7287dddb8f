#include "PIUpdate.h"

HRESULT CPIUpdate::InternalQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPIUpdate))
        return Answer(static_cast<IPIUpdate*>(this), object);
    if (IsEqualIID(iid, IID_IDataStoreNotify))
        return Answer(static_cast<IDataStoreNotify*>(this), object);
    return E_NOINTERFACE;
}

STDMETHODIMP CPIUpdate::UpdateFolder(BSTR, LONG)
{
    return E_NOTIMPL;
}

STDMETHODIMP CPIUpdate::UpdateAll(PIU_DATA_TYPE, LONG)
{
    return E_NOTIMPL;
}

STDMETHODIMP CPIUpdate::IsPhoneFolder(BSTR, VARIANT_BOOL* bIsPhoneFolder)
{
    if (!bIsPhoneFolder)
        return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP CPIUpdate::NotifySyncStatus(UINT, SYNCSTATUS, HRESULT, UINT, UINT, UINT)
{
    return S_OK;
}
