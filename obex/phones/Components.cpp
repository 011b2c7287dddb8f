#include "Components.h"

namespace obex {

STDMETHODIMP PhoneControl::RenamePhone(BSTR oldName, BSTR newName)
{
    std::wstring why;
    return PhoneConfig().Rename(oldName ? oldName : L"", newName ? newName : L"", why);
}

STDMETHODIMP PhoneCommands::Convert(BSTR, short, short, BSTR* newName)
{
    if (newName)
        *newName = nullptr;
    return kNotSupported;
}

STDMETHODIMP DataLayer::GetDataStore(BSTR, BSTR, IUnknown** store)
{
    if (store)
        *store = nullptr;
    return kNotSupported;
}

STDMETHODIMP ClassObject::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return outer ? CLASS_E_NOAGGREGATION : create_(iid, object);
}

STDMETHODIMP ClassObject::LockServer(BOOL lock)
{
    lock ? LockModule() : UnlockModule();
    return S_OK;
}

} // namespace obex
