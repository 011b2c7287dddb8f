// The reference counting, interface table and class factory every object of
// the suite shares.
#pragma once

#include "SuiteState.h"

#include <unknwn.h>

#include <new>

template <typename... Interfaces> class ComObject : public Interfaces...
{
public:
    ComObject() { suite::LockServer(); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    virtual ~ComObject() { suite::UnlockServer(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown)
            *out = static_cast<IUnknown*>(static_cast<First<Interfaces...>*>(this));
        else
            Find<Interfaces...>(iid, out);
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG count = InterlockedDecrement(&references_);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

private:
    template <typename I, typename...> struct FirstOf {
        using type = I;
    };
    template <typename... Is> using First = typename FirstOf<Is...>::type;

    template <typename I, typename... Rest> void Find(REFIID iid, void** out)
    {
        if (iid == __uuidof(I)) {
            *out = static_cast<I*>(this);
            return;
        }
        if constexpr (sizeof...(Rest) > 0)
            Find<Rest...>(iid, out);
    }

    LONG references_ = 1;
};

// The class object of one class; it holds no server lock of its own.
template <typename T> class ClassFactory : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        T* object = new (std::nothrow) T();
        if (!object)
            return E_OUTOFMEMORY;
        HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
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
