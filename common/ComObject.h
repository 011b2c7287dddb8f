// The object root shared by the server's classes and the wrappers that give an
// object its IUnknown: alone, or inside an outer object (aggregation).
//
// A class derives from its interfaces and ObjectRoot and provides
//   HRESULT InternalQueryInterface(REFIID iid, void** object);  // AddRefs through the object's own IUnknown
//   HRESULT FinalConstruct();  void FinalRelease();
// It declares no IUnknown methods of its own: the wrappers supply them.
#pragma once

#include "ModuleLock.h"
#include "Resource.h"

#include <objbase.h>

#include <new>

// Multi-threaded object root: interlocked reference count and a critical section.
class ObjectRoot
{
public:
    ObjectRoot() = default;
    ObjectRoot(const ObjectRoot&) = delete;
    ObjectRoot& operator=(const ObjectRoot&) = delete;
    virtual ~ObjectRoot() = default;

    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

    ULONG InternalAddRef() { return InterlockedIncrement(&m_refCount); }
    ULONG InternalRelease() { return InterlockedDecrement(&m_refCount); }

    CRITICAL_SECTION& ObjectLock() { return m_critSec.get(); }

protected:
    // Puts the interface into *object and counts the reference through it.
    template <typename I> static HRESULT Answer(I* itf, void** object)
    {
        *object = itf;
        itf->AddRef();
        return S_OK;
    }

    LONG m_refCount = 0;
    critical_section m_critSec;
};

// A stand-alone object; holds one module lock for its lifetime.
template <typename T> class ComObject final : public T
{
public:
    template <typename... Args> explicit ComObject(Args&&... args) : T(static_cast<Args&&>(args)...) { LockModule(); }
    ~ComObject() override
    {
        this->m_refCount = 1; // nothing inside may re-enter destruction
        this->FinalRelease();
        UnlockModule();
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        return this->InternalQueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return this->InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG count = this->InternalRelease();
        if (count == 0)
            delete this;
        return count;
    }
};

// The inner part of an aggregated object: IUnknown calls go to the outer object.
template <typename T> class ComContainedObject final : public T
{
public:
    explicit ComContainedObject(IUnknown* outer) : outer_(outer) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return outer_->QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

private:
    IUnknown* outer_;
};

// An aggregated object: its own IUnknown is the inner, non-delegating one.
template <typename T> class ComAggObject final : public IUnknown
{
public:
    explicit ComAggObject(IUnknown* outer) : contained_(outer) { LockModule(); }
    virtual ~ComAggObject()
    {
        refCount_ = 1;
        contained_.FinalRelease();
        UnlockModule();
    }
    ComAggObject(const ComAggObject&) = delete;
    ComAggObject& operator=(const ComAggObject&) = delete;

    HRESULT FinalConstruct() { return contained_.FinalConstruct(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return contained_.InternalQueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refCount_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG count = InterlockedDecrement(&refCount_);
        if (count == 0)
            delete this;
        return count;
    }

    void InternalAddRef() { InterlockedIncrement(&refCount_); }
    void InternalRelease() { InterlockedDecrement(&refCount_); }

private:
    LONG refCount_ = 0;
    ComContainedObject<T> contained_;
};

// Raises the count around final construction, then queries; a failure destroys
// the object.
template <typename Created> HRESULT FinishCreation(Created* created, REFIID iid, void** object)
{
    if (!created)
        return E_OUTOFMEMORY;
    created->InternalAddRef();
    HRESULT hr = created->FinalConstruct();
    created->InternalRelease();
    if (SUCCEEDED(hr))
        hr = created->QueryInterface(iid, object);
    if (FAILED(hr))
        delete created;
    return hr;
}

// The instance creator of every class: a plain object, or an aggregated one
// inside the outer object.
template <typename T> HRESULT WINAPI CreateInstance(void* outerUnknown, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    auto* outer = static_cast<IUnknown*>(outerUnknown);
    if (!outer)
        return FinishCreation(new (std::nothrow) ComObject<T>(), iid, object);
    return FinishCreation(new (std::nothrow) ComAggObject<T>(outer), iid, object);
}
