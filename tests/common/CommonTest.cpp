// Helpers every part of the product shares: byte arrays, folder removal and the
// exception guard.
#include "TestSupport.h"
#include "common/ByteArray.h"
#include "common/FileTree.h"
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
        Bytes read{9};
        ASSERT_EQ(S_OK, ReadByteArray(*data.get(), read));
        EXPECT_EQ(bytes, read);

        VARIANT arrayByRef{};
        arrayByRef.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
        arrayByRef.pparray = &data.get()->parray;
        ASSERT_EQ(S_OK, ReadByteArray(arrayByRef, read));
        EXPECT_EQ(bytes, read);

        VARIANT variantByRef{};
        variantByRef.vt = VT_VARIANT | VT_BYREF;
        variantByRef.pvarVal = data.get();
        ASSERT_EQ(S_OK, ReadByteArray(variantByRef, read));
        EXPECT_EQ(bytes, read);
    }
}

TEST(ByteArray, OtherVariantsAreRefused)
{
    Bytes read{1, 2};
    unique_variant text;
    text.get()->vt = VT_BSTR;
    text.get()->bstrVal = SysAllocString(L"abc");
    EXPECT_EQ(E_INVALIDARG, ReadByteArray(*text.get(), read));
    EXPECT_TRUE(read.empty());

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    unique_variant square;
    square.get()->vt = VT_ARRAY | VT_UI1;
    square.get()->parray = SafeArrayCreate(VT_UI1, 2, bounds);
    EXPECT_EQ(E_INVALIDARG, ReadByteArray(*square.get(), read));

    VARIANT nullArray{};
    nullArray.vt = VT_ARRAY | VT_UI1;
    EXPECT_EQ(S_OK, ReadByteArray(nullArray, read));
    EXPECT_TRUE(read.empty());
}

TEST(FileTree, RemovesReadOnlyAndHiddenItemsAtEveryDepth)
{
    TempDir dir;
    const std::wstring top = dir / L"top";
    MakeFolders(top, {L"", L"\\inner"});
    WriteText(top + L"\\inner\\locked.txt", "x");
    WriteText(top + L"\\hidden.txt", "y");
    SetFileAttributesW((top + L"\\inner\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((top + L"\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesW((top + L"\\inner").c_str(), FILE_ATTRIBUTE_READONLY);
    RemoveFolderTree(top);
    EXPECT_FALSE(DirectoryExists(top));
}

TEST(GuardedResult, EveryExceptionBecomesOneResult)
{
    EXPECT_EQ(S_FALSE, Guarded([]() -> HRESULT { return S_FALSE; }));
    EXPECT_EQ(E_ACCESSDENIED, Guarded([]() -> HRESULT { throw _com_error(E_ACCESSDENIED); }));
    EXPECT_EQ(E_OUTOFMEMORY, Guarded([]() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_FAIL, Guarded([]() -> HRESULT { throw std::runtime_error("x"); }));
    EXPECT_EQ(E_UNEXPECTED, Guarded([]() -> HRESULT { throw 1; }, E_UNEXPECTED));
}
