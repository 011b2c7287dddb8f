// COM objects made by tests (stand-ins, factories, sinks): the IUnknown part
// written once. A test class derives from TestObject<its interfaces>
// and implements their methods only.
#pragma once

#include "common/ComPtr.h"

#include <objbase.h>

#include <utility>

namespace testing_support {

template <typename First, typename... Others> class TestObject : public First, public Others...
{
public:
    TestObject() = default;
    TestObject(const TestObject&) = delete;
    TestObject& operator=(const TestObject&) = delete;
    virtual ~TestObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
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
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return left;
    }

private:
    LONG references_ = 1;
};

// A new object holding its first reference.
template <typename T, typename... Arguments> com_ptr<T> MakeTestObject(Arguments&&... arguments)
{
    return com_ptr<T>::attach(new T(std::forward<Arguments>(arguments)...));
}

} // namespace testing_support
