// The class objects of the OBEX suite, and its small components: the
// phone-command and data-layer components answer that OBEX FTP has no
// conversion or synchronisation; PhoneControl renames configured phones.
#pragma once

#include "PhoneComponents.h"
#include "PhoneConfig.h"
#include "common/ComPtr.h"
#include "common/Implements.h"
#include "common/ModuleLock.h"

namespace obex {

// "The operation is not supported by this phone."
constexpr HRESULT kNotSupported = static_cast<HRESULT>(0x80046012);

class PhoneControl final : public Implements<PhoneControl, IPhoneControl>
{
public:
    STDMETHODIMP RenamePhone(BSTR oldName, BSTR newName) override;

private:
    ModuleLock lock_;
};

class PhoneCommands final : public Implements<PhoneCommands, IPhoneCommands>
{
public:
    STDMETHODIMP Convert(BSTR, short, short, BSTR* newName) override;

private:
    ModuleLock lock_;
};

class DataLayer final : public Implements<DataLayer, IDataLayer>
{
public:
    STDMETHODIMP Reserved3() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved4() override { return E_NOTIMPL; }
    STDMETHODIMP GetDataStore(BSTR, BSTR, IUnknown** store) override;

private:
    ModuleLock lock_;
};

// Makes an instance of one class, or says why it cannot.
using Creator = HRESULT (*)(REFIID iid, void** object);

template <typename T> HRESULT CreateOf(REFIID iid, void** object)
{
    const com_ptr<T> instance = T::Create();
    return instance ? instance->QueryInterface(iid, object) : E_OUTOFMEMORY;
}

inline HRESULT NotAvailable(REFIID, void**)
{
    return CLASS_E_CLASSNOTAVAILABLE;
}

class ClassObject final : public Implements<ClassObject, IClassFactory>
{
public:
    explicit ClassObject(Creator create) : create_(create) {}
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    Creator create_;
};

} // namespace obex
