// The fixed texts of the server's contract with its peers: registry keys and
// values, file names in the mirror folders, window message names, phone paths
// and the names the product family's components know. Peers and stored files
// rely on every byte; each is written here once.
#pragma once

namespace contract {

// Registry (HKEY_CURRENT_USER): the data layer's settings with the mirror root,
// the older maker's key read when the first cannot be opened, and the trace switch.
constexpr wchar_t kDataLayerKey[] = L"Software\\Marlith\\DataLayer";
constexpr wchar_t kDataLayerFallbackKey[] = L"Software\\Zentrel\\DataLayer";
constexpr wchar_t kMirrorRootValue[] = L"Root";
constexpr wchar_t kTraceKey[] = L"Software\\Marlith\\Ostrelle";
constexpr wchar_t kTraceValue[] = L"Trace";

// Registry (HKEY_LOCAL_MACHINE): "Software\" + maker + "\" + product family, with
// the language and graphics settings.
constexpr wchar_t kSoftwareKey[] = L"Software";
constexpr wchar_t kInstallationSubkey[] = L"Marlith";
constexpr wchar_t kCurrentLanguageValue[] = L"Current Language";
constexpr wchar_t kLanguagePathValue[] = L"Language Path";
constexpr wchar_t kCurrentResourceValue[] = L"Current Resource";
constexpr wchar_t kResourcePathValue[] = L"Resource Path";

// The maker: its name without the sibling library, the library and its export.
constexpr wchar_t kDefaultVendorName[] = L"Zentrel";
constexpr wchar_t kVendorLibrary[] = L"Dravo.dll";
constexpr char kVendorExport[] = "GetDravo";

// Files in the mirror folders and the temporary folder.
constexpr wchar_t kImeiFileName[] = L"IMEI";
constexpr wchar_t kFolderShortcutName[] = L"folder.vfsfolder";
constexpr wchar_t kShortcutExtension[] = L".vfslnk";
constexpr wchar_t kFolderDescriptionFile[] = L"Folder.xml";
constexpr wchar_t kScratchFolderPrefix[] = L"WrapperTemp";

// Class identifiers in the synchronisation folders' descriptions, and the shell
// namespace of the file browser below My Computer.
constexpr wchar_t kContactsFolderClsid[] = L"{FBFE7864-D495-41f0-B7DC-4BB601CC295E}";
constexpr wchar_t kMessageFolderClsid[] = L"{C0C4375A-5B72-4efe-929D-3B848C3A1E91}";
constexpr wchar_t kMyComputerParsingPath[] = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::";
constexpr wchar_t kNamespaceClsid[] = L"{40950107-FEA6-4d53-A65F-B2DCBA57DD58}";

// Registered window messages posted to a client's window when its request ends.
constexpr wchar_t kFileOperationEndMessage[] = L"Ostrelle_FILEOPERATION_END_NOTIFY";
constexpr wchar_t kUpdateEndMessage[] = L"PIUPDATE_END_NOTIFY";

// Phone paths begin with this and the device alias.
constexpr wchar_t kPhonePathPrefix[] = L"ALIAS:";

// The product whose model list names the supported phones, and the model value
// telling which synchronisation folders a model has.
constexpr wchar_t kSupportedProduct[] = L"Ostrelle";
constexpr wchar_t kSyncModelKey[] = L"Ostrelle_Sync";

// The synchronisation folders' names, which are the data layer's data types too.
constexpr wchar_t kContacts[] = L"Contacts";
constexpr wchar_t kTextMessages[] = L"Text Messages";
constexpr wchar_t kMultimediaMessages[] = L"Multimedia Messages";

} // namespace contract
