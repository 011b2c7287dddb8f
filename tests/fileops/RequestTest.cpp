// The serialised file-operation request: its layout, and every malformed array
// refused without a read past its end.
#include "common/Paths.h"
#include "common/Resource.h"
#include "fileops/FileOperationRequest.h"

#include <gtest/gtest.h>

using fileops::FileOperationRequest;

namespace {

// A byte array that ends where an inaccessible page begins: a read past it faults.
struct GuardedArray {
    explicit GuardedArray(const std::vector<unsigned char>& bytes)
        : base(static_cast<unsigned char*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE)))
    {
        DWORD old = 0;
        VirtualProtect(base + 4096, 4096, PAGE_NOACCESS, &old);
        SafeArrayAllocDescriptor(1, &value.parray);
        *value.parray = SAFEARRAY{1, FADF_STATIC | FADF_FIXEDSIZE, 1,
                                  0, base + 4096 - bytes.size(),   {{static_cast<ULONG>(bytes.size()), 0}}};
        memcpy(value.parray->pvData, bytes.data(), bytes.size());
        value.vt = VT_ARRAY | VT_UI1;
    }
    ~GuardedArray()
    {
        SafeArrayDestroyDescriptor(value.parray);
        VirtualFree(base, 0, MEM_RELEASE);
    }
    unsigned char* base;
    VARIANT value{};
};

// hwnd 0x1234, code 2, flags 0x614, the other fields filled, then the units.
std::vector<unsigned char> Request(const std::wstring& units)
{
    const std::wstring all =
        std::wstring{0x1234, 0, 2, 0, 0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE, 0x614} + std::wstring(6, 0xEEEE) + units;
    const auto* first = reinterpret_cast<const unsigned char*>(all.data());
    return std::vector<unsigned char>(first, first + all.size() * sizeof(wchar_t));
}

// Two sources (the unit after their NULs is no NUL), one target, an empty title.
const std::wstring kUnits(L"C:\\a\0C:\\b\0\0XD:\\t\0\0\0\0", 20);

TEST(FileOperationRequest, DecodesTheLayout)
{
    GuardedArray array(Request(kUnits));
    FileOperationRequest request;
    ASSERT_EQ(S_OK, FileOperationRequest::Decode(array.value, request));
    std::vector<std::wstring> names;
    ASSERT_EQ(S_OK, request.Sources(names));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\a", L"C:\\b"}), names);
    const SHFILEOPSTRUCTW shell = request.ShellOperation();
    EXPECT_EQ(nullptr, shell.hwnd) << "0x1234 names no window: no owner";
    EXPECT_EQ(2u, shell.wFunc);
    EXPECT_EQ(0x614, shell.fFlags);
    EXPECT_EQ(std::wstring(L"D:\\t"), shell.pTo);
    EXPECT_EQ(nullptr, shell.lpszProgressTitle) << "an empty title is no title";
    EXPECT_EQ(E_INVALIDARG,
              FileOperationRequest::Encode(nullptr, 3, 0, {L"C:\\a", L""}, {}, L"", unique_variant().put()));
}

TEST(FileOperationRequest, RefusesWhatIsNoByteArrayOrEndsTooSoon)
{
    VARIANT nullArray{};
    nullArray.vt = VT_ARRAY | VT_UI1;
    FileOperationRequest request;
    EXPECT_EQ(E_INVALIDARG, FileOperationRequest::Decode(VARIANT{}, request));
    EXPECT_EQ(E_POINTER, FileOperationRequest::Decode(nullArray, request));

    const std::vector<unsigned char> whole = Request(kUnits);
    for (size_t size = 0; size < whole.size(); ++size) {
        GuardedArray cut(std::vector<unsigned char>(whole.begin(), whole.begin() + size));
        EXPECT_EQ(E_INVALIDARG, FileOperationRequest::Decode(cut.value, request)) << size << " bytes";
    }
    GuardedArray longName(Request(std::wstring(MAX_PATH, L'n') + std::wstring(7, L'\0')));
    ASSERT_EQ(S_OK, FileOperationRequest::Decode(longName.value, request));
    std::vector<std::wstring> sources;
    EXPECT_EQ(kPathTooLong, request.Sources(sources));
}

} // namespace
