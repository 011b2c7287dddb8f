// The store of the simulated phones: one folder per phone below the store
// folder, holding the phone's settings file and one folder per memory with the
// phone's folders and files under escaped names. All state lives on disk, so a
// restarted suite knows every phone.
#pragma once

#include "StoreNames.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

struct PhoneMemory {
    wchar_t drive = 0; // upper-case letter
    std::wstring label;
    std::wstring memType;
    unsigned long long quota = 0; // bytes
};

struct PhoneInfo {
    std::wstring alias;
    std::wstring imei;
    std::wstring model;
    bool connected = false;
    std::vector<PhoneMemory> memories;

    const PhoneMemory* FindMemory(wchar_t drive) const;
};

class PhoneStore
{
public:
    explicit PhoneStore(std::wstring root) : root_(std::move(root)) {}

    // The store folder kept in the registry, or the default beside the program.
    static std::wstring ConfiguredRoot();
    // Creates the folder when needed and records it for later processes.
    static HRESULT Configure(const std::wstring& root);

    const std::wstring& Root() const { return root_; }

    HRESULT ListPhones(std::vector<PhoneInfo>& phones) const;
    HRESULT FindPhone(const std::wstring& alias, PhoneInfo& phone) const;
    HRESULT FindPhoneByImei(const std::wstring& imei, PhoneInfo& phone) const;
    HRESULT AddPhone(const std::wstring& alias, const std::wstring& imei, const std::wstring& model);
    HRESULT AddMemory(const std::wstring& alias, const PhoneMemory& memory);
    HRESULT RemovePhone(const std::wstring& alias);
    // Gives the phone a new alias, its contents included; `phone` is the phone as renamed.
    HRESULT RenamePhone(const std::wstring& alias, const std::wstring& newAlias, PhoneInfo& phone);
    HRESULT SetConnected(const std::wstring& alias, bool connected, PhoneInfo& phone);

    // The PC path of a memory or of an item below one. The item itself need not
    // exist; the phone and the memory must, and the phone must be connected when asked.
    HRESULT ItemPath(const store_names::PhonePath& path, bool requireConnected, std::wstring& pcPath) const;
    // The folder listing of a connected phone's folder (or of all connected phones).
    HRESULT ReadFolder(const store_names::PhonePath& path, std::wstring& listing) const;
    HRESULT MemoryUsed(const PhoneInfo& phone, wchar_t drive, unsigned long long& used) const;

    // Filling phones whatever their connection and quota: folders are made as needed.
    HRESULT MakeFolder(const store_names::PhonePath& path);
    HRESULT PutFile(const store_names::PhonePath& path, const std::vector<unsigned char>& bytes, DATE modified);
    HRESULT GetFile(const store_names::PhonePath& path, std::vector<unsigned char>& bytes) const;

    // Products and models of the device information.
    HRESULT ModelList(const std::wstring& product, std::vector<std::wstring>& models) const;
    HRESULT SetModelList(const std::wstring& product, const std::wstring& models);
    HRESULT ModelValue(const std::wstring& model, const std::wstring& key, std::wstring& value) const;
    HRESULT SetModelValue(const std::wstring& model, const std::wstring& key, const std::wstring& value);

private:
    HRESULT EnsureRoot() const;
    std::wstring PhoneFolder(const std::wstring& alias) const;
    HRESULT LoadPhone(const std::wstring& folderName, PhoneInfo& phone) const;
    HRESULT SavePhone(const PhoneInfo& phone) const;

    std::wstring root_;
};

// File helpers of the store; times are DATE values in local time.
namespace store_files {
HRESULT ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes);
// Writes beside the target and moves over it, so a failed write leaves the old file.
HRESULT WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes);
HRESULT GetModifiedTime(const std::wstring& path, DATE& modified);
HRESULT SetModifiedTime(const std::wstring& path, DATE modified);
DATE Now();
// YYYYMMDDTHHMMSS in local time.
std::wstring ListingTime(const FILETIME& utc);
bool IsFolder(const std::wstring& path);
bool IsFile(const std::wstring& path);
} // namespace store_files
