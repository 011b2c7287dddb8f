#include "VirtualFileSystem.h"

#include "CraftedListings.h"
#include "SuiteErrors.h"
#include "common/ByteArray.h"
#include "common/FileTree.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <algorithm>
#include <cstring>

using store_names::ParsePhonePath;
using store_names::PhonePath;

namespace {

LONG g_nextHandle = 1;

const wchar_t kCapabilityTemplate[] =
    L"<?xml version=\"1.0\"?>\r\n<Capability Version=\"1.0\">\r\n<General>\r\n"
    L"<Manufacturer>Ostrelle</Manufacturer>\r\n<Model>%MODEL%</Model>\r\n<SN>%IMEI%</SN>\r\n"
    L"<Memory><MemType>%MEMTYPE%</MemType></Memory>\r\n</General>\r\n</Capability>\r\n";

HRESULT ReturnBstr(const std::wstring& text, BSTR* out)
{
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

std::wstring XmlText(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'&')
            out += L"&amp;";
        else if (c == L'<')
            out += L"&lt;";
        else if (c == L'>')
            out += L"&gt;";
        else if (c >= 0x20 || c == L'\t')
            out += c;
    }
    return out;
}

void ReplaceAll(std::wstring& text, const std::wstring& token, const std::wstring& value)
{
    for (size_t at = text.find(token); at != std::wstring::npos; at = text.find(token, at + value.size()))
        text.replace(at, token.size(), value);
}

} // namespace

HRESULT VirtualFileSystem::ResolveItem(BSTR path, PhonePath& phonePath, std::wstring& pcPath)
{
    if (!ParsePhonePath(path ? path : L"", phonePath))
        return suite_error::BadPath;
    if (phonePath.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    return suite::Store().ItemPath(phonePath, true, pcPath);
}

HRESULT VirtualFileSystem::TakeFaultAndResolve(const wchar_t* operation, BSTR path, PhonePath& phonePath,
                                               std::wstring& pcPath)
{
    HRESULT hr = suite::TakeFault(operation);
    return hr != S_OK ? hr : ResolveItem(path, phonePath, pcPath);
}

VirtualFileSystem::VirtualFileSystem()
{
    suite::CountFileSystem(1);
}

VirtualFileSystem::~VirtualFileSystem()
{
    suite::CountFileSystem(-1);
}

VirtualFileSystem::OpenFile* VirtualFileSystem::FindOpenFile(LONG handle)
{
    auto found = files_.find(handle);
    return found == files_.end() ? nullptr : &found->second;
}

HRESULT VirtualFileSystem::RunTransfer(ITransferListener* listener, size_t total)
{
    const suite::TransferSettings settings = suite::Transfers();
    const size_t chunk = std::max<DWORD>(settings.chunkSize, 1);
    if (runningTransfers_++ == 0)
        cancelRequested_ = false;
    HRESULT result = S_OK;
    if (listener)
        listener->FileStarted();
    size_t done = 0;
    do {
        if (settings.delayMs)
            suite::PumpMessagesFor(settings.delayMs);
        if (cancelRequested_) {
            result = suite_error::Cancelled;
            break;
        }
        done = std::min(total, done + chunk);
        // The listener may cancel from inside its callback.
        if (listener)
            listener->TransferStatus(static_cast<ULONG>(done), static_cast<ULONG>(total));
        if (cancelRequested_) {
            result = suite_error::Cancelled;
            break;
        }
    } while (done < total);
    if (SUCCEEDED(result) && listener)
        listener->FileFinished();
    if (--runningTransfers_ == 0)
        cancelRequested_ = false;
    return result;
}

HRESULT VirtualFileSystem::fopen(LONG mode, BSTR path, LONG, LONG* handle, ITransferListener* listener)
{
    if (handle)
        *handle = 0;
    HRESULT hr = suite::TakeFault(L"fopen");
    if (hr != S_OK)
        return hr;
    if (!handle)
        return E_POINTER;
    if (mode != ReadMode && mode != WriteMode)
        return E_INVALIDARG;
    OpenFile file;
    file.mode = static_cast<Mode>(mode);
    hr = ResolveItem(path, file.phonePath, file.pcPath);
    if (FAILED(hr))
        return hr;
    if (mode == ReadMode && !store_files::IsFile(file.pcPath))
        return suite_error::NotFound;
    if (mode == WriteMode) {
        std::wstring parent;
        hr = suite::Store().ItemPath(file.phonePath.Parent(), true, parent);
        if (FAILED(hr))
            return hr;
        if (!store_files::IsFolder(parent))
            return suite_error::NotFound;
        if (store_files::IsFolder(file.pcPath))
            return suite_error::AlreadyExists;
    }
    file.listener = com_ptr<ITransferListener>(listener);
    *handle = g_nextHandle++;
    files_.emplace(*handle, std::move(file));
    QTRACE(L"fopen(%ld, %ls) -> %ld\n", mode, path, *handle);
    return S_OK;
}

HRESULT VirtualFileSystem::fread(VARIANT* data, LONG handle)
{
    HRESULT hr = suite::TakeFault(L"fread");
    if (hr != S_OK)
        return hr;
    if (!data)
        return E_POINTER;
    OpenFile* file = FindOpenFile(handle);
    if (!file || file->mode != ReadMode)
        return suite_error::BadHandle;
    std::vector<unsigned char> bytes;
    hr = store_files::ReadWholeFile(file->pcPath, bytes);
    if (FAILED(hr))
        return hr;
    com_ptr<ITransferListener> listener = file->listener;
    hr = RunTransfer(listener.get(), bytes.size());
    if (FAILED(hr))
        return hr;
    return MakeByteArray(bytes, data);
}

HRESULT VirtualFileSystem::fwrite(VARIANT data, LONG handle)
{
    OpenFile* file = FindOpenFile(handle);
    HRESULT hr = suite::TakeFault(L"fwrite");
    if (hr != S_OK) {
        // As a broken transfer does: the close then stores nothing.
        if (file)
            file->discarded = true;
        return hr;
    }
    if (!file || file->mode != WriteMode)
        return suite_error::BadHandle;
    std::vector<unsigned char> bytes;
    hr = ReadByteArray(data, bytes);
    if (FAILED(hr))
        return hr;
    com_ptr<ITransferListener> listener = file->listener;
    hr = RunTransfer(listener.get(), bytes.size());
    // The handle may have been closed by a call that came in during the transfer.
    file = FindOpenFile(handle);
    if (!file)
        return FAILED(hr) ? hr : suite_error::BadHandle;
    if (FAILED(hr)) {
        file->failed = true;
        return hr;
    }
    file->pending.insert(file->pending.end(), bytes.begin(), bytes.end());
    return S_OK;
}

HRESULT VirtualFileSystem::fclose(LONG handle)
{
    HRESULT hr = suite::TakeFault(L"fclose");
    if (hr != S_OK)
        return hr;
    auto found = files_.find(handle);
    if (found == files_.end())
        return suite_error::BadHandle;
    OpenFile file = std::move(found->second);
    files_.erase(found);
    if (file.mode == ReadMode)
        return S_OK;
    if (file.failed)
        return suite_error::Cancelled;
    if (file.discarded)
        return S_OK;

    PhoneStore store = suite::Store();
    PhoneInfo phone;
    hr = store.FindPhone(file.phonePath.alias, phone);
    if (FAILED(hr))
        return hr;
    const PhoneMemory* memory = phone.FindMemory(file.phonePath.drive);
    if (!phone.connected || !memory)
        return suite_error::NotFound;
    unsigned long long used = 0;
    hr = store.MemoryUsed(phone, memory->drive, used);
    if (FAILED(hr))
        return hr;
    // The file being replaced gives its room back.
    WIN32_FILE_ATTRIBUTE_DATA existing;
    if (GetFileAttributesExW(file.pcPath.c_str(), GetFileExInfoStandard, &existing))
        used -= std::min<unsigned long long>(used, existing.nFileSizeLow);
    if (used + file.pending.size() > memory->quota) {
        QTRACE(L"fclose: %llu + %u bytes exceed the quota of %llu\n", used, static_cast<unsigned>(file.pending.size()),
               memory->quota);
        return suite_error::MemoryFull;
    }
    hr = store_files::WriteWholeFile(file.pcPath, file.pending);
    if (FAILED(hr))
        return hr;
    return store_files::SetModifiedTime(file.pcPath, file.timeSet ? file.modified : store_files::Now());
}

HRESULT VirtualFileSystem::fgettime(LONG handle, DATE* modified)
{
    HRESULT hr = suite::TakeFault(L"fgettime");
    if (hr != S_OK)
        return hr;
    if (!modified)
        return E_POINTER;
    *modified = 0;
    OpenFile* file = FindOpenFile(handle);
    if (!file)
        return suite_error::BadHandle;
    if (file->timeSet) {
        *modified = file->modified;
        return S_OK;
    }
    if (file->mode == WriteMode) {
        *modified = store_files::Now();
        return S_OK;
    }
    return store_files::GetModifiedTime(file->pcPath, *modified);
}

HRESULT VirtualFileSystem::fsettime(LONG handle, DATE modified)
{
    HRESULT hr = suite::TakeFault(L"fsettime");
    if (hr != S_OK)
        return hr;
    OpenFile* file = FindOpenFile(handle);
    if (!file)
        return suite_error::BadHandle;
    SYSTEMTIME check;
    if (!VariantTimeToSystemTime(modified, &check))
        return E_INVALIDARG;
    if (file->mode == ReadMode) {
        hr = store_files::SetModifiedTime(file->pcPath, modified);
        if (FAILED(hr))
            return hr;
    }
    file->timeSet = true;
    file->modified = modified;
    return S_OK;
}

HRESULT VirtualFileSystem::fgetsize(LONG handle, LONG* size)
{
    HRESULT hr = suite::TakeFault(L"fgetsize");
    if (hr != S_OK)
        return hr;
    if (!size)
        return E_POINTER;
    *size = 0;
    OpenFile* file = FindOpenFile(handle);
    if (!file)
        return suite_error::BadHandle;
    if (file->mode == WriteMode) {
        *size = static_cast<LONG>(file->pending.size());
        return S_OK;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file->pcPath.c_str(), GetFileExInfoStandard, &data))
        return suite_error::NotFound;
    *size = static_cast<LONG>(data.nFileSizeLow);
    return S_OK;
}

HRESULT VirtualFileSystem::mkdir(BSTR path, ITransferListener*)
{
    PhonePath phonePath;
    std::wstring folder;
    HRESULT hr = TakeFaultAndResolve(L"mkdir", path, phonePath, folder);
    if (FAILED(hr))
        return hr;
    std::wstring parent;
    hr = suite::Store().ItemPath(phonePath.Parent(), true, parent);
    if (FAILED(hr))
        return hr;
    if (!store_files::IsFolder(parent))
        return suite_error::NotFound;
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
        return suite_error::AlreadyExists;
    return CreateDirectoryW(folder.c_str(), nullptr) ? S_OK : suite_error::StoreFailure;
}

HRESULT VirtualFileSystem::rmdir(BSTR path, ITransferListener*)
{
    PhonePath phonePath;
    std::wstring folder;
    HRESULT hr = TakeFaultAndResolve(L"rmdir", path, phonePath, folder);
    if (FAILED(hr))
        return hr;
    if (!store_files::IsFolder(folder))
        return suite_error::NotFound;
    if (RemoveDirectoryW(folder.c_str()))
        return S_OK;
    return GetLastError() == ERROR_DIR_NOT_EMPTY ? suite_error::FolderNotEmpty : suite_error::StoreFailure;
}

HRESULT VirtualFileSystem::rename(BSTR path, BSTR newName, ITransferListener*)
{
    PhonePath phonePath;
    std::wstring source;
    HRESULT hr = TakeFaultAndResolve(L"rename", path, phonePath, source);
    if (FAILED(hr))
        return hr;
    std::wstring name = newName ? newName : L"";
    if (name.empty() || name.find(L'\\') != std::wstring::npos)
        return suite_error::BadPath;
    if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES)
        return suite_error::NotFound;
    PhonePath targetPath = phonePath;
    targetPath.names.back() = name;
    std::wstring target;
    hr = suite::Store().ItemPath(targetPath, true, target);
    if (FAILED(hr))
        return hr;
    if (name == phonePath.names.back())
        return S_OK;
    // A change of case alone is no clash with an existing item.
    if (_wcsicmp(name.c_str(), phonePath.names.back().c_str()) != 0 &&
        GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES)
        return suite_error::AlreadyExists;
    return MoveFileW(source.c_str(), target.c_str()) ? S_OK : suite_error::StoreFailure;
}

HRESULT VirtualFileSystem::deletefile(BSTR path, ITransferListener*)
{
    PhonePath phonePath;
    std::wstring file;
    HRESULT hr = TakeFaultAndResolve(L"deletefile", path, phonePath, file);
    if (FAILED(hr))
        return hr;
    // A phone deletes a folder with what it holds, as the user asked.
    if (store_files::IsFolder(file)) {
        RemoveFolderTree(file);
        return store_files::IsFolder(file) ? suite_error::StoreFailure : S_OK;
    }
    if (!store_files::IsFile(file))
        return suite_error::NotFound;
    return DeleteFileW(file.c_str()) ? S_OK : suite_error::StoreFailure;
}

HRESULT VirtualFileSystem::readdir(BSTR path, BSTR* listing, ITransferListener*)
{
    if (listing)
        *listing = nullptr;
    HRESULT hr = suite::TakeFault(L"readdir");
    if (hr != S_OK)
        return hr;
    if (!listing)
        return E_POINTER;
    std::wstring text;
    hr = crafted_listings::Find(path ? path : L"", text);
    if (hr != S_FALSE)
        return FAILED(hr) ? hr : ReturnBstr(text, listing);
    PhonePath phonePath;
    if (!ParsePhonePath(path ? path : L"", phonePath))
        return suite_error::BadPath;
    hr = suite::Store().ReadFolder(phonePath, text);
    if (FAILED(hr))
        return hr;
    return ReturnBstr(text, listing);
}

HRESULT VirtualFileSystem::Cancel()
{
    QTRACE(L"Cancel\n");
    if (runningTransfers_ > 0)
        cancelRequested_ = true;
    return S_OK;
}

HRESULT VirtualFileSystem::Refresh(LONG level, BSTR target)
{
    suite::RecordCall(L"Refresh", std::to_wstring(level) + L"|" + (target ? target : L""));
    HRESULT hr = suite::TakeFault(L"Refresh");
    if (hr != S_OK)
        return hr;
    PhonePath phonePath;
    if (!ParsePhonePath(target ? target : L"", phonePath))
        return suite_error::BadPath;
    PhoneStore store = suite::Store();
    if (phonePath.level == PhonePath::Level::Root)
        return S_OK;
    if (phonePath.level == PhonePath::Level::Phone) {
        PhoneInfo phone;
        hr = store.FindPhone(phonePath.alias, phone);
        if (FAILED(hr))
            return hr;
        return phone.connected ? S_OK : suite_error::NotFound;
    }
    std::wstring item;
    hr = store.ItemPath(phonePath, true, item);
    if (FAILED(hr))
        return hr;
    return GetFileAttributesW(item.c_str()) != INVALID_FILE_ATTRIBUTES ? S_OK : suite_error::NotFound;
}

HRESULT VirtualFileSystem::GetImei(BSTR alias, BSTR* imei)
{
    if (imei)
        *imei = nullptr;
    HRESULT hr = suite::TakeFault(L"GetImei");
    if (hr != S_OK)
        return hr;
    if (!imei)
        return E_POINTER;
    PhoneInfo phone;
    hr = suite::Store().FindPhone(alias ? alias : L"", phone);
    if (FAILED(hr))
        return hr;
    if (!phone.connected)
        return suite_error::NotFound;
    return ReturnBstr(phone.imei, imei);
}

HRESULT VirtualFileSystem::ReadObexCapability(BSTR rootPath, LONG maxSize, VARIANT* capability)
{
    suite::RecordCall(L"ReadObexCapability", std::wstring(rootPath ? rootPath : L"") + L"|" + std::to_wstring(maxSize));
    HRESULT hr = suite::TakeFault(L"ReadObexCapability");
    if (hr != S_OK)
        return hr;
    if (!capability)
        return E_POINTER;
    PhonePath phonePath;
    if (!ParsePhonePath(rootPath ? rootPath : L"", phonePath) || phonePath.level != PhonePath::Level::Phone)
        return suite_error::BadPath;
    PhoneInfo phone;
    hr = suite::Store().FindPhone(phonePath.alias, phone);
    if (FAILED(hr))
        return hr;
    if (!phone.connected)
        return suite_error::NotFound;
    std::wstring text = kCapabilityTemplate;
    ReplaceAll(text, L"%MODEL%", XmlText(phone.model));
    ReplaceAll(text, L"%IMEI%", XmlText(phone.imei));
    ReplaceAll(text, L"%MEMTYPE%", XmlText(phone.memories.empty() ? L"" : phone.memories.front().memType));
    if (maxSize > 0 && text.size() > static_cast<size_t>(maxSize))
        return suite_error::TooLarge;
    BSTR value = nullptr;
    hr = ReturnBstr(text, &value);
    if (FAILED(hr))
        return hr;
    VariantClear(capability);
    capability->vt = VT_BSTR;
    capability->bstrVal = value;
    return S_OK;
}
