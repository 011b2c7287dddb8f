// The phone file system over OBEX FTP: listings, streamed transfers with
// progress callbacks and cancel, folders, IMEI and capability object of the
// configured phones. Calls arrive on the apartment's RPC threads, a Cancel
// while a transfer of the same or another call still runs.
#pragma once

#include "PhoneComponents.h"
#include "PhoneLink.h"
#include "common/ComPtr.h"
#include "common/Implements.h"
#include "common/ModuleLock.h"
#include "common/Resource.h"
#include "phone/PhonePath.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace obex {

// Bytes between two progress reports of a transfer.
constexpr uint64_t kProgressStep = 64 * 1024;

struct SpoolHolder;

class ObexFileSystem final : public Implements<ObexFileSystem, IVirtualFileSystem>
{
public:
    ~ObexFileSystem() override;

    STDMETHODIMP fclose(LONG handle) override;
    STDMETHODIMP fopen(LONG mode, BSTR path, LONG flags, LONG* handle, ITransferListener* listener) override;
    STDMETHODIMP fread(VARIANT* data, LONG handle) override;
    STDMETHODIMP fwrite(VARIANT data, LONG handle) override;
    STDMETHODIMP mkdir(BSTR path, ITransferListener* listener) override;
    STDMETHODIMP rmdir(BSTR path, ITransferListener* listener) override;
    STDMETHODIMP rename(BSTR path, BSTR newName, ITransferListener* listener) override;
    STDMETHODIMP deletefile(BSTR path, ITransferListener* listener) override;
    STDMETHODIMP readdir(BSTR path, BSTR* listing, ITransferListener* listener) override;
    STDMETHODIMP fgettime(LONG handle, DATE* modified) override;
    STDMETHODIMP fsettime(LONG handle, DATE modified) override;
    STDMETHODIMP fgetsize(LONG handle, LONG* size) override;
    STDMETHODIMP Cancel() override;
    STDMETHODIMP Refresh(LONG level, BSTR target) override;
    STDMETHODIMP GetImei(BSTR alias, BSTR* imei) override;
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved19() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved20() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved21() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved22() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved23() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved24() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved25() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved26() override { return E_NOTIMPL; }
    STDMETHODIMP ReadObexCapability(BSTR rootPath, LONG maxSize, VARIANT* capability) override;

    enum Mode : LONG { ReadMode = 1, WriteMode = 2 };

private:
    // A phone item: its phone, link, memory and names below the memory.
    struct Item {
        PhoneEntry phone;
        std::shared_ptr<PhoneLink> link;
        phone::PhonePath path;
    };
    struct OpenFile {
        Mode mode = ReadMode;
        Item item;
        com_ptr<ITransferListener> listener;
        long long size = 0;    // read: the phone's; write: the bytes written so far
        DATE modified = 0;     // read: the phone's time
        bool timeSet = false;  // write: fsettime came
        DATE newTime = 0;      // write
        bool existed = false;  // write: a file of that name was there before
        long long oldSize = 0; // write: its size and time
        std::wstring oldTime;
        std::shared_ptr<SpoolHolder> spool; // write: the bytes wait here for fclose
        bool failed = false;
    };

    static HRESULT Resolve(BSTR path, Item& item);
    // Runs work in the item's parent folder (or in the folder itself when asked).
    using FolderWork = std::function<HRESULT(Session& session, const PhoneMemory& memory)>;
    static HRESULT InFolder(const Item& item, bool parent, const FolderWork& work);
    std::shared_ptr<OpenFile> Find(LONG handle);
    HRESULT Download(OpenFile& file, VARIANT* data);
    HRESULT Upload(OpenFile& file);
    // A transfer of this instance runs between Begin and End; Cancel reaches it.
    void BeginTransfer();
    void EndTransfer();
    bool CancelRequested() const { return cancel_ != 0; }

    std::mutex filesMutex_;
    std::map<LONG, std::shared_ptr<OpenFile>> files_;
    volatile LONG running_ = 0;
    volatile LONG cancel_ = 0;
    ModuleLock lock_;
};

} // namespace obex
