#include "PcFiles.h"

#include "common/Resource.h"
#include "shortcut/ShortcutFiles.h"
#include "shortcut/VFSShortcut.h"

#include <shlwapi.h>

namespace client {

HRESULT ReadPcFile(const std::wstring& path, VARIANT* data, LONG& size, DATE& modified)
{
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info))
        return HRESULT_FROM_WIN32(GetLastError());
    if (info.nFileSizeHigh != 0 || info.nFileSizeLow > kMaxTransferSize)
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&info.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time) ||
        !SystemTimeToVariantTime(&time, &modified))
        return E_FAIL;
    size = static_cast<LONG>(info.nFileSizeLow);
    unique_safearray array(SafeArrayCreateVector(VT_UI1, 0, info.nFileSizeLow));
    if (!array)
        return E_OUTOFMEMORY;
    safearray_data bytes(array.get());
    if (FAILED(bytes.result()))
        return bytes.result();
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.get(), info.nFileSizeLow, &read, nullptr) || read != info.nFileSizeLow)
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    VariantClear(data);
    data->vt = VT_ARRAY | VT_UI1;
    data->parray = array.release();
    return S_OK;
}

HRESULT WritePcFile(const std::wstring& path, const VARIANT& data, ULONG& size)
{
    size = 0;
    if (data.vt != (VT_ARRAY | VT_UI1) || !data.parray || SafeArrayGetDim(data.parray) != 1)
        return E_INVALIDARG;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(data.parray, 1, &lower);
    SafeArrayGetUBound(data.parray, 1, &upper);
    const ULONG length = static_cast<ULONG>(upper - lower + 1);
    safearray_data bytes(data.parray);
    if (FAILED(bytes.result()))
        return bytes.result();
    unique_file file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), bytes.get(), length, &written, nullptr) || written != length)
        return HRESULT_FROM_WIN32(GetLastError());
    size = length;
    return S_OK;
}

std::wstring MirrorFileName(const std::wstring& mirrorFile)
{
    std::wstring name = PathFindFileNameW(mirrorFile.c_str());
    const std::wstring extension = shortcut::kShortcutExtension;
    if (name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        name.resize(name.size() - extension.size());
    return name;
}

LONG MirrorFileSize(const std::wstring& mirrorFile)
{
    return shortcut::GetShortcutDetails(mirrorFile).size;
}

} // namespace client
