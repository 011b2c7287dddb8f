// Helpers every part of the product shares: byte arrays and the exception guard.
#include "TestSupport.h"
#include "common/ByteArray.h"
#include "common/ErrorFlow.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

TEST(ByteArray, RoundTripsDirectlyAndByReference)
{
    for (const Bytes& bytes : {Bytes{}, Bytes{0, 1, 0xFF}}) {
        unique_variant data;
        ASSERT_EQ(S_OK, MakeByteArray(bytes, data.put()));
        EXPECT_EQ(VT_ARRAY | VT_UI1, data.get()->vt);
        VARIANT arrayByRef{}, variantByRef{};
        arrayByRef.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
        arrayByRef.pparray = &data.get()->parray;
        variantByRef.vt = VT_VARIANT | VT_BYREF;
        variantByRef.pvarVal = data.get();
        for (const VARIANT* form : {data.get(), &arrayByRef, &variantByRef}) {
            Bytes read{9};
            ASSERT_EQ(S_OK, ReadByteArray(*form, read)) << form->vt;
            EXPECT_EQ(bytes, read) << form->vt;
        }
    }
}

// Other types are refused by the server's methods, end to end.
TEST(ByteArray, TwoDimensionalArraysAreRefusedAndNoArrayIsEmpty)
{
    Bytes read{1, 2};
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    unique_variant square;
    square.get()->vt = VT_ARRAY | VT_UI1;
    square.get()->parray = SafeArrayCreate(VT_UI1, 2, bounds);
    EXPECT_EQ(E_INVALIDARG, ReadByteArray(*square.get(), read));
    EXPECT_TRUE(read.empty());

    VARIANT nullArray{};
    nullArray.vt = VT_ARRAY | VT_UI1;
    read = {1};
    EXPECT_EQ(S_OK, ReadByteArray(nullArray, read));
    EXPECT_TRUE(read.empty());
}

TEST(GuardedResult, EveryExceptionBecomesOneResult)
{
    EXPECT_EQ(S_FALSE, Guarded([]() -> HRESULT { return S_FALSE; }));
    EXPECT_EQ(E_OUTOFMEMORY, Guarded([]() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_FAIL, Guarded([]() -> HRESULT { throw std::runtime_error("x"); }));
    EXPECT_EQ(E_UNEXPECTED, Guarded([]() -> HRESULT { throw 1; }, E_UNEXPECTED));
}
