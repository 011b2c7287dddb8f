// The phone file system: folder listings, file transfers with progress
// callbacks and cancel, folders, renames, IMEI and capability object, all on
// the phones of the store.
#pragma once

#include "ComObject.h"
#include "PhoneComponents.h"
#include "StoreNames.h"
#include "common/ComPtr.h"

#include <map>
#include <string>
#include <vector>

class VirtualFileSystem : public SuiteObject<VirtualFileSystem, IVirtualFileSystem>
{
public:
    VirtualFileSystem();
    ~VirtualFileSystem() override;

    HRESULT STDMETHODCALLTYPE fclose(LONG handle) override;
    HRESULT STDMETHODCALLTYPE fopen(LONG mode, BSTR path, LONG flags, LONG* handle,
                                    ITransferListener* listener) override;
    HRESULT STDMETHODCALLTYPE fread(VARIANT* data, LONG handle) override;
    HRESULT STDMETHODCALLTYPE fwrite(VARIANT data, LONG handle) override;
    HRESULT STDMETHODCALLTYPE mkdir(BSTR path, ITransferListener* listener) override;
    HRESULT STDMETHODCALLTYPE rmdir(BSTR path, ITransferListener* listener) override;
    HRESULT STDMETHODCALLTYPE rename(BSTR path, BSTR newName, ITransferListener* listener) override;
    HRESULT STDMETHODCALLTYPE deletefile(BSTR path, ITransferListener* listener) override;
    HRESULT STDMETHODCALLTYPE readdir(BSTR path, BSTR* listing, ITransferListener* listener) override;
    HRESULT STDMETHODCALLTYPE fgettime(LONG handle, DATE* modified) override;
    HRESULT STDMETHODCALLTYPE fsettime(LONG handle, DATE modified) override;
    HRESULT STDMETHODCALLTYPE fgetsize(LONG handle, LONG* size) override;
    HRESULT STDMETHODCALLTYPE Cancel() override;
    HRESULT STDMETHODCALLTYPE Refresh(LONG level, BSTR target) override;
    HRESULT STDMETHODCALLTYPE GetImei(BSTR alias, BSTR* imei) override;
    HRESULT STDMETHODCALLTYPE Reserved18() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved19() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved20() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved21() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved22() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved23() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved24() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved25() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved26() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadObexCapability(BSTR rootPath, LONG maxSize, VARIANT* capability) override;

    enum Mode : LONG { ReadMode = 1, WriteMode = 2 };

private:
    struct OpenFile {
        Mode mode = ReadMode;
        store_names::PhonePath phonePath;
        std::wstring pcPath;
        com_ptr<ITransferListener> listener;
        std::vector<unsigned char> pending; // bytes written, stored at fclose
        bool timeSet = false;
        DATE modified = 0;
        bool failed = false;    // a cancelled write stores nothing
        bool discarded = false; // nor does one whose fwrite failed
    };

    // Resolves a connected phone's item path.
    static HRESULT ResolveItem(BSTR path, store_names::PhonePath& phonePath, std::wstring& pcPath);
    // An injected fault for the operation first, then the item as ResolveItem finds it.
    static HRESULT TakeFaultAndResolve(const wchar_t* operation, BSTR path, store_names::PhonePath& phonePath,
                                       std::wstring& pcPath);
    OpenFile* FindOpenFile(LONG handle);
    // Reports `total` bytes to the listener in chunks; fails when cancelled.
    HRESULT RunTransfer(ITransferListener* listener, size_t total);

    std::map<LONG, OpenFile> files_;
    // A cancel reaches this instance's transfers that run when it arrives, not
    // later ones, nor those of other instances.
    int runningTransfers_ = 0;
    bool cancelRequested_ = false;
};
