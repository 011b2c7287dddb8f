// The class objects of the server: one standard class factory per class over
// the class's instance creator.
#pragma once

#include "AtlModule.h"

namespace server {

class ClassFactory final : public IClassFactory
{
public:
    explicit ClassFactory(AtlCreatorFunc* createInstance) : createInstance_(createInstance) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    // The factory lives as long as the process; its count only serves COM.
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refCount_); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refCount_); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    AtlCreatorFunc* createInstance_;
    LONG refCount_ = 0;
};

// Object-map hook that hands out the class factory of an entry; `creator` is
// the entry's instance creator.
template <int Slot> HRESULT WINAPI GetClassObject(void* creator, REFIID iid, void** object)
{
    static ClassFactory factory(reinterpret_cast<AtlCreatorFunc*>(creator));
    return factory.QueryInterface(iid, object);
}

} // namespace server
