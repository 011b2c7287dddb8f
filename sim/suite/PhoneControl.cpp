#include "PhoneControl.h"

#include "DataLayerFolders.h"
#include "SuiteState.h"

HRESULT PhoneControl::RenamePhone(BSTR oldName, BSTR newName)
{
    HRESULT hr = suite::TakeFault(L"RenamePhone");
    if (hr != S_OK)
        return hr;
    const std::wstring oldAlias = oldName ? oldName : L"";
    PhoneInfo phone;
    hr = suite::Store().RenamePhone(oldAlias, newName ? newName : L"", phone);
    if (FAILED(hr) || !phone.connected)
        return hr;
    // A connected phone leaves under its old alias and comes back under the new one.
    suite::NotifySinks(false, phone.imei, oldAlias);
    suite::WriteDataLayerFolders(phone);
    suite::NotifySinks(true, phone.imei, phone.alias);
    return S_OK;
}
