#include "PhoneFile.h"

#include "common/ByteArray.h"
#include "common/Dates.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "shortcut/PcItemNames.h"
#include "shortcut/ShortcutFiles.h"
#include "shortcut/VFSShortcut.h"

#include <shlwapi.h>

#include <new>
#include <vector>

namespace fileops {

namespace {

constexpr wchar_t kUploadedPermissions[] = L"RWD";

// One open phone file; closed on every path. The close's result is the
// caller's to judge, so it is asked for explicitly.
class OpenPhoneFile
{
public:
    explicit OpenPhoneFile(const PhoneSide& side) : side_(side) {}
    OpenPhoneFile(const OpenPhoneFile&) = delete;
    OpenPhoneFile& operator=(const OpenPhoneFile&) = delete;
    ~OpenPhoneFile() { Close(); }

    HRESULT Open(phone::OpenMode mode, const std::wstring& phonePath)
    {
        ShowPhoneItem(side_.listener, phonePath);
        if (side_.listener)
            side_.listener->SetAnimation(side_.graphics, ProgressAnimationId());
        const HRESULT hr = side_.phoneFs.fopen(mode, phonePath, side_.listener, handle_);
        if (FAILED(hr))
            QTRACE(L"(): VFSfopen failed! (file = %s, hr = 0x%X)\n", phonePath.c_str(), hr);
        open_ = SUCCEEDED(hr);
        return hr;
    }

    HRESULT Read(VARIANT* data)
    {
        const HRESULT hr = side_.phoneFs.fread(data, handle_);
        if (FAILED(hr))
            QTRACE(L"(): VFSfread failed! (hr = 0x%X)\n", hr);
        return hr;
    }
    HRESULT Write(const VARIANT& data)
    {
        const HRESULT hr = side_.phoneFs.fwrite(data, handle_);
        if (FAILED(hr))
            QTRACE(L"(): VFSfwrite failed! (hr = 0x%X)\n", hr);
        return hr;
    }
    // The time is no part of the file's content: its failure is only traced.
    DATE GetTime()
    {
        DATE modified = 0;
        const HRESULT hr = side_.phoneFs.fgettime(handle_, modified);
        if (FAILED(hr))
            QTRACE(L"(): VFS::fgettime failed! (hr = 0x%X)\n", hr);
        return SUCCEEDED(hr) ? modified : 0;
    }
    void SetTime(DATE modified)
    {
        const HRESULT hr = side_.phoneFs.fsettime(handle_, modified);
        if (FAILED(hr))
            QTRACE(L"(): VFS::fsettime failed! (hr = 0x%X)\n", hr);
    }
    // The file counts as closed afterwards, also when the close failed.
    HRESULT Close()
    {
        if (!open_)
            return S_OK;
        open_ = false;
        const HRESULT hr = side_.phoneFs.fclose(handle_);
        if (FAILED(hr))
            QTRACE(L"(): VFSfclose failed! (hr = 0x%X)\n", hr);
        return hr;
    }

private:
    const PhoneSide& side_;
    long handle_ = 0;
    bool open_ = false;
};

// The close's failure replaces whatever came before it.
HRESULT Closed(OpenPhoneFile& file, HRESULT result)
{
    const HRESULT closed = file.Close();
    return FAILED(closed) ? closed : result;
}

// How far a write came: whether the phone file was touched at all.
HRESULT Write(const PhoneSide& side, const std::wstring& phonePath, const VARIANT& data, DATE modified, bool& opened)
{
    OpenPhoneFile file(side);
    opened = false;
    RETURN_IF_FAILED(file.Open(phone::OpenWrite, phonePath));
    opened = true;
    const HRESULT written = file.Write(data);
    if (SUCCEEDED(written) && modified != 0.0)
        file.SetTime(modified);
    return Closed(file, written);
}

// The bytes of a phone file (no array: an empty file) with the phone's time;
// a part of a file is no copy of it.
HRESULT WritePcFile(const std::wstring& pcPath, const VARIANT& data, DATE modified)
{
    std::vector<unsigned char> bytes;
    if (data.vt != VT_EMPTY)
        RETURN_IF_FAILED(ReadByteArray(data, bytes));
    unique_file file(
        CreateFileW(pcPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return E_HANDLE;
    DWORD written = 0;
    if (!bytes.empty() && (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size())) {
        file.reset();
        DeleteFileW(pcPath.c_str());
        return E_FAIL;
    }
    FILETIME time;
    if (modified != 0.0 && SUCCEEDED(DateToFileTime(modified, time)))
        SetFileTime(file.get(), nullptr, nullptr, &time);
    return S_OK;
}

// The shortcut file that names the PC file's phone item.
void RemoveShortcutOf(const std::wstring& pcFile)
{
    DeleteFileW((pcFile + shortcut::kShortcutExtension).c_str());
}

} // namespace

void ShowPhoneItem(COperationListener* listener, const std::wstring& phonePath)
{
    if (listener)
        listener->SetItemText(PathFindFileNameW(phonePath.c_str()));
}

HRESULT ReadPhoneFile(const PhoneSide& side, const std::wstring& phonePath, VARIANT* data, DATE* modified)
{
    if (!data)
        return E_POINTER;
    OpenPhoneFile file(side);
    RETURN_IF_FAILED(file.Open(phone::OpenRead, phonePath));
    const HRESULT read = file.Read(data);
    if (SUCCEEDED(read) && modified)
        *modified = file.GetTime();
    return Closed(file, read);
}

HRESULT WritePhoneFile(const PhoneSide& side, const std::wstring& phonePath, const VARIANT& data, DATE modified)
{
    bool opened = false;
    return Write(side, phonePath, data, modified, opened);
}

HRESULT DownloadToPcFile(const PhoneSide& side, const std::wstring& phonePath, const std::wstring& pcPath)
{
    unique_variant data;
    DATE modified = 0;
    RETURN_IF_FAILED(ReadPhoneFile(side, phonePath, data.put(), &modified));
    return WritePcFile(pcPath, *data.get(), modified);
}

HRESULT UploadFromPcFile(const PhoneSide& side, const std::wstring& pcPath, const std::wstring& phonePath,
                         bool& arrived)
{
    arrived = false;
    unique_variant data;
    const HRESULT read = File2VARIANT(pcPath.c_str(), data.put());
    if (FAILED(read)) {
        QTRACE(L"(): File2VARIANT failed!\n");
        return read;
    }
    const phone::VFSItem item = GetPCFileDetails(pcPath);
    bool opened = false;
    const HRESULT written = Write(side, phonePath, *data.get(), item.modified, opened);
    if (FAILED(written)) {
        // The phone file may now be anything: the mirror claims nothing of it.
        if (opened)
            RemoveShortcutOf(pcPath);
        return written;
    }
    arrived = true;
    return RecordShortcut(pcPath, item);
}

HRESULT RecordShortcut(const std::wstring& pcFile, const phone::VFSItem& item)
{
    // The old shortcut describes the file just replaced.
    RemoveShortcutOf(pcFile);
    const HRESULT hr = shortcut::CreateShortcutFile(pcFile, item);
    if (FAILED(hr)) {
        QTRACE(L"(): CreateShortcutFile failed! (hr = 0x%X)\n", hr);
        std::wstring stale;
        if (SUCCEEDED(shortcut::MakePcItemPath(pcFile, item.phoneName, item.label, false, stale)))
            RemoveShortcutOf(stale);
    }
    return hr;
}

HRESULT File2VARIANT(const wchar_t* path, VARIANT* data)
{
    if (!path || !data)
        return E_POINTER;
    if (!*path)
        return E_INVALIDARG;
    unique_file file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return E_HANDLE;
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE)
        return E_FAIL;
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    DWORD read = 0;
    // A file that shrank meanwhile is no whole copy: a move would delete its source.
    if (size && (!ReadFile(file.get(), bytes.data(), size, &read, nullptr) || read != size))
        return E_FAIL;
    return SUCCEEDED(MakeByteArray(bytes, data)) ? S_OK : E_FAIL;
}

phone::VFSItem GetPCFileDetails(const std::wstring& path)
{
    phone::VFSItem item{};
    std::wstring name = path;
    paths::TrimOneTrailingBackslash(name);
    phone::CopyField(item.phoneName, paths::LastComponent(name).c_str());
    phone::CopyField(item.userPerm, kUploadedPermissions);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        item.size = static_cast<LONG>(data.nFileSizeLow);
        FileTimeToDate(data.ftCreationTime, item.created);
        FileTimeToDate(data.ftLastWriteTime, item.modified);
    }
    return item;
}

} // namespace fileops
