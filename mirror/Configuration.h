// Settings from the registry, the maker's name, and the fixed names and paths of
// the mirror folders: folder descriptions, the namespace root, scratch folders
// and double-NUL path lists.
#pragma once

#include "common/ContractTexts.h"
#include "phone/DeviceInfoReader.h"

#include <windows.h>
#include <rpc.h>

#include <memory>
#include <string>
#include <vector>

namespace mirror {

constexpr size_t kPathLength = MAX_PATH;
constexpr size_t kVendorNameLength = MAX_PATH;

using contract::kDefaultVendorName;
using contract::kVendorExport;
using contract::kVendorLibrary;

using contract::kDataLayerFallbackKey;
using contract::kDataLayerKey;
using contract::kMirrorRootValue;

using contract::kContactsFolderClsid;
using contract::kFolderDescriptionFile;
using contract::kMessageFolderClsid;
using contract::kMyComputerParsingPath;
using contract::kNamespaceClsid;
using contract::kScratchFolderPrefix;

// Kinds of special folder for IsSpecialFolder.
constexpr DWORD kSpecialContacts = 0x01;
constexpr DWORD kSpecialMultimediaMessages = 0x08;
constexpr DWORD kSpecialTextMessages = 0x10;

// --- Process-wide values -------------------------------------------------

// The maker's name: what "GetDravo" of the sibling library reports, else
// "Zentrel". Read on first use.
std::wstring VendorName();
// Reads the vendor name from the sibling library now.
void ReadVendorName();
// Overrides the vendor name (the main object sets the default after a failure).
void SetVendorName(const wchar_t* name);

// Reads the mirror root once: ERROR_SUCCESS when it is set (or was set before),
// otherwise the registry error.
LSTATUS ReadMirrorRoot();
// The mirror root; empty until read.
const wchar_t* MirrorRoot();
bool IsMirrorRoot(const wchar_t* path);

// Forgets the vendor name, the mirror root and any executable path override.
void ResetConfigurationForTesting();

// --- Folder descriptions and special folders -----------------------------

// Nearest "Folder.xml" at or above the path, below the mirror root.
HRESULT FindFolderDescription(const wchar_t* path, std::wstring& descriptionPath);
// CLSID written in the nearest folder description.
HRESULT GetClassIdFromFolderXml(const wchar_t* path, GUID* clsid);
// GUID text with or without braces; the result of UuidFromStringW.
RPC_STATUS ParseGuidText(const wchar_t* text, GUID* guid);
bool IsSpecialFolder(const wchar_t* folderName, REFCLSID clsid, DWORD kinds);

// The shell parsing path of the file browser's namespace, cut to `length`.
void GetNamespaceRoot(wchar_t* buffer, size_t length);

// Gives every folder below and including `folder` the attributes, unless the
// folder already has one of them. Files are not touched.
void SetFolderAttributesRecursively(const wchar_t* folder, DWORD attributes);

// --- Scratch folders -----------------------------------------------------

// Removes every "WrapperTemp*" folder of the temporary folder with its content.
void RemoveScratchFolders();

// --- Double-NUL path lists of the shell's file operations ----------------

// Each path with its terminator, then one more NUL. Empty paths give
// E_INVALIDARG, paths of more than 259 characters E_FAIL.
HRESULT MakePathList(const std::vector<std::wstring>& paths, std::vector<wchar_t>& list);

// --- Device information -------------------------------------------------

// A reader of the maker's own source when the vendor name is not the default,
// else of the default component; connected. May be invalid, never null unless
// out of memory.
std::unique_ptr<CDeviceInfoReader> OpenDeviceInfoReader();
// The device's model's value of the key, cut to `length` characters.
bool GetModelValue(const wchar_t* device, const wchar_t* key, wchar_t* value, size_t length);
// The same as a decimal number (non-numeric text gives 0); -1 when there is none.
int GetModelNumber(const wchar_t* device, const wchar_t* key);

} // namespace mirror
