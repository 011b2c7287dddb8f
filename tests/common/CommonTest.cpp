// Helpers every part of the product shares: byte arrays, the exception guard and
// the diagnostic trace.
#include "RegistryOverride.h"
#include "TestSupport.h"
#include "common/ByteArray.h"
#include "common/ErrorFlow.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

// Other shapes are refused by the server's methods, end to end.
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

TEST(GuardedResult, EveryExceptionBecomesOneResult)
{
    EXPECT_EQ(S_FALSE, Guarded([]() -> HRESULT { return S_FALSE; }));
    EXPECT_EQ(E_OUTOFMEMORY, Guarded([]() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_FAIL, Guarded([]() -> HRESULT { throw std::runtime_error("x"); }));
    EXPECT_EQ(E_UNEXPECTED, Guarded([]() -> HRESULT { throw 1; }, E_UNEXPECTED));
}

// The switch is read when the process starts: on, every line also goes to the
// named file (appended, process and thread noted); off, nothing is written.
TEST(Trace, TheSwitchSendsLinesToTheNamedFile)
{
    TempDir dir;
    const std::wstring file = dir / L"trace.log";
    RegistryOverride fileName(HKEY_CURRENT_USER, ::trace::kTraceKey, ::trace::kTraceFileValue, file);
    {
        RegistryOverride traceSwitch(HKEY_CURRENT_USER, ::trace::kTraceKey, ::trace::kTraceValue, L"1");
        ::trace::Initialise(L"common_tests.exe");
        QTRACE(L"(): readdir failed! (dir = %ls): HRESULT 0x%X\n", L"ALIAS:P1\\C:", 0x80044343u);
        QTRACE(L"BSTR2Date(): Invalid date!\n");
    }
    RegistryOverride traceSwitch(HKEY_CURRENT_USER, ::trace::kTraceKey, ::trace::kTraceValue, L"0");
    ::trace::Initialise(L"common_tests.exe");
    QTRACE(L"(): not written\n");
    ::trace::Debugger(L"not written either\n");

    const std::vector<unsigned char> bytes = ReadBytes(file);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(std::string::npos,
              text.find(" common_tests.exe: TestBody(): readdir failed! (dir = ALIAS:P1\\C:): HRESULT 0x80044343\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find(" common_tests.exe: BSTR2Date(): Invalid date!\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("written")) << text;
    EXPECT_EQ(2, std::count(text.begin(), text.end(), '\n'));
}
