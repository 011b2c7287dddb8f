// Helpers every part of the product shares: byte arrays, folder removal, the
// exception guard and the IUnknown of plain objects.
#include "TestSupport.h"
#include "common/ByteArray.h"
#include "common/FileTree.h"
#include "common/ErrorFlow.h"
#include "common/Implements.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <ole2.h>

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
    EXPECT_EQ(E_OUTOFMEMORY, Guarded([]() -> HRESULT { throw std::bad_alloc(); }));
    EXPECT_EQ(E_FAIL, Guarded([]() -> HRESULT { throw std::runtime_error("x"); }));
    EXPECT_EQ(E_UNEXPECTED, Guarded([]() -> HRESULT { throw 1; }, E_UNEXPECTED));
}

namespace {
int g_probesAlive = 0;

class Probe final : public Implements<Probe, IPersist, IOleWindow>
{
public:
    Probe() { ++g_probesAlive; }
    ~Probe() override { --g_probesAlive; }
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    // A call through the interface answered reaches this method, not another slot.
    STDMETHODIMP GetWindow(HWND* window) override
    {
        *window = reinterpret_cast<HWND>(42);
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};
} // namespace

// COM's identity rules: one IUnknown whatever is asked through, each listed
// interface and no other, one reference per answer, gone with the last.
TEST(Implements, AnswersItsInterfacesWithOneIdentityAndGoesWithItsLastReference)
{
    com_ptr<Probe> probe = Probe::Create();
    ASSERT_TRUE(probe);
    EXPECT_EQ(1, g_probesAlive);
    com_ptr<IUnknown> viaObject, viaWindow;
    com_ptr<IOleWindow> window;
    com_ptr<IPersist> persist;
    ASSERT_EQ(S_OK, probe.query(viaObject, IID_IUnknown));
    ASSERT_EQ(S_OK, probe.query(window, IID_IOleWindow));
    ASSERT_EQ(S_OK, window.query(persist, IID_IPersist));
    ASSERT_EQ(S_OK, window.query(viaWindow, IID_IUnknown));
    EXPECT_EQ(viaObject.get(), viaWindow.get());
    HWND answer = nullptr;
    EXPECT_EQ(S_OK, window->GetWindow(&answer));
    EXPECT_EQ(reinterpret_cast<HWND>(42), answer);

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, probe->QueryInterface(IID_IClassFactory, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_POINTER, probe->QueryInterface(IID_IUnknown, nullptr));

    // Five references: the creator's and the four answers kept.
    EXPECT_EQ(6u, probe->AddRef());
    EXPECT_EQ(5u, probe->Release());
    probe.reset(), viaObject.reset(), viaWindow.reset(), persist.reset();
    EXPECT_EQ(1, g_probesAlive);
    window.reset();
    EXPECT_EQ(0, g_probesAlive);
}
