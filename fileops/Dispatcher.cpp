#include "Dispatcher.h"

#include "CopyFromPhone.h"
#include "CopyToPhone.h"
#include "CopyWithinPhone.h"
#include "RenameAndCreate.h"
#include "ScratchFolder.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"
#include "mirror/Configuration.h"
#include "mirror/DeviceMapping.h"
#include "mirror/MirrorFolders.h"
#include "mirror/MirrorRefresh.h"
#include "shortcut/ShortcutFiles.h"

#include <cerrno>
#include <cwchar>
#include <memory>

namespace fileops {

namespace {

constexpr int kShellResultPartial = 0x20; // counts as done for the phone deletion
constexpr int kFolderRemovalAttempts = 5;
constexpr DWORD kFolderRemovalRetryMs = 20;

unique_bstr Bstr(const std::wstring& text)
{
    return unique_bstr(text.data(), static_cast<UINT>(text.size()));
}

// The phone's own mirror folder, the one holding "IMEI", named exactly.
bool IsPhoneTopFolder(const std::wstring& pcPath)
{
    std::wstring root;
    return mirror::FindPhoneRootFolder(pcPath.c_str(), root) && root == pcPath;
}

bool IsDelete(UINT function)
{
    return function == FO_DELETE || function == kOperationDeleteAll;
}

// A phone folder's mirror goes with its content; a moment later when the shell still holds it.
void RemoveMirrorFolder(const std::wstring& folder)
{
    for (int attempt = 0; attempt < kFolderRemovalAttempts && paths::IsDirectory(folder); ++attempt) {
        mirror::EmptyDirectory(folder.c_str(),
                               mirror::kEmptyRecursive | mirror::kEmptyFolderShortcuts | mirror::kEmptyAllFiles);
        if (_wrmdir(folder.c_str()) == 0)
            return;
        QTRACE(L"\nDoSHFileOperation(): Remove directory '%s' failed: 0x%X\n", folder.c_str(), errno);
        Sleep(kFolderRemovalRetryMs);
    }
}

} // namespace

HRESULT Dispatcher::DoSHFileOperation(FileOperationRequest& request)
{
    if (request.Function() == kOperationCopy)
        request.SetFunction(FO_COPY);
    std::vector<std::wstring> sources;
    std::vector<std::wstring> targets;
    RETURN_IF_FAILED(request.Sources(sources));
    RETURN_IF_FAILED(request.Targets(targets));
    if (!sources.empty() && IsPhoneTopFolder(sources.front()))
        return RenamePhone(request.Function(), sources.front(), targets.empty() ? std::wstring() : targets.front());
    if (sources.empty()) {
        QTRACE(L"(): lpFileOp->pFrom is empty!\n");
        return E_INVALIDARG;
    }
    if (targets.size() > 1) {
        QTRACE(L"(): Multiple to-files are not supported!\n");
        return E_INVALIDARG;
    }
    const bool fromPhone = IsPhoneName(sources.front());
    for (const std::wstring& source : sources) {
        if (IsPhoneName(source) != fromPhone) {
            QTRACE(L"(): All from-files must be from pc or from virtual file system!\n");
            return E_INVALIDARG;
        }
    }
    const bool toPhone = !targets.empty() && IsPhoneName(targets.front());
    const UINT function = request.Function();
    // A phone's mirror folder that is not mapped (its phone failed to connect, or
    // is connecting anew): a PC file put there would be no phone's file, and
    // emptied with the folder.
    if (!fromPhone && !toPhone && !targets.empty() && (function == FO_MOVE || function == FO_COPY) &&
        mirror::IsBelowMirrorRoot(targets.front().c_str())) {
        QTRACE(L"(): the phone of %s is not connected\n", targets.front().c_str());
        return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    }
    // A deletion of PC items has no use for its target: the platform deletes them.
    if (!fromPhone && (!toPhone || IsDelete(function)))
        return PassToPlatform(request);

    if (!fromPhone && (function == FO_MOVE || function == FO_COPY)) {
        QTRACE(L"(): From PC to VFS...\n");
        SetProgressTitle(listener_, context_.Language(), kTitleToPhone);
        listener_.SetAnimation(context_.Graphics(), ProgressAnimationId());
        std::wstring phoneRootFolder;
        const bool inPhone = mirror::FindPhoneRootFolder(targets.front().c_str(), phoneRootFolder);
        const HRESULT hr =
            CopyPCItemsToVFS(context_, phoneFs_, request, sources, listener_, paths::LastComponent(phoneRootFolder));
        if (SUCCEEDED(hr) && inPhone)
            NotifyChange(phoneRootFolder, request.Window());
        return hr;
    }

    switch (function) {
    case kOperationOpen:
        return fromPhone && !toPhone ? OpenFromPhone(request, sources, targets) : E_FAIL;
    case FO_MOVE:
    case FO_COPY:
        return toPhone ? CopyWithinPhone(request, targets.front()) : CopyToPC(request);
    case FO_RENAME:
        return fromPhone ? RenameVFSItems({context_, phoneFs_, listener_}, request, sources, targets) : E_NOTIMPL;
    case FO_DELETE:
    case kOperationDeleteAll:
        return DeleteFromPhone(request, sources);
    default:
        return S_OK;
    }
}

bool Dispatcher::IsPhoneName(const std::wstring& pcPath) const
{
    return context_.Mappings().FindMappingForPC(pcPath.c_str()).VFSFolder[0] != L'\0';
}

HRESULT Dispatcher::RenamePhone(UINT function, const std::wstring& source, const std::wstring& target) const
{
    com_ptr<IPhoneControl> control;
    HRESULT hr =
        CoCreateInstance(CLSID_PhoneControl, nullptr, CLSCTX_LOCAL_SERVER, IID_IPhoneControl, control.put_void());
    if (FAILED(hr)) {
        QTRACE(L"(): CoCreateInstance(CLSID_PhoneControl... failed (hr = 0x%x)\n", hr);
        return hr;
    }
    if (function != FO_RENAME)
        return E_FAIL;
    return control->RenamePhone(Bstr(paths::LastComponent(source)).get(), Bstr(paths::LastComponent(target)).get());
}

HRESULT Dispatcher::CopyToPC(FileOperationRequest& request)
{
    QTRACE(L"(): From VFS to PC...\n");
    std::vector<std::wstring> selected, targets;
    SelectFilesToCopy(request, selected, targets);
    HRESULT hr = S_OK;
    if (!selected.empty()) {
        SetProgressTitle(listener_, context_.Language(), kTitleFromPhone);
        listener_.SetAnimation(context_.Graphics(), ProgressAnimationId());
        listener_.Start(request.Window());
        hr = CopyFromPhone(context_, phoneFs_, listener_).CopyVFSToPC(request);
    }
    // The operation's own scratch folders are gone; these are older ones.
    RemoveLeftoverScratchFolders();
    return hr;
}

HRESULT Dispatcher::CopyWithinPhone(FileOperationRequest& request, const std::wstring& target)
{
    QTRACE(L"(): From VFS to VFS...n");
    SetProgressTitle(listener_, context_.Language(), kTitleFromPhone);
    listener_.SetAnimation(context_.Graphics(), ProgressAnimationId());
    listener_.Start(request.Window());
    const bool move = request.Function() == FO_MOVE;
    const HRESULT hr = CopyVFSToVFS(context_, phoneFs_, request, listener_);
    moveKeptSources_ = move && hr == E_NOTIMPL;
    std::wstring phoneRootFolder;
    if (SUCCEEDED(hr) && mirror::FindPhoneRootFolder(target.c_str(), phoneRootFolder))
        NotifyChange(phoneRootFolder, request.Window());
    RemoveLeftoverScratchFolders();
    return hr;
}

HRESULT Dispatcher::OpenFromPhone(FileOperationRequest& request, const std::vector<std::wstring>& sources,
                                  const std::vector<std::wstring>& targets)
{
    request.SetFunction(FO_COPY);
    const HRESULT hr = CopyToPC(request);
    request.SetFunction(kOperationOpen);
    RETURN_IF_FAILED(hr);
    const std::wstring target = targets.empty() ? std::wstring() : targets.front();
    if (!paths::IsDirectory(target)) {
        QTRACE(L"CComQuelvar::CopyVFSToPC(): Cannot open %s\n", target.c_str());
        return E_FAIL;
    }
    for (const std::wstring& source : sources) {
        const std::wstring copy = paths::Join(target, CopiedName(source));
        if (!paths::IsFile(copy))
            continue;
        SHELLEXECUTEINFOW execute{};
        execute.cbSize = sizeof(execute);
        execute.hwnd = request.Window();
        execute.lpFile = copy.c_str();
        execute.nShow = SW_SHOWNORMAL;
        ShellExecuteExW(&execute);
    }
    return hr;
}

HRESULT Dispatcher::PassToPlatform(FileOperationRequest& request) const
{
    QTRACE(L"(): No VFS involved - performing ::SHFileOperation...\n");
    if (request.Function() == kOperationDeleteAll)
        request.SetFunction(FO_DELETE);
    SHFILEOPSTRUCTW operation = request.ShellOperation();
    if (SHFileOperationW(&operation) != 0) {
        QTRACE(L"(): ::SHFileOperation failed!\n");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT Dispatcher::DeleteFromPhone(FileOperationRequest& request, const std::vector<std::wstring>& sources)
{
    QTRACE(L"(): FO_DELETE...\n");
    // Translated while the shortcut files that name the phone items still exist.
    std::vector<std::wstring> phonePaths;
    for (const std::wstring& source : sources) {
        std::wstring phonePath;
        RETURN_IF_FAILED(context_.Mappings().ConvertPCNameToVFSName(source.c_str(), phonePath));
        phonePaths.push_back(phonePath);
    }
    // Shown folder shortcuts let the platform delete the mirror folders like any other.
    for (const std::wstring& source : sources)
        shortcut::SetFolderShortcutAttributes(source, false);
    const std::wstring& first = sources.front();
    const bool firstIsFolder = paths::IsDirectory(first);
    const UINT function = request.Function();

    // The mirror items go first, past the recycle bin; the platform still asks the user.
    request.SetFunction(FO_DELETE);
    request.SetFlags(static_cast<WORD>((request.Flags() & ~FOF_ALLOWUNDO) | FOF_SILENT | FOF_NOERRORUI));
    SHFILEOPSTRUCTW operation = request.ShellOperation();
    const int shellResult = SHFileOperationW(&operation);
    HRESULT hr = S_OK;
    if (!operation.fAnyOperationsAborted &&
        (shellResult == 0 || shellResult == kShellResultPartial || function == kOperationDeleteAll)) {
        hr = DeletePhoneItems(request.Window(), sources, phonePaths, firstIsFolder);
    } else if (shellResult == 0) {
        hr = E_ABORT;
    } else {
        QTRACE(L"\nDoSHFileOperation(): Remove directory failed: 0x%X\n", shellResult);
        hr = E_FAIL;
    }

    for (const std::wstring& source : sources)
        shortcut::SetFolderShortcutAttributes(source, true);
    std::wstring phoneRootFolder;
    if (mirror::FindPhoneRootFolder(first.c_str(), phoneRootFolder))
        NotifyChange(phoneRootFolder, request.Window());
    return hr;
}

HRESULT Dispatcher::DeletePhoneItems(HWND window, const std::vector<std::wstring>& sources,
                                     const std::vector<std::wstring>& phonePaths, bool firstIsFolder)
{
    SetProgressTitle(listener_, context_.Language(), kTitleDelete);
    listener_.SetAnimation(context_.Graphics(), ProgressAnimationId());
    listener_.Start(window);
    const ULONG count = static_cast<ULONG>(phonePaths.size());
    for (ULONG i = 0; i < count; ++i) {
        // The bar counts items.
        listener_.TransferStatus(i, count);
        QTRACE(L"(): Deleting %s\n", phonePaths[i].c_str());
        listener_.SetItemText(paths::LastComponent(phonePaths[i]));
        const HRESULT hr = phoneFs_.deletefile(phonePaths[i], nullptr);
        if (FAILED(hr) || listener_.HasUserCancelled()) {
            QTRACE(L"(): VFSDeleteFile failed! (hr = 0x%X)\n", hr);
            // The mirror shows again what the phone still holds.
            const std::wstring folder = paths::Parent(sources.front());
            ContinueOnFailure(
                mirror::RefreshFolder(phoneFs_, context_.Mappings(), folder.c_str(), VARIANT_TRUE, nullptr),
                L"the refresh after a failed delete");
            return hr;
        }
        if (firstIsFolder)
            RemoveMirrorFolder(sources.front());
    }
    return S_OK;
}

void Dispatcher::NotifyChange(const std::wstring& phoneRootFolder, HWND window)
{
    const std::wstring alias = paths::LastComponent(phoneRootFolder);
    // Selecting the phone only tells the device information where the user is.
    std::wstring imei;
    if (SUCCEEDED(phoneFs_.GetImei(alias, imei))) {
        std::unique_ptr<CDeviceInfoReader> reader = mirror::OpenDeviceInfoReader();
        if (reader)
            reader->SelectDevice(imei.c_str());
    }
    if (window && endMessage_)
        PostMessageW(window, endMessage_, 0, 0);
}

} // namespace fileops
