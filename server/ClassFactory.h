// The class objects of the server: one standard class factory per class over
// the class's instance creator.
#pragma once

#include "AtlModule.h"
#include "common/Implements.h"

namespace server {

class ClassFactory final : public Implements<ClassFactory, IClassFactory>
{
public:
    explicit ClassFactory(AtlCreatorFunc* createInstance) : createInstance_(createInstance) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    AtlCreatorFunc* createInstance_;
};

// Object-map hook that hands out the class factory of an entry; `creator` is
// the entry's instance creator. The factory lives as long as the process.
template <int Slot> HRESULT WINAPI GetClassObject(void* creator, REFIID iid, void** object)
{
    static const com_ptr<ClassFactory> factory = ClassFactory::Create(reinterpret_cast<AtlCreatorFunc*>(creator));
    if (!factory)
        return E_OUTOFMEMORY;
    return factory->QueryInterface(iid, object);
}

} // namespace server
