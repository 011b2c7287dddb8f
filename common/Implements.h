// IUnknown written once for every plain COM object of the server, the suite and
// the tests: an object implementing one or more interfaces, counted with
// interlocked operations and deleted with its last reference. A class derives
// from Implements<itself, its interfaces...> and writes the interfaces' own
// methods only:
//
//   class Relay final : public Implements<Relay, IDeviceNotifySink> { ... };
//   com_ptr<Relay> relay = Relay::Create(sink);
//
// QueryInterface answers IUnknown (through the first interface) and each listed
// interface. An object that keeps its server running holds a lock as a member
// (ModuleLock in the server). Classes that can be aggregated use ComObject.h.
#pragma once

#include "common/ComPtr.h"

#include <objbase.h>

#include <new>
#include <utility>

template <typename Derived, typename First, typename... Others> class Implements : public First, public Others...
{
public:
    Implements(const Implements&) = delete;
    Implements& operator=(const Implements&) = delete;

    // A new object holding its first reference; null when out of memory. A
    // class with a private constructor names Implements its friend.
    template <typename... Arguments> static com_ptr<Derived> Create(Arguments&&... arguments)
    {
        return com_ptr<Derived>::attach(new (std::nothrow) Derived(std::forward<Arguments>(arguments)...));
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(First)))
            *object = static_cast<First*>(this);
        else
            (void)((IsEqualIID(iid, __uuidof(Others)) && (*object = static_cast<Others*>(this))) || ...);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

protected:
    Implements() = default;
    virtual ~Implements() = default;
    // A snapshot: whether others still hold the object, never for lifetime decisions.
    LONG References() const { return references_; }

private:
    LONG references_ = 1;
};
