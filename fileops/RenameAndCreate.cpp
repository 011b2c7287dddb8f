#include "RenameAndCreate.h"

#include "PhoneFile.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "mirror/Listing.h"
#include "mirror/MirrorRefresh.h"
#include "shortcut/PcItemNames.h"
#include "shortcut/VFSShortcut.h"

namespace fileops {

namespace {

constexpr HRESULT kNameTaken = static_cast<HRESULT>(0x800700B7); // ERROR_ALREADY_EXISTS

// A name the PC takes as it stands: no invalid character, reserved device
// name, leading dot or trailing dots.
bool IsValidPcPath(const std::wstring& path)
{
    std::wstring made;
    return SUCCEEDED(shortcut::MakePcItemPath(paths::Parent(path), paths::LastComponent(path), L"", false, made)) &&
           _wcsicmp(made.c_str(), path.c_str()) == 0;
}

HRESULT PhonePathOf(const services::RequestContext& context, const std::wstring& pcPath, std::wstring& phonePath)
{
    RETURN_IF_FAILED(context.Mappings().ConvertPCNameToVFSName(pcPath.c_str(), phonePath));
    return phonePath.empty() ? E_INVALIDARG : S_OK;
}

// An item of the new name on the phone, also one that differs only in case or
// one the mirror does not show yet: writing there would destroy it.
bool PhoneFileExists(phone::PhoneFileSystem& phoneFs, const std::wstring& phonePath)
{
    long handle = 0;
    if (FAILED(phoneFs.fopen(phone::OpenRead, phonePath, nullptr, handle)))
        return false;
    ContinueOnFailure(phoneFs.fclose(handle), L"closing a file only looked for");
    return true;
}

// An empty phone file reads as no array; any other content is refused.
HRESULT ToByteArray(VARIANT& data)
{
    if (data.vt == (VT_ARRAY | VT_UI1) && data.parray)
        return S_OK;
    if (data.vt != VT_EMPTY && data.vt != (VT_ARRAY | VT_UI1))
        return E_UNEXPECTED;
    data.parray = SafeArrayCreateVector(VT_UI1, 0, 0);
    if (!data.parray)
        return E_OUTOFMEMORY;
    data.vt = VT_ARRAY | VT_UI1;
    return S_OK;
}

// The shell's rename meets the item that already holds the name.
bool MakePlaceholder(const std::wstring& path)
{
    return static_cast<bool>(
        unique_file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

void RemovePcFile(const std::wstring& path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

HRESULT CopyAndDeleteOld(const RenameOwner& owner, const std::wstring& oldPhonePath, const std::wstring& newPcPath)
{
    const PhoneSide side{owner.phoneFs, &owner.listener, owner.context.Graphics()};
    unique_variant data;
    DATE modified = 0;
    // Unread content would be written as an empty file.
    RETURN_IF_FAILED(ReadPhoneFile(side, oldPhonePath, data.put(), &modified));
    RETURN_IF_FAILED(ToByteArray(*data.get()));
    std::wstring newPhonePath;
    RETURN_IF_FAILED(PhonePathOf(owner.context, newPcPath, newPhonePath));
    if (PhoneFileExists(owner.phoneFs, newPhonePath)) {
        QTRACE(L"(): %s exists already\n", newPhonePath.c_str());
        return kNameTaken;
    }
    const HRESULT written = WritePhoneFile(side, newPhonePath, *data.get(), modified);
    if (FAILED(written)) {
        // Whatever arrived of the new file goes; the old one stays whole.
        ContinueOnFailure(owner.phoneFs.deletefile(newPhonePath, nullptr), L"removing a part of a file");
        return written;
    }
    return owner.phoneFs.deletefile(oldPhonePath, nullptr);
}

} // namespace

HRESULT RenameVFSItems(const RenameOwner& owner, FileOperationRequest& request,
                       const std::vector<std::wstring>& sources, const std::vector<std::wstring>& targets)
{
    for (const std::wstring& target : targets) {
        if (!IsValidPcPath(target)) {
            QTRACE(L"(): %s is no valid PC name\n", target.c_str());
            return S_OK;
        }
    }
    // Before anything changes: a mirror item renamed without its phone item would mislead.
    if (sources.empty() || sources.size() != targets.size()) {
        QTRACE(L"(): FAILED: From- and to -lists must be same size!\n");
        return E_INVALIDARG;
    }
    // Each source's own phone item, read while its mirror item has its old name.
    std::vector<std::wstring> oldPhonePaths(sources.size());
    std::vector<bool> isFolder(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        RETURN_IF_FAILED(PhonePathOf(owner.context, sources[i], oldPhonePaths[i]));
        isFolder[i] = paths::IsDirectory(sources[i]);
    }
    std::vector<std::wstring> placeholders;
    for (const std::wstring& target : targets)
        if (paths::IsFile(target + shortcut::kShortcutExtension) && MakePlaceholder(target))
            placeholders.push_back(target);

    HRESULT hr = S_OK;
    SHFILEOPSTRUCTW operation = request.ShellOperation();
    if (SHFileOperationW(&operation) != 0) {
        hr = E_ABORT;
    } else {
        SetProgressTitle(owner.listener, owner.context.Language(), kTitleRename);
        owner.listener.SetAnimation(owner.context.Graphics(), ProgressAnimationId());
        owner.listener.Start(request.Window());
    }
    for (size_t i = 0; i < targets.size() && hr == S_OK; ++i) {
        if (isFolder[i]) {
            hr = RenameVFSFolder(owner, oldPhonePaths[i], targets[i]);
            if (FAILED(hr)) {
                QTRACE(L"(): RenameVFSFolder %s-->%s failed! (hr = 0x%X)\n", oldPhonePaths[i].c_str(),
                       targets[i].c_str(), hr);
                // Back under its old name the folder keeps the shortcuts of its content.
                if (!paths::Exists(sources[i]))
                    MoveFileW(targets[i].c_str(), sources[i].c_str());
            }
        } else {
            hr = RenameVFSFile(owner, oldPhonePaths[i], targets[i]);
            if (FAILED(hr))
                QTRACE(L"(): RenameVFSFile %s-->%s failed! (hr = 0x%X)\n", oldPhonePaths[i].c_str(), targets[i].c_str(),
                       hr);
        }
    }
    for (const std::wstring& placeholder : placeholders)
        RemovePcFile(placeholder);
    // The mirror shows what the phone holds now, whatever became of the rename.
    const std::wstring folder = paths::Parent(sources.front());
    ContinueOnFailure(
        mirror::RefreshFolder(owner.phoneFs, owner.context.Mappings(), folder.c_str(), VARIANT_TRUE, nullptr),
        L"the refresh after a rename");
    return hr;
}

HRESULT RenameVFSFile(const RenameOwner& owner, const std::wstring& oldPhonePath, const std::wstring& newPcPath)
{
    const HRESULT hr = CopyAndDeleteOld(owner, oldPhonePath, newPcPath);
    // The shell's renamed mirror item; the refresh writes the shortcut the phone calls for.
    RemovePcFile(newPcPath);
    return hr;
}

HRESULT RenameVFSFolder(const RenameOwner& owner, const std::wstring& oldPhonePath, const std::wstring& newPcPath)
{
    std::wstring listing;
    RETURN_IF_FAILED(owner.phoneFs.readdir(oldPhonePath, &owner.listener, listing));
    std::vector<phone::VFSItem> files;
    std::vector<phone::VFSItem> folders;
    RETURN_IF_FAILED(mirror::GetFilesAndFolders(unique_bstr(listing.data(), static_cast<UINT>(listing.size())).get(),
                                                files, folders, newPcPath.c_str()));
    if (!files.empty() || !folders.empty()) {
        QTRACE(L"(): NOT IMPLEMENTED! Folder is not empty!\n");
        return E_NOTIMPL;
    }
    // The new phone path is read from the folder shortcut of the renamed mirror folder.
    const std::wstring folderShortcut = paths::Join(newPcPath, shortcut::kFolderShortcutName);
    shortcut::VFSShortcut description;
    RETURN_IF_FAILED(description.Load(folderShortcut));
    RETURN_IF_FAILED(description.put_Name(paths::LastComponent(newPcPath).c_str()));
    RETURN_IF_FAILED(description.Save(folderShortcut));
    std::wstring newPhonePath;
    RETURN_IF_FAILED(PhonePathOf(owner.context, newPcPath, newPhonePath));
    HRESULT hr = owner.phoneFs.mkdir(newPhonePath, &owner.listener);
    if (FAILED(hr)) {
        QTRACE(L"(): VFSmkdir(%s) failed! (hr = 0x%X)\n", newPhonePath.c_str(), hr);
        return hr;
    }
    hr = owner.phoneFs.rmdir(oldPhonePath, &owner.listener);
    if (FAILED(hr))
        QTRACE(L"(): VFSrmdir(%s) failed! (hr = 0x%X)\n", oldPhonePath.c_str(), hr);
    return hr;
}

HRESULT CreateVFSFolder(const services::RequestContext& context, phone::PhoneFileSystem* phoneFs,
                        const std::wstring& pcFolder, COperationListener* listener)
{
    if (!phoneFs) {
        QTRACE(L"(): Error! pVFS = NULL\n");
        return E_FAIL;
    }
    if (!context.Mappings().FindMappingForPC(pcFolder.c_str()).VFSFolder[0]) {
        QTRACE(L"(): %s is not phone folder.\n", pcFolder.c_str());
        return S_OK;
    }
    std::wstring phonePath;
    RETURN_IF_FAILED(PhonePathOf(context, pcFolder, phonePath));
    QTRACE(L"(): Creating VFS folder %s\n", phonePath.c_str());
    const HRESULT hr = phoneFs->mkdir(phonePath, listener);
    if (SUCCEEDED(hr))
        QTRACE(L"(): VFS::mkdir succeeded! (folder = %s)\n", phonePath.c_str());
    else
        QTRACE(L"(): VFS::mkdir failed! (folder = %s)\n", phonePath.c_str());
    std::wstring parent = pcFolder;
    paths::TrimTrailingBackslashes(parent);
    parent = paths::Parent(parent);
    const HRESULT refreshed =
        mirror::RefreshFolder(*phoneFs, context.Mappings(), parent.c_str(), VARIANT_TRUE, listener);
    return FAILED(refreshed) ? refreshed : hr;
}

HRESULT CreateFolder(const services::RequestContext& context, const std::wstring& pcFolder)
{
    // Refused wherever it lies: a path cut to fit would name another folder.
    if (pcFolder.size() >= MAX_PATH)
        return kPathTooLong;
    phone::PhoneFileSystem phoneFs;
    RETURN_IF_FAILED(context.FreshPhone(phoneFs));
    return CreateVFSFolder(context, &phoneFs, pcFolder, nullptr);
}

} // namespace fileops
