#include "ObexFileSystem.h"

#include "obex/protocol/ObexResults.h"
#include "SuiteErrors.h"
#include "common/ByteArray.h"
#include "common/ErrorFlow.h"
#include "common/Trace.h"

#include <algorithm>
#include <cstring>

namespace obex {

using phone::PhonePath;

namespace {

volatile LONG g_nextHandle = 0;

HRESULT ReturnBstr(const std::wstring& text, BSTR* out)
{
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// A folder the phone refuses to enter is missing for the user: peers answer
// Forbidden or Not Found.
HRESULT Entered(HRESULT hr)
{
    return hr == ResultFromResponse(0xC3) || hr == ResultFromResponse(0xC4) ? suite_error::NotFound : SuiteResult(hr);
}

// Results of the OBEX client become the suite's where they arise: the suite's
// codes share their range with OBEX responses and must not be mapped twice.
HRESULT Obex(HRESULT hr)
{
    return SuiteResult(hr);
}

HRESULT EnterFolder(Session& session, const PhoneMemory& memory, const std::vector<std::wstring>& names)
{
    RETURN_IF_FAILED(Obex(session.SetPathRoot()));
    if (!memory.folder.empty())
        RETURN_IF_FAILED(Entered(session.SetPath(memory.folder, false)));
    for (const std::wstring& name : names)
        RETURN_IF_FAILED(Entered(session.SetPath(name, false)));
    return S_OK;
}

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty() || utf8.size() > 0x7FFFFFFF)
        return L"";
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring text(static_cast<size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &text[0], length);
    return text;
}

// The spool of a write: a temporary file that goes with its handle.
HRESULT MakeSpool(unique_file& spool)
{
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH || !GetTempFileNameW(folder, L"obx", 0, path))
        return HRESULT_FROM_WIN32(GetLastError());
    spool.reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return spool ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

HRESULT WriteAll(HANDLE file, const void* data, size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const DWORD part = static_cast<DWORD>(std::min<size_t>(size, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes, part, &written, nullptr) || written != part)
            return HRESULT_FROM_WIN32(GetLastError());
        bytes += part;
        size -= part;
    }
    return S_OK;
}

// Deeper folders than this are not walked: a phone that lists a folder inside
// itself must not recurse forever.
constexpr int kDeepestFolder = 64;

// How much of an upload's spool is read and sent at once.
constexpr size_t kSpoolBlock = 64 * 1024;

// Reports a transfer's progress. Each report is a call into the caller's
// process, which costs more than a packet: one report per step of bytes, and
// the last. Cancel is looked at after every packet of a download and every
// block of an upload all the same.
class Progress
{
public:
    Progress(ITransferListener* listener, uint64_t total) : listener_(listener), total_(total) {}
    void Report(uint64_t done)
    {
        if (!listener_ || (done - reported_ < kProgressStep && done < total_))
            return;
        reported_ = done;
        listener_->TransferStatus(static_cast<ULONG>(done), static_cast<ULONG>(std::max(total_, done)));
    }

private:
    ITransferListener* listener_;
    uint64_t total_;
    uint64_t reported_ = 0;
};

} // namespace

// Declared here so that the spool handle stays out of the header's struct.
struct SpoolHolder {
    unique_file file;
};

ObexFileSystem::~ObexFileSystem() = default;

HRESULT ObexFileSystem::Resolve(BSTR path, Item& item)
{
    if (!phone::ParsePhonePath(path ? path : L"", item.path))
        return suite_error::BadPath;
    if (item.path.level == PhonePath::Level::Root)
        return S_OK;
    const HRESULT hr = PhoneConfig().Find(item.path.alias, item.phone);
    if (FAILED(hr))
        return hr == config_error::NotFound ? suite_error::NotFound : hr;
    item.link = LinkOf(item.phone);
    return S_OK;
}

HRESULT ObexFileSystem::InFolder(const Item& item, bool parent, const FolderWork& work)
{
    if (item.path.level != PhonePath::Level::Memory && item.path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    std::vector<std::wstring> names = item.path.names;
    if (parent && !names.empty())
        names.pop_back();
    return item.link->Run([&](Session& session, const std::vector<PhoneMemory>& memories) {
        const auto memory = std::find_if(memories.begin(), memories.end(),
                                         [&](const PhoneMemory& m) { return m.drive == item.path.drive; });
        if (memory == memories.end())
            return suite_error::NotFound;
        RETURN_IF_FAILED(EnterFolder(session, *memory, names));
        return work(session, *memory);
    });
}

void ObexFileSystem::BeginTransfer()
{
    if (InterlockedIncrement(&running_) == 1)
        InterlockedExchange(&cancel_, 0);
}

void ObexFileSystem::EndTransfer()
{
    if (InterlockedDecrement(&running_) == 0)
        InterlockedExchange(&cancel_, 0);
}

STDMETHODIMP ObexFileSystem::fopen(LONG mode, BSTR path, LONG, LONG* handle, ITransferListener* listener)
{
    if (!handle)
        return E_POINTER;
    *handle = 0;
    if (mode != ReadMode && mode != WriteMode)
        return E_INVALIDARG;
    auto file = std::make_shared<OpenFile>();
    file->mode = static_cast<Mode>(mode);
    file->listener = com_ptr<ITransferListener>(listener);
    RETURN_IF_FAILED(Resolve(path, file->item));
    if (file->item.path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    const std::wstring name = file->item.path.names.back();
    HRESULT hr = InFolder(file->item, true, [&](Session& session, const PhoneMemory&) {
        std::wstring listing;
        std::vector<ListingEntry> entries;
        RETURN_IF_FAILED(Obex(ReadListing(session, listing, entries)));
        const ListingEntry* entry = FindEntry(entries, name);
        if (mode == ReadMode) {
            if (!entry || entry->folder)
                return suite_error::NotFound;
            file->size = entry->size;
            file->modified = ListingDate(entry->modified);
            return S_OK;
        }
        if (entry && entry->folder)
            return suite_error::AlreadyExists;
        file->existed = entry != nullptr;
        file->oldSize = entry ? entry->size : 0;
        file->oldTime = entry ? entry->modified : L"";
        return S_OK;
    });
    if (FAILED(hr))
        return hr;
    if (mode == WriteMode) {
        auto spool = std::make_shared<SpoolHolder>();
        RETURN_IF_FAILED(MakeSpool(spool->file));
        file->spool = spool;
    }
    std::lock_guard<std::mutex> lock(filesMutex_);
    *handle = InterlockedIncrement(&g_nextHandle);
    files_.emplace(*handle, std::move(file));
    return S_OK;
}

std::shared_ptr<ObexFileSystem::OpenFile> ObexFileSystem::Find(LONG handle)
{
    std::lock_guard<std::mutex> lock(filesMutex_);
    const auto found = files_.find(handle);
    return found == files_.end() ? nullptr : found->second;
}

HRESULT ObexFileSystem::Download(OpenFile& file, VARIANT* data)
{
    const std::wstring name = file.item.path.names.back();
    ITransferListener* listener = file.listener.get();
    std::vector<uint8_t> bytes;
    BeginTransfer();
    HRESULT hr = InFolder(file.item, true, [&](Session& session, const PhoneMemory&) {
        RETURN_IF_FAILED(Obex(session.BeginGetFile(name)));
        const uint64_t stated = session.ObjectLength();
        const uint64_t total = stated != kUnknownLength ? stated : static_cast<uint64_t>(std::max(file.size, 0LL));
        if (total < 0x7FFFFFFF)
            bytes.reserve(static_cast<size_t>(total));
        if (listener)
            listener->FileStarted();
        std::vector<uint8_t> chunk;
        Progress progress(listener, total);
        for (bool done = false; !done;) {
            RETURN_IF_FAILED(Obex(session.NextChunk(chunk, done)));
            bytes.insert(bytes.end(), chunk.begin(), chunk.end());
            // The listener may cancel from inside its callback.
            progress.Report(bytes.size());
            if (!done && CancelRequested()) {
                session.Abort();
                return suite_error::Cancelled;
            }
        }
        return S_OK;
    });
    EndTransfer();
    RETURN_IF_FAILED(hr);
    if (file.listener)
        file.listener->FileFinished();
    unique_safearray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array)
        return E_OUTOFMEMORY;
    if (!bytes.empty()) {
        safearray_data access(array.get());
        RETURN_IF_FAILED(access.result());
        memcpy(access.get(), bytes.data(), bytes.size());
    }
    VariantClear(data);
    data->vt = VT_ARRAY | VT_UI1;
    data->parray = array.release();
    return S_OK;
}

STDMETHODIMP ObexFileSystem::fread(VARIANT* data, LONG handle)
{
    if (!data)
        return E_POINTER;
    const std::shared_ptr<OpenFile> file = Find(handle);
    if (!file || file->mode != ReadMode)
        return suite_error::BadHandle;
    return Download(*file, data);
}

STDMETHODIMP ObexFileSystem::fwrite(VARIANT data, LONG handle)
{
    const std::shared_ptr<OpenFile> file = Find(handle);
    if (!file || file->mode != WriteMode)
        return suite_error::BadHandle;
    HRESULT hr = S_OK;
    long long added = 0;
    // The bytes go straight from the array to the spool: a large file is held once.
    if (data.vt == (VT_ARRAY | VT_UI1) && data.parray && SafeArrayGetDim(data.parray) == 1) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(data.parray, 1, &lower);
        SafeArrayGetUBound(data.parray, 1, &upper);
        added = static_cast<long long>(upper) - lower + 1;
        safearray_data access(data.parray);
        hr = access.result();
        if (SUCCEEDED(hr) && added > 0)
            hr = WriteAll(file->spool->file.get(), access.get(), static_cast<size_t>(added));
    } else {
        std::vector<unsigned char> bytes;
        hr = ReadByteArray(data, bytes);
        added = static_cast<long long>(bytes.size());
        if (SUCCEEDED(hr) && !bytes.empty())
            hr = WriteAll(file->spool->file.get(), bytes.data(), bytes.size());
    }
    if (FAILED(hr)) {
        file->failed = true;
        return hr;
    }
    file->size += added;
    if (file->size > 0xFFFFFFFFLL) {
        file->failed = true;
        return suite_error::TooLargeForPhone;
    }
    return S_OK;
}

HRESULT ObexFileSystem::Upload(OpenFile& file)
{
    const std::wstring name = file.item.path.names.back();
    ITransferListener* listener = file.listener.get();
    HANDLE spool = file.spool->file.get();
    if (SetFilePointer(spool, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return HRESULT_FROM_WIN32(GetLastError());
    SYSTEMTIME utc{};
    if (file.timeSet) {
        SYSTEMTIME local{};
        if (!VariantTimeToSystemTime(file.newTime, &local) || !TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc))
            file.timeSet = false;
    }
    const uint32_t total = static_cast<uint32_t>(file.size);
    BeginTransfer();
    const HRESULT hr = InFolder(file.item, true, [&](Session& session, const PhoneMemory&) {
        HRESULT put = Obex(session.BeginPut(name, total, file.timeSet ? &utc : nullptr));
        if (SUCCEEDED(put) && listener)
            listener->FileStarted();
        // The spool is read in large blocks; the session cuts them into packets.
        std::vector<uint8_t> buffer(kSpoolBlock);
        Progress progress(listener, total);
        for (uint32_t sent = 0; SUCCEEDED(put) && sent < total;) {
            DWORD read = 0;
            const DWORD wanted = static_cast<DWORD>(std::min<size_t>(buffer.size(), total - sent));
            if (!ReadFile(spool, buffer.data(), wanted, &read, nullptr) || read != wanted) {
                put = HRESULT_FROM_WIN32(GetLastError());
                session.Abort();
                break;
            }
            put = Obex(session.WriteChunk(buffer.data(), read));
            sent += read;
            if (SUCCEEDED(put))
                progress.Report(sent);
            if (SUCCEEDED(put) && CancelRequested()) {
                session.Abort();
                put = suite_error::Cancelled;
            }
        }
        if (SUCCEEDED(put))
            put = Obex(session.FinishPut());
        std::wstring listing;
        std::vector<ListingEntry> entries;
        if (!session.Connected())
            return put;
        const HRESULT listed = Obex(ReadListing(session, listing, entries));
        const ListingEntry* entry = SUCCEEDED(listed) ? FindEntry(entries, name) : nullptr;
        if (FAILED(put)) {
            // What a broken write left of a new file is no file; an old one stays.
            if (!file.existed && entry)
                session.Delete(name);
            return put;
        }
        RETURN_IF_FAILED(listed);
        // Some phones answer success for a write they did not do: the listing tells.
        if (file.existed && entry && entry->size == file.oldSize && entry->modified == file.oldTime) {
            QTRACE(L"(): %ls was not replaced\n", name.c_str());
            return suite_error::AlreadyExists;
        }
        if (!entry || entry->folder || entry->size != static_cast<long long>(total)) {
            QTRACE(L"(): %ls has %lld bytes after a write of %u\n", name.c_str(), entry ? entry->size : -1LL, total);
            return file.existed ? suite_error::AlreadyExists : suite_error::TransferFailed;
        }
        return S_OK;
    });
    EndTransfer();
    RETURN_IF_FAILED(hr);
    if (listener)
        listener->FileFinished();
    return S_OK;
}

STDMETHODIMP ObexFileSystem::fclose(LONG handle)
{
    std::shared_ptr<OpenFile> file;
    {
        std::lock_guard<std::mutex> lock(filesMutex_);
        const auto found = files_.find(handle);
        if (found == files_.end())
            return suite_error::BadHandle;
        file = std::move(found->second);
        files_.erase(found);
    }
    if (file->mode == ReadMode)
        return S_OK;
    if (file->failed)
        return suite_error::Cancelled;
    return Upload(*file);
}

STDMETHODIMP ObexFileSystem::fgettime(LONG handle, DATE* modified)
{
    if (!modified)
        return E_POINTER;
    *modified = 0;
    const std::shared_ptr<OpenFile> file = Find(handle);
    if (!file)
        return suite_error::BadHandle;
    if (file->mode == WriteMode) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        if (file->timeSet)
            *modified = file->newTime;
        else
            SystemTimeToVariantTime(&now, modified);
        return S_OK;
    }
    *modified = file->modified;
    return S_OK;
}

STDMETHODIMP ObexFileSystem::fsettime(LONG handle, DATE modified)
{
    const std::shared_ptr<OpenFile> file = Find(handle);
    if (!file)
        return suite_error::BadHandle;
    SYSTEMTIME check;
    if (!VariantTimeToSystemTime(modified, &check))
        return E_INVALIDARG;
    // OBEX sets a time only with the body it belongs to.
    if (file->mode == ReadMode)
        return suite_error::NotSupported;
    file->timeSet = true;
    file->newTime = modified;
    return S_OK;
}

STDMETHODIMP ObexFileSystem::fgetsize(LONG handle, LONG* size)
{
    if (!size)
        return E_POINTER;
    *size = 0;
    const std::shared_ptr<OpenFile> file = Find(handle);
    if (!file)
        return suite_error::BadHandle;
    *size = static_cast<LONG>(file->size);
    return S_OK;
}

STDMETHODIMP ObexFileSystem::mkdir(BSTR path, ITransferListener*)
{
    Item item;
    RETURN_IF_FAILED(Resolve(path, item));
    if (item.path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    const std::wstring name = item.path.names.back();
    return (InFolder(item, true, [&](Session& session, const PhoneMemory&) {
        std::wstring listing;
        std::vector<ListingEntry> entries;
        RETURN_IF_FAILED(Obex(ReadListing(session, listing, entries)));
        if (FindEntry(entries, name))
            return suite_error::AlreadyExists;
        return Obex(session.SetPath(name, true));
    }));
}

STDMETHODIMP ObexFileSystem::rmdir(BSTR path, ITransferListener*)
{
    Item item;
    RETURN_IF_FAILED(Resolve(path, item));
    if (item.path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    const std::wstring name = item.path.names.back();
    return (InFolder(item, true, [&](Session& session, const PhoneMemory&) {
        std::wstring listing;
        std::vector<ListingEntry> entries;
        RETURN_IF_FAILED(Obex(ReadListing(session, listing, entries)));
        const ListingEntry* entry = FindEntry(entries, name);
        if (!entry || !entry->folder)
            return suite_error::NotFound;
        // Peers delete a folder with its contents or answer success without
        // deleting: only an empty one is asked for.
        RETURN_IF_FAILED(Entered(session.SetPath(name, false)));
        RETURN_IF_FAILED(Obex(ReadListing(session, listing, entries)));
        if (!entries.empty())
            return suite_error::FolderNotEmpty;
        RETURN_IF_FAILED(Obex(session.SetPathParent()));
        return Obex(session.Delete(name));
    }));
}

STDMETHODIMP ObexFileSystem::rename(BSTR, BSTR, ITransferListener*)
{
    // OBEX FTP has no rename; the server renames by copy and delete.
    return suite_error::NotSupported;
}

// Deletes the folder NAME of the current folder with everything below it; the
// current folder stays where it was.
static HRESULT DeleteFolderTree(Session& session, const std::wstring& name, int depth)
{
    if (depth > kDeepestFolder)
        return suite_error::BadPath;
    RETURN_IF_FAILED(Entered(session.SetPath(name, false)));
    std::wstring listing;
    std::vector<ListingEntry> entries;
    HRESULT hr = Obex(ReadListing(session, listing, entries));
    for (size_t i = 0; SUCCEEDED(hr) && i < entries.size(); ++i)
        hr = entries[i].folder ? DeleteFolderTree(session, entries[i].name, depth + 1)
                               : Obex(session.Delete(entries[i].name));
    RETURN_IF_FAILED(Obex(session.SetPathParent()));
    return FAILED(hr) ? hr : Obex(session.Delete(name));
}

STDMETHODIMP ObexFileSystem::deletefile(BSTR path, ITransferListener*)
{
    Item item;
    RETURN_IF_FAILED(Resolve(path, item));
    if (item.path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    const std::wstring name = item.path.names.back();
    return (InFolder(item, true, [&](Session& session, const PhoneMemory&) {
        std::wstring listing;
        std::vector<ListingEntry> entries;
        RETURN_IF_FAILED(Obex(ReadListing(session, listing, entries)));
        // Peers answer success for a missing file.
        const ListingEntry* entry = FindEntry(entries, name);
        if (!entry)
            return suite_error::NotFound;
        if (!entry->folder)
            return Obex(session.Delete(name));
        // The user deletes a folder with what it holds. Peers differ on a
        // folder that is not empty (deleted, refused, or success without
        // deleting): it is emptied first, and the listing tells whether it went.
        RETURN_IF_FAILED(DeleteFolderTree(session, name, 0));
        RETURN_IF_FAILED(Obex(ReadListing(session, listing, entries)));
        return FindEntry(entries, name) ? suite_error::FolderNotEmpty : S_OK;
    }));
}

STDMETHODIMP ObexFileSystem::readdir(BSTR path, BSTR* listing, ITransferListener*)
{
    if (!listing)
        return E_POINTER;
    *listing = nullptr;
    Item item;
    RETURN_IF_FAILED(Resolve(path, item));
    std::wstring text = phone::ListingBegin();
    if (item.path.level == PhonePath::Level::Root) {
        std::vector<PhoneEntry> phones;
        RETURN_IF_FAILED(PhoneConfig().List(phones));
        for (const PhoneEntry& phone : phones) {
            if (LinkOf(phone)->Answering())
                text += phone::PhoneFolderElement(phone.alias);
        }
        return ReturnBstr(text + phone::ListingEnd(), listing);
    }
    if (item.path.level == PhonePath::Level::Phone) {
        RETURN_IF_FAILED((item.link->Run([&](Session&, const std::vector<PhoneMemory>& memories) {
            for (const PhoneMemory& memory : memories)
                text += phone::MemoryFolderElement(memory.drive, memory.label, memory.memType);
            return S_OK;
        })));
        return ReturnBstr(text + phone::ListingEnd(), listing);
    }
    std::wstring folder;
    RETURN_IF_FAILED((InFolder(item, false, [&](Session& session, const PhoneMemory& memory) {
        std::vector<ListingEntry> entries;
        RETURN_IF_FAILED(Obex(ReadListing(session, folder, entries)));
        folder = WithMemoryType(folder, memory.memType);
        return S_OK;
    })));
    return ReturnBstr(folder, listing);
}

STDMETHODIMP ObexFileSystem::Cancel()
{
    QTRACE(L"Cancel\n");
    if (running_ > 0)
        InterlockedExchange(&cancel_, 1);
    return S_OK;
}

STDMETHODIMP ObexFileSystem::Refresh(LONG, BSTR)
{
    // Every request reads the phone afresh: nothing is cached to drop.
    return S_OK;
}

STDMETHODIMP ObexFileSystem::GetImei(BSTR alias, BSTR* imei)
{
    if (!imei)
        return E_POINTER;
    *imei = nullptr;
    PhoneEntry phone;
    const HRESULT hr = PhoneConfig().Find(alias ? alias : L"", phone);
    if (FAILED(hr))
        return hr == config_error::NotFound ? suite_error::NotFound : hr;
    return ReturnBstr(phone.imei, imei);
}

STDMETHODIMP ObexFileSystem::ReadObexCapability(BSTR rootPath, LONG maxSize, VARIANT* capability)
{
    if (!capability)
        return E_POINTER;
    Item item;
    RETURN_IF_FAILED(Resolve(rootPath, item));
    if (item.path.level != PhonePath::Level::Phone)
        return suite_error::BadPath;
    std::string raw;
    RETURN_IF_FAILED(item.link->Capability(raw));
    if (raw.empty())
        return suite_error::NotSupported;
    const std::wstring text = Wide(raw);
    if (maxSize > 0 && text.size() > static_cast<size_t>(maxSize))
        return suite_error::CapabilityTooLarge;
    BSTR value = nullptr;
    RETURN_IF_FAILED(ReturnBstr(text, &value));
    VariantClear(capability);
    capability->vt = VT_BSTR;
    capability->bstrVal = value;
    return S_OK;
}

} // namespace obex
