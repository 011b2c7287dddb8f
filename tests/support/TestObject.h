// COM objects made by tests (stand-ins, factories, sinks) take their IUnknown
// from common/Implements.h. TestObject<its interfaces> is that template for a
// class that is made with MakeTestObject rather than its own Create.
#pragma once

#include "common/ComPtr.h"
#include "common/Implements.h"

#include <utility>

namespace testing_support {

template <typename... Interfaces> class TestObject : public Implements<TestObject<Interfaces...>, Interfaces...>
{
};

// A new object holding its first reference.
template <typename T, typename... Arguments> com_ptr<T> MakeTestObject(Arguments&&... arguments)
{
    return com_ptr<T>::attach(new T(std::forward<Arguments>(arguments)...));
}

} // namespace testing_support
