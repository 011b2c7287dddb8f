// The contacts and messages update class.
#pragma once

#include "ZentrelQuelvar.h"
#include "common/ComObject.h"

class CPIUpdate : public IPIUpdate, public IDataStoreNotify, public ObjectRoot
{
public:
    HRESULT InternalQueryInterface(REFIID iid, void** object);

    STDMETHODIMP UpdateFolder(BSTR aFolderPath, LONG hwnd) override;
    STDMETHODIMP UpdateAll(PIU_DATA_TYPE eDataType, LONG hwnd) override;
    STDMETHODIMP IsPhoneFolder(BSTR aFolderPath, VARIANT_BOOL* bIsPhoneFolder) override;

    STDMETHODIMP NotifySyncStatus(UINT uiClientSyncID, SYNCSTATUS eSyncStatus, HRESULT hr, UINT uiSentCount,
                                  UINT uiTotalCount, UINT uiReceivedCount) override;
};
