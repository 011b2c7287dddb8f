#include "FileOperationRequest.h"

#include "common/Arguments.h"
#include "common/ByteArray.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"

#include <cstring>

namespace fileops {

namespace {

constexpr size_t kWindowOffset = 0;
constexpr size_t kFunctionOffset = 4;
constexpr size_t kFlagsOffset = 16;

// The UTF-16 units that follow the image, read without alignment.
class Units
{
public:
    Units(const unsigned char* bytes, size_t byteCount)
        : bytes_(bytes + kRequestImageSize), count_((byteCount - kRequestImageSize) / sizeof(wchar_t))
    {
    }
    size_t size() const { return count_; }
    wchar_t operator[](size_t index) const
    {
        wchar_t unit;
        memcpy(&unit, bytes_ + index * sizeof(wchar_t), sizeof(unit));
        return unit;
    }

private:
    const unsigned char* bytes_;
    size_t count_;
};

// A list runs to its first pair of NULs and one unit beyond; false when that
// unit lies outside the array.
bool TakeList(const Units& units, size_t& at, std::vector<wchar_t>& list)
{
    for (size_t k = at; k + 2 < units.size(); ++k) {
        if (units[k] == 0 && units[k + 1] == 0) {
            list.clear();
            for (size_t i = at; i < k + 3; ++i)
                list.push_back(units[i]);
            at = k + 3;
            return true;
        }
    }
    return false;
}

bool TakeTitle(const Units& units, size_t at, std::wstring& title)
{
    for (size_t k = at; k < units.size(); ++k) {
        if (units[k] == 0) {
            title.clear();
            for (size_t i = at; i < k; ++i)
                title.push_back(units[i]);
            return true;
        }
    }
    return false;
}

template <typename T> void WriteAt(std::vector<unsigned char>& bytes, size_t offset, T value)
{
    memcpy(bytes.data() + offset, &value, sizeof(value));
}

void AppendText(std::vector<unsigned char>& bytes, const std::wstring& text)
{
    const auto* first = reinterpret_cast<const unsigned char*>(text.c_str());
    bytes.insert(bytes.end(), first, first + (text.size() + 1) * sizeof(wchar_t));
}

// Each name with its NUL, the second NUL, and one more unit.
void AppendList(std::vector<unsigned char>& bytes, const std::vector<std::wstring>& names)
{
    for (const std::wstring& name : names)
        AppendText(bytes, name);
    if (names.empty())
        AppendText(bytes, L"");
    AppendText(bytes, L"");
    AppendText(bytes, L"");
}

} // namespace

HRESULT FileOperationRequest::Decode(const VARIANT& serialised, FileOperationRequest& request)
{
    if (serialised.vt != (VT_ARRAY | VT_UI1)) {
        QTRACE(L"(): E_INVALIDARG!\n");
        return E_INVALIDARG;
    }
    SAFEARRAY* array = serialised.parray;
    if (!array) {
        QTRACE(L"(): E_POINTER!\n");
        return E_POINTER;
    }
    // Every length below is measured against the bytes the array holds.
    size_t size = 0;
    RETURN_IF_FAILED(ByteArraySize(array, size));
    if (size < kRequestImageSize) {
        QTRACE(L"(): request of %u bytes is shorter than its image\n", static_cast<unsigned>(size));
        return E_INVALIDARG;
    }
    safearray_data data(array);
    if (FAILED(data.result()))
        return E_FAIL;
    const auto* bytes = static_cast<const unsigned char*>(data.get());
    FileOperationRequest decoded;
    DWORD window = 0;
    memcpy(&window, bytes + kWindowOffset, sizeof(window));
    decoded.window_ = WindowArgument(window);
    memcpy(&decoded.function_, bytes + kFunctionOffset, sizeof(decoded.function_));
    memcpy(&decoded.flags_, bytes + kFlagsOffset, sizeof(decoded.flags_));
    const Units units(bytes, size);
    size_t at = 0;
    if (!TakeList(units, at, decoded.from_) || !TakeList(units, at, decoded.to_) ||
        !TakeTitle(units, at, decoded.title_)) {
        QTRACE(L"(): a list or the title does not end inside the request\n");
        return E_INVALIDARG;
    }
    request = std::move(decoded);
    return S_OK;
}

HRESULT FileOperationRequest::Encode(HWND window, UINT function, WORD flags, const std::vector<std::wstring>& sources,
                                     const std::vector<std::wstring>& targets, const std::wstring& title,
                                     VARIANT* serialised)
{
    if (!serialised)
        return E_POINTER;
    // An empty name would end its list early.
    for (const std::vector<std::wstring>* list : {&sources, &targets}) {
        for (const std::wstring& name : *list) {
            if (name.empty() || name.find(L'\0') != std::wstring::npos)
                return E_INVALIDARG;
        }
    }
    std::vector<unsigned char> bytes(kRequestImageSize, 0);
    WriteAt(bytes, kWindowOffset, static_cast<DWORD>(HandleToULong(window)));
    WriteAt(bytes, kFunctionOffset, function);
    WriteAt(bytes, kFlagsOffset, flags);
    AppendList(bytes, sources);
    AppendList(bytes, targets);
    AppendText(bytes, title);
    unique_safearray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array)
        return E_OUTOFMEMORY;
    {
        safearray_data data(array.get());
        RETURN_IF_FAILED(data.result());
        memcpy(data.get(), bytes.data(), bytes.size());
    }
    VariantClear(serialised);
    serialised->vt = VT_ARRAY | VT_UI1;
    serialised->parray = array.release();
    return S_OK;
}

SHFILEOPSTRUCTW FileOperationRequest::ShellOperation() const
{
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = window_;
    operation.wFunc = function_;
    operation.pFrom = from_.data();
    operation.pTo = to_.data();
    operation.fFlags = flags_;
    operation.lpszProgressTitle = title_.empty() ? nullptr : title_.c_str();
    return operation;
}

HRESULT FileOperationRequest::Split(const std::vector<wchar_t>& list, std::vector<std::wstring>& names)
{
    names.clear();
    size_t at = 0;
    while (at < list.size() && list[at] != 0) {
        size_t end = at;
        while (end < list.size() && list[end] != 0)
            ++end;
        if (end - at >= MAX_PATH)
            return kPathTooLong;
        names.emplace_back(list.data() + at, end - at);
        at = end + 1;
    }
    return S_OK;
}

} // namespace fileops
