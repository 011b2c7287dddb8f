// The serialised file-operation request: its layout, and every malformed array
// refused without a read past its end.
#include "common/Paths.h"
#include "common/Resource.h"
#include "fileops/FileOperationRequest.h"

#include <gtest/gtest.h>

#include <cstring>

using fileops::FileOperationRequest;

namespace {

// A byte array that ends where an inaccessible page begins: a read past it faults.
class GuardedArray
{
public:
    explicit GuardedArray(const std::vector<unsigned char>& bytes)
    {
        base_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + kPage, kPage, PAGE_NOACCESS, &old);
        SafeArrayAllocDescriptor(1, &array_);
        array_->cbElements = 1;
        array_->fFeatures = FADF_STATIC | FADF_FIXEDSIZE;
        array_->rgsabound[0].cElements = static_cast<ULONG>(bytes.size());
        array_->pvData = base_ + kPage - bytes.size();
        memcpy(array_->pvData, bytes.data(), bytes.size());
        value.vt = VT_ARRAY | VT_UI1;
        value.parray = array_;
    }
    ~GuardedArray()
    {
        SafeArrayDestroyDescriptor(array_);
        VirtualFree(base_, 0, MEM_RELEASE);
    }
    VARIANT value{};

private:
    static constexpr size_t kPage = 4096;
    unsigned char* base_;
    SAFEARRAY* array_ = nullptr;
};

std::vector<unsigned char> Bytes(const std::wstring& units)
{
    const auto* first = reinterpret_cast<const unsigned char*>(units.data());
    return std::vector<unsigned char>(first, first + units.size() * sizeof(wchar_t));
}

// hwnd 0x1234, code 2, flags 0x614; the other fields filled.
std::vector<unsigned char> Request(const std::wstring& tail, unsigned char filler = 0xEE)
{
    std::vector<unsigned char> bytes = {0x34, 0x12, 0, 0, 2, 0, 0, 0};
    bytes.insert(bytes.end(), 8, filler);
    bytes.insert(bytes.end(), {0x14, 0x06});
    bytes.insert(bytes.end(), 12, filler);
    const std::vector<unsigned char> units = Bytes(tail);
    bytes.insert(bytes.end(), units.begin(), units.end());
    return bytes;
}

const std::wstring kLists(L"C:\\a\0C:\\b\0\0X"
                          L"D:\\t\0\0\0",
                          19);

TEST(FileOperationRequest, DecodesTheLayoutAndEncodesItBack)
{
    GuardedArray array(Request(kLists + L'\0'));
    FileOperationRequest request;
    ASSERT_EQ(S_OK, FileOperationRequest::Decode(array.value, request));
    std::vector<std::wstring> sources, targets;
    ASSERT_EQ(S_OK, request.Sources(sources));
    ASSERT_EQ(S_OK, request.Targets(targets));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\a", L"C:\\b"}), sources);
    EXPECT_EQ(std::vector<std::wstring>{L"D:\\t"}, targets);
    const SHFILEOPSTRUCTW shell = request.ShellOperation();
    EXPECT_EQ(reinterpret_cast<HWND>(0x1234), shell.hwnd);
    EXPECT_EQ(2u, shell.wFunc);
    EXPECT_EQ(0x614, shell.fFlags);
    EXPECT_EQ(0, memcmp(L"C:\\a\0C:\\b\0", shell.pFrom, 20));
    EXPECT_EQ(nullptr, shell.lpszProgressTitle) << "an empty title is no title";

    unique_variant encoded;
    ASSERT_EQ(S_OK, FileOperationRequest::Encode(reinterpret_cast<HWND>(0x1234), 2, 0x614, sources, targets, L"Moving",
                                                 encoded.put()));
    const std::vector<unsigned char> expected =
        Request(std::wstring(L"C:\\a\0C:\\b\0\0\0D:\\t\0\0\0Moving", 25) + L'\0', 0);
    ASSERT_EQ(expected.size(), encoded.get()->parray->rgsabound[0].cElements);
    EXPECT_EQ(0, memcmp(expected.data(), encoded.get()->parray->pvData, expected.size()));
    ASSERT_EQ(S_OK, FileOperationRequest::Decode(*encoded.get(), request));
    EXPECT_EQ(L"Moving", request.Title());
}

TEST(FileOperationRequest, RefusesOtherTypesNullAndNestedArrays)
{
    VARIANT text{};
    text.vt = VT_BSTR;
    VARIANT nullArray{};
    nullArray.vt = VT_ARRAY | VT_UI1;
    SAFEARRAYBOUND bounds[2] = {{40, 0}, {2, 0}};
    unique_safearray square(SafeArrayCreate(VT_UI1, 2, bounds));
    VARIANT twoDimensions{};
    twoDimensions.vt = VT_ARRAY | VT_UI1;
    twoDimensions.parray = square.get();
    GuardedArray array(Request(kLists + L'\0'));
    VARIANT byReference{};
    byReference.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
    byReference.pparray = &array.value.parray;
    FileOperationRequest request;
    EXPECT_EQ(E_INVALIDARG, FileOperationRequest::Decode(VARIANT{}, request));
    EXPECT_EQ(E_INVALIDARG, FileOperationRequest::Decode(text, request));
    EXPECT_EQ(E_INVALIDARG, FileOperationRequest::Decode(byReference, request));
    EXPECT_EQ(E_POINTER, FileOperationRequest::Decode(nullArray, request));
    EXPECT_EQ(E_INVALIDARG, FileOperationRequest::Decode(twoDimensions, request));
}

TEST(FileOperationRequest, RefusesEveryArrayInWhichAListOrTheTitleDoesNotEnd)
{
    const std::vector<unsigned char> whole = Request(kLists + L'\0');
    for (size_t size = 0; size < whole.size(); ++size) {
        GuardedArray array(std::vector<unsigned char>(whole.begin(), whole.begin() + size));
        FileOperationRequest request;
        EXPECT_EQ(E_INVALIDARG, FileOperationRequest::Decode(array.value, request)) << size << " bytes";
    }
    FileOperationRequest request;
    GuardedArray noUnitAfterTheNuls(Request(std::wstring(L"C:\\a\0\0", 6)));
    EXPECT_EQ(E_INVALIDARG, FileOperationRequest::Decode(noUnitAfterTheNuls.value, request));
    std::vector<unsigned char> oddTail = Request(std::wstring(7, L'\0'));
    oddTail.push_back(0x41);
    GuardedArray emptyListsAndAnOddByte(oddTail);
    ASSERT_EQ(S_OK, FileOperationRequest::Decode(emptyListsAndAnOddByte.value, request));
    std::vector<std::wstring> sources{L"old"};
    EXPECT_EQ(S_OK, request.Sources(sources));
    EXPECT_TRUE(sources.empty());

    GuardedArray longName(Request(std::wstring(MAX_PATH, L'n') + std::wstring(7, L'\0')));
    ASSERT_EQ(S_OK, FileOperationRequest::Decode(longName.value, request));
    EXPECT_EQ(kPathTooLong, request.Sources(sources));
}

} // namespace
