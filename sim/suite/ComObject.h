// The suite's objects take their IUnknown from common/Implements.h and hold one
// server lock each; the class object of every class makes them.
#pragma once

#include "SuiteState.h"
#include "common/Implements.h"

#include <unknwn.h>

// One server lock for the owner's lifetime.
class SuiteLock
{
public:
    SuiteLock() { suite::LockServer(); }
    SuiteLock(const SuiteLock&) = delete;
    SuiteLock& operator=(const SuiteLock&) = delete;
    ~SuiteLock() { suite::UnlockServer(); }
};

// An object of the suite: Derived implements the interfaces' methods.
template <typename Derived, typename... Interfaces> class SuiteObject : public Implements<Derived, Interfaces...>
{
private:
    SuiteLock lock_;
};

// The class object of one class; it holds no server lock of its own.
template <typename T> class ClassFactory final : public Implements<ClassFactory<T>, IClassFactory>
{
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        const com_ptr<T> object = T::Create();
        if (!object)
            return E_OUTOFMEMORY;
        return object->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            suite::LockServer();
        else
            suite::UnlockServer();
        return S_OK;
    }
};

// The class object of T, as the platform registers it.
template <typename T> com_ptr<IClassFactory> ClassObjectOf()
{
    return com_ptr<IClassFactory>(ClassFactory<T>::Create().get());
}
