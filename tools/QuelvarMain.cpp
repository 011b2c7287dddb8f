// quelvar.exe: drives the server's main object out of process, the way the
// other programs of the product family do, one command or a "+" chain of them.
#include "ClientCommands.h"
#include "ConsoleOutput.h"
#include "MappedPhones.h"
#include "MirrorTree.h"
#include "PcFiles.h"
#include "QuestionAnswerer.h"
#include "VariantSummary.h"
#include "ZentrelQuelvar.h"
#include "common/ComPtr.h"
#include "common/ContractTexts.h"
#include "common/Resource.h"
#include "fileops/FileOperationRequest.h"
#include "localisation/LanguageResources.h"
#include "mirror/Configuration.h"

#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// Deeper than any path of MAX_PATH characters can reach.
constexpr unsigned kMaxRefreshDepth = 130;
// Copies and moves of the client: no shell progress of its own, no error UI; the
// shell asks before it replaces a file.
constexpr WORD kCopyFlags = FOF_SILENT | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
constexpr DWORD kPollMs = 100;
constexpr DWORD kDialogAppearsMs = 15000;
constexpr DWORD kMoveEndsMs = 30 * 60 * 1000;
// Longest wait for the worker's box after its dialog has gone.
constexpr DWORD kLastBoxMs = 20000;

// Set by Ctrl+C or Ctrl+Break: the run stops after the current call, and still
// runs a "terminate" it was given, which lets the server end.
unique_handle g_interrupt;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    SetEvent(g_interrupt.get());
    return TRUE;
}

bool Interrupted()
{
    return WaitForSingleObject(g_interrupt.get(), 0) == WAIT_OBJECT_0;
}

struct DialogSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialogOver(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<DialogSearch*>(context);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (GetWindow(window, GW_OWNER) != search->owner || !IsWindowVisible(window) || wcscmp(className, L"#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// A dialog of any process shown over the window.
HWND DialogOver(HWND owner)
{
    DialogSearch search{owner, nullptr};
    EnumWindows(MatchDialogOver, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// True when none of the paths names a file or folder any more.
bool NoneLeft(const std::vector<std::wstring>& paths)
{
    return std::none_of(paths.begin(), paths.end(), [](const std::wstring& path) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    });
}

unique_bstr MakeBstr(const std::wstring& text)
{
    return unique_bstr(text.data(), static_cast<UINT>(text.size()));
}

class Session
{
public:
    explicit Session(bool shared) : shared_(shared) {}

    // For a run that stops early: the object it holds stops listening, as the run
    // would have ended. Released alone it would listen on and keep the server.
    void TerminateHeldObject()
    {
        if (quelvar_ && SUCCEEDED(quelvar_->Terminate()))
            client::Print(L"terminated: the run stopped early\n");
    }

    HRESULT Run(const client::Command& command)
    {
        if (client::NeedsServer(command.kind)) {
            HRESULT hr = Connect();
            if (FAILED(hr))
                return hr;
        }
        switch (command.kind) {
        case client::CommandKind::Imei:
            return Imei(command.argument);
        case client::CommandKind::Refresh:
            return RefreshFolder(command.argument, command.withFiles, command.recursive ? kMaxRefreshDepth : 0);
        case client::CommandKind::ItemRefresh:
            return ItemRefresh(command.argument);
        case client::CommandKind::Tree:
            return Tree(command.argument);
        case client::CommandKind::PhoneRefresh:
            return PhoneRefresh(command.argument);
        case client::CommandKind::Capability:
            return Capability(command.argument);
        case client::CommandKind::Phones:
            return Phones();
        case client::CommandKind::ProductName:
            return ProductName();
        case client::CommandKind::Release:
            return Release();
        case client::CommandKind::Terminate:
            return Terminate();
        case client::CommandKind::Wait:
            return Wait(command.seconds, command.argument);
        case client::CommandKind::Delete:
            return FileOperation(FO_DELETE, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI, command);
        case client::CommandKind::FileOperation:
            return FileOperation(command.operation, command.flags, command);
        case client::CommandKind::Download:
            return DownloadSeries(std::wstring(), {command.argument}, command.paths[0]);
        case client::CommandKind::DownloadSeries:
            return DownloadSeries(command.argument, command.paths, std::wstring());
        case client::CommandKind::Upload:
            return Upload(command.argument, command.paths[0]);
        case client::CommandKind::MakeFolder:
            return MakeFolder(command.argument);
        case client::CommandKind::Rename:
            return Rename(command.argument, command.paths[0]);
        case client::CommandKind::Copy:
            return Copy(command);
        case client::CommandKind::Move:
            return Move(command);
        case client::CommandKind::Convert:
            return Convert(command.argument, command.targetFormat, command.sourceFormat);
        case client::CommandKind::Help:
            return Help(command.argument, command.helpCommand, command.helpData);
        case client::CommandKind::UpdateFolder:
            return UpdateFolder(command.argument, command.seconds);
        }
        return E_UNEXPECTED;
    }

private:
    // One main object serves the run until "release"; it is made on first need,
    // and a failure to make it is reported once and kept for the later commands.
    HRESULT Connect()
    {
        if (quelvar_ || FAILED(connectResult_))
            return connectResult_;
        connectResult_ = CoCreateInstance(shared_ ? CLSID_QuelvarSingleton : CLSID_Quelvar, nullptr,
                                          CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar_.put_void());
        if (FAILED(connectResult_))
            client::PrintError(L"quelvar: cannot create the server's main object: " +
                               client::ErrorText(connectResult_) + L"\n");
        return connectResult_;
    }

    HRESULT Imei(const std::wstring& alias)
    {
        unique_bstr imei;
        HRESULT hr = quelvar_->GetImei(MakeBstr(alias).get(), imei.put());
        if (SUCCEEDED(hr))
            client::Print(std::wstring(imei.c_str()) + L"\n");
        return hr;
    }

    // The server refreshes one level per call; below it the folders it has just
    // made are taken from the disk, depth first.
    HRESULT RefreshFolder(const std::wstring& folder, bool withFiles, unsigned levelsBelow)
    {
        HRESULT hr = quelvar_->RefreshFolder(MakeBstr(folder).get(), withFiles ? VARIANT_TRUE : VARIANT_FALSE);
        if (FAILED(hr))
            return hr;
        client::Print(L"refreshed " + folder + (withFiles ? L" (folders and files)\n" : L" (folders)\n"));
        if (levelsBelow == 0)
            return hr;
        std::wstring base = folder;
        while (!base.empty() && base.back() == L'\\')
            base.pop_back();
        std::vector<std::wstring> subfolders;
        HRESULT listed = client::ListSubfolders(base, subfolders);
        if (FAILED(listed))
            return listed;
        for (const std::wstring& name : subfolders) {
            if (Interrupted())
                return E_ABORT;
            // Synchronisation folders (with their own "Folder.xml") hold no phone items.
            if (GetFileAttributesW((base + L"\\" + name + L"\\Folder.xml").c_str()) != INVALID_FILE_ATTRIBUTES)
                continue;
            HRESULT below = RefreshFolder(base + L"\\" + name, withFiles, levelsBelow - 1);
            if (FAILED(below))
                return below;
        }
        return hr;
    }

    HRESULT ItemRefresh(const std::wstring& path)
    {
        HRESULT hr = quelvar_->Refresh(ITEM, MakeBstr(path).get());
        if (SUCCEEDED(hr))
            client::Print(L"refresh requested for item " + path + L"\n");
        return hr;
    }

    HRESULT Tree(const std::wstring& folder)
    {
        std::wstring text;
        HRESULT hr = client::FormatMirrorTree(folder, text);
        client::Print(text);
        return hr;
    }

    HRESULT PhoneRefresh(const std::wstring& alias)
    {
        HRESULT hr = quelvar_->Refresh(ALL, MakeBstr(alias).get());
        if (SUCCEEDED(hr))
            client::Print(alias.empty() ? std::wstring(L"refresh requested for all phones\n")
                                        : L"refresh requested for phone " + alias + L"\n");
        return hr;
    }

    // Outside every mirror folder the server answers S_OK and leaves VT_EMPTY.
    HRESULT Capability(const std::wstring& folder)
    {
        unique_variant capability;
        HRESULT hr = quelvar_->GetCapabilityObject(MakeBstr(folder).get(), capability.put());
        if (SUCCEEDED(hr))
            client::Print(L"capability of " + folder + L": " + client::SummariseVariant(*capability.get()) + L"\n");
        return hr;
    }

    // No interface method lists the phones: the disk shows them to every client.
    static HRESULT Phones()
    {
        std::wstring root;
        HRESULT hr = client::ReadMirrorRoot(root);
        if (FAILED(hr)) {
            client::PrintError(std::wstring(L"quelvar: no mirror root: HKEY_CURRENT_USER\\") + client::kDataLayerKey +
                               L" value " + client::kMirrorRootValue + L"\n");
            return hr;
        }
        std::vector<client::MappedPhone> phones;
        hr = client::ListMappedPhones(root, phones);
        for (const client::MappedPhone& phone : phones)
            client::Print(phone.alias + L"  " + phone.folder + L"\n");
        return hr;
    }

    HRESULT ProductName()
    {
        std::wstring languageFile =
            localisation::LocateLanguageFile(mirror::VendorName().c_str(), localisation::kResourceBaseName);
        if (!languageFile.empty())
            localisation::LoadDisplayStrings(languageFile.c_str());
        client::Print(std::wstring(localisation::ProductDisplayName()) + L"\n");
        return S_OK;
    }

    // Only this client's reference goes: the main object still listens for phones
    // (and keeps the server running), or stays shared for the next client.
    HRESULT Release()
    {
        if (!quelvar_) {
            client::Print(L"released: no main object was held\n");
            return S_OK;
        }
        quelvar_.reset();
        connectResult_ = S_OK;
        client::Print(shared_ ? L"released: the shared main object stays in the server\n"
                              : L"released: the main object still listens for phones, and the server runs on\n");
        return S_OK;
    }

    HRESULT Terminate()
    {
        HRESULT hr = quelvar_->Terminate();
        if (SUCCEEDED(hr))
            client::Print(shared_ ? L"terminated: every mapped phone's mirror folder is hidden and emptied; the "
                                    L"server ends\n"
                                  : L"terminated: every mapped phone's mirror folder is hidden and emptied\n");
        return hr;
    }

    // Moves, copies and code 13 run on in the server, which shows their outcome.
    // With a window of ours the server's dialog is shown over it: the operation
    // has ended when that dialog has come and gone.
    HRESULT FileOperation(UINT code, WORD flags, const client::Command& command)
    {
        unique_hwnd window;
        if (command.ownWindow) {
            window.reset(
                CreateWindowExW(0, L"STATIC", L"quelvar", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
            if (!window)
                return HRESULT_FROM_WIN32(GetLastError());
        }
        unique_variant request;
        HRESULT hr = fileops::FileOperationRequest::Encode(window.get(), code, flags, command.sources, command.targets,
                                                           command.title, request.put());
        if (SUCCEEDED(hr))
            hr = quelvar_->SHFileOperation(*request.get());
        if (FAILED(hr))
            return hr;
        const bool onWorker = code == FO_MOVE || code == FO_COPY || code == fileops::kOperationDeleteAll;
        if (!onWorker || !window) {
            client::Print(L"file operation " + std::to_wstring(code) +
                          (onWorker ? L" started in the server\n"
                                    : L" done: " + std::to_wstring(command.sources.size()) + L" source(s)\n"));
            return hr;
        }
        const auto progressShown = [&] { return DialogOver(window.get()) != nullptr; };
        if (!PumpUntil(progressShown, kDialogAppearsMs) && !Interrupted()) {
            client::Print(L"file operation " + std::to_wstring(code) +
                          L" started in the server; no progress dialog came\n");
            return hr;
        }
        if (!PumpUntil([&] { return !progressShown(); }, kMoveEndsMs))
            return Interrupted() ? E_ABORT : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        client::Print(L"file operation " + std::to_wstring(code) + L" ended: its progress dialog has come and gone\n");
        return hr;
    }

    // Runs in the server during the call. The shell still asks before it replaces a file.
    HRESULT Copy(const client::Command& command)
    {
        client::QuestionAnswerer answerer(command.answer);
        unique_variant request;
        HRESULT hr = fileops::FileOperationRequest::Encode(nullptr, fileops::kOperationCopy, kCopyFlags,
                                                           command.sources, command.targets, L"", request.put());
        if (SUCCEEDED(hr)) {
            client::WaitingDots dots(L"copying to " + command.targets.front());
            hr = quelvar_->SHFileOperation(*request.get());
        }
        if (SUCCEEDED(hr))
            client::Print(L"copy of " + std::to_wstring(command.sources.size()) + L" source(s) to " +
                          command.targets.front() + L" ended\n");
        return hr;
    }

    // A move runs on the server's worker, which shows its progress dialog over
    // this run's own window: the move has ended when that dialog has come and
    // gone. Another operation's dialog is no sign of this one.
    HRESULT Move(const client::Command& command)
    {
        client::QuestionAnswerer answerer(command.answer);
        unique_hwnd window(
            CreateWindowExW(0, L"STATIC", L"quelvar", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
        if (!window)
            return HRESULT_FROM_WIN32(GetLastError());
        unique_variant request;
        HRESULT hr = fileops::FileOperationRequest::Encode(window.get(), FO_MOVE, kCopyFlags, command.sources,
                                                           command.targets, L"", request.put());
        if (SUCCEEDED(hr))
            hr = quelvar_->SHFileOperation(*request.get());
        if (FAILED(hr))
            return hr;
        client::WaitingDots dots(L"moving to " + command.targets.front());
        const auto progressShown = [&] { return DialogOver(window.get()) != nullptr; };
        if (!PumpUntil(progressShown, kDialogAppearsMs) && !Interrupted()) {
            client::Print(L"move started in the server; no progress dialog came\n");
            return hr;
        }
        if (!PumpUntil([&] { return !progressShown(); }, kMoveEndsMs))
            return Interrupted() ? E_ABORT : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        // The worker tells what went wrong (or that the phone kept the sources) in a box over
        // our window after its dialog has gone, and that may take a while on a slow machine:
        // the move has ended with that box, with the end message of a phone whose content
        // changed, or when no source is left. A box left open would stay for the next run.
        if (command.answer) {
            const UINT endMessage = RegisterWindowMessageW(contract::kFileOperationEndMessage);
            bool boxSeen = false, ended = false;
            PumpUntil(
                [&] {
                    boxSeen = boxSeen || progressShown();
                    return ended || (boxSeen && !progressShown()) || (!boxSeen && NoneLeft(command.sources));
                },
                kLastBoxMs,
                [&](const MSG& message) {
                    ended = ended || (message.message == endMessage && message.hwnd == window.get());
                });
        }
        client::Print(L"move of " + std::to_wstring(command.sources.size()) + L" source(s) to " +
                      command.targets.front() + L" ended\n");
        return hr;
    }

    HRESULT MakeFolder(const std::wstring& folder)
    {
        HRESULT hr = quelvar_->CreateFolder(MakeBstr(folder).get());
        if (SUCCEEDED(hr))
            client::Print(L"made the phone folder of " + folder + L"\n");
        return hr;
    }

    // A shell rename: the target is the new PC name beside the item, without
    // the ".vfslnk" of a shortcut file.
    HRESULT Rename(const std::wstring& mirrorPath, const std::wstring& newName)
    {
        std::wstring folder = mirrorPath;
        while (!folder.empty() && folder.back() == L'\\')
            folder.pop_back();
        const size_t slash = folder.find_last_of(L'\\');
        folder.resize(slash == std::wstring::npos ? 0 : slash + 1);
        client::Command request{client::CommandKind::FileOperation, mirrorPath};
        request.sources = {mirrorPath};
        request.targets = {folder + newName};
        return FileOperation(FO_RENAME, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI, request);
    }

    // One progress dialog spans the series; the server ends it after the last
    // file or the first failure. Files land in the folder under their PC names,
    // or a single one in the target file.
    HRESULT DownloadSeries(const std::wstring& folder, const std::vector<std::wstring>& mirrorFiles,
                           const std::wstring& target)
    {
        const LONG count = static_cast<LONG>(mirrorFiles.size());
        ULONGLONG total = 0;
        for (const std::wstring& file : mirrorFiles)
            total += static_cast<ULONG>(client::MirrorFileSize(file));
        const LONG totalSize = total <= client::kMaxTransferSize ? static_cast<LONG>(total) : 0;
        for (LONG index = 0; index < count; ++index) {
            const std::wstring& file = mirrorFiles[static_cast<size_t>(index)];
            if (Interrupted()) {
                quelvar_->HideProgressDialog();
                return E_ABORT;
            }
            unique_variant data;
            HRESULT hr = S_OK;
            {
                client::WaitingDots dots(L"downloading " + file);
                hr = quelvar_->DownloadVFSFile(MakeBstr(file).get(), index, count, totalSize, 0, data.put());
            }
            if (FAILED(hr))
                return hr;
            const std::wstring pcFile = target.empty() ? folder + L"\\" + client::MirrorFileName(file) : target;
            ULONG size = 0;
            hr = client::WritePcFile(pcFile, *data.get(), size);
            if (FAILED(hr)) {
                quelvar_->HideProgressDialog();
                return hr;
            }
            client::Print(L"downloaded " + file + L" to " + pcFile + L" (" + std::to_wstring(size) + L" bytes)\n");
        }
        return S_OK;
    }

    // Into a mirror folder the file keeps its PC name.
    HRESULT Upload(const std::wstring& pcFile, const std::wstring& mirrorPath)
    {
        std::wstring target = mirrorPath;
        if (PathIsDirectoryW(target.c_str()))
            target = (target.back() == L'\\' ? target : target + L"\\") + PathFindFileNameW(pcFile.c_str());
        unique_variant data;
        LONG size = 0;
        DATE modified = 0;
        HRESULT hr = client::ReadPcFile(pcFile, data.put(), size, modified);
        if (SUCCEEDED(hr))
            hr = quelvar_->UploadVFSFile(*data.get(), MakeBstr(target).get(), size, modified, 0);
        if (SUCCEEDED(hr))
            client::Print(L"uploaded " + pcFile + L" to " + target + L" (" + std::to_wstring(size) + L" bytes)\n");
        return hr;
    }

    // Pumps messages until `done` or the time is up; false then, or on an interrupt.
    // `seen` looks at each message before it is dispatched.
    template <typename Done, typename Seen = void (*)(const MSG&)>
    static bool PumpUntil(
        Done done, DWORD timeoutMs, Seen seen = [](const MSG&) {})
    {
        const DWORD start = GetTickCount();
        HANDLE interrupt = g_interrupt.get();
        while (!done()) {
            if (GetTickCount() - start >= timeoutMs)
                return false;
            if (MsgWaitForMultipleObjects(1, &interrupt, FALSE, kPollMs, QS_ALLINPUT) == WAIT_OBJECT_0)
                return false;
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                seen(message);
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        return true;
    }

    // The server shows its progress dialog over no window of ours.
    HRESULT Convert(const std::wstring& mirrorFile, short targetFormat, short sourceFormat)
    {
        unique_bstr output;
        HRESULT hr = quelvar_->Convert(MakeBstr(mirrorFile).get(), targetFormat, sourceFormat, output.put(), 0);
        if (SUCCEEDED(hr))
            client::Print(L"converted " + mirrorFile + L" (format " + std::to_wstring(sourceFormat) + L" to " +
                          std::to_wstring(targetFormat) + L"): " + output.c_str() + L"\n");
        return hr;
    }

    // The server answers S_OK and no window when it has no help control.
    HRESULT Help(const std::wstring& file, unsigned long command, unsigned long data)
    {
        LONG window = 0;
        HRESULT hr = quelvar_->OpenHtmlHelp(0, MakeBstr(file).get(), static_cast<LONG>(command),
                                            static_cast<LONG>(data), &window);
        if (FAILED(hr))
            return hr;
        wchar_t handle[16];
        wsprintfW(handle, L"0x%08lX", static_cast<unsigned long>(window));
        client::Print(window ? L"help " + file + L": window " + handle + L"\n"
                             : L"help " + file + L": no help window (no help control, or it showed none)\n");
        return hr;
    }

    // The update runs on in the server and posts "PIUPDATE_END_NOTIFY" to a
    // window of this client when it ends; its dialog and error box belong to that
    // window. A messages folder may run two updates, the second after the first's
    // end message: listen for `seconds` to see both.
    static HRESULT UpdateFolder(const std::wstring& folder, unsigned long seconds)
    {
        com_ptr<IPIUpdate> update;
        HRESULT hr = CoCreateInstance(CLSID_PIUpdate, nullptr, CLSCTX_LOCAL_SERVER, IID_IPIUpdate, update.put_void());
        if (FAILED(hr))
            return hr;
        unique_hwnd window(
            CreateWindowExW(0, L"STATIC", L"quelvar", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
        if (!window)
            return HRESULT_FROM_WIN32(GetLastError());
        const UINT endMessage = RegisterWindowMessageW(L"PIUPDATE_END_NOTIFY");
        const DWORD start = GetTickCount();
        hr = update->UpdateFolder(MakeBstr(folder).get(), static_cast<LONG>(reinterpret_cast<LONG_PTR>(window.get())));
        if (FAILED(hr))
            return hr;
        const DWORD listenMs = (seconds ? seconds : 60) * 1000;
        client::WaitingDots dots(L"updating " + folder);
        unsigned ends = 0;
        HANDLE interrupt = g_interrupt.get();
        for (DWORD elapsed = GetTickCount() - start; (seconds || ends == 0) && elapsed < listenMs;
             elapsed = GetTickCount() - start) {
            if (MsgWaitForMultipleObjects(1, &interrupt, FALSE, listenMs - elapsed, QS_ALLINPUT) == WAIT_OBJECT_0)
                return E_ABORT;
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == endMessage && message.hwnd == window.get()) {
                    dots.Stop();
                    client::Print(L"update of " + folder + L": end message after " +
                                  std::to_wstring(GetTickCount() - start) + L" ms\n");
                    ++ends;
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        if (ends == 0)
            client::Print(L"update of " + folder + L": no end message within " + std::to_wstring(listenMs / 1000) +
                          L" s (nothing to update)\n");
        return S_OK;
    }

    // Pumps messages while it waits, as a single-threaded apartment must. With a
    // phone's mirror folder it looks every kPollMs whether the phone has gone.
    static HRESULT Wait(unsigned long seconds, const std::wstring& folder)
    {
        if (folder.empty())
            client::Print(L"waiting " + std::to_wstring(seconds) + L" s\n");
        else
            client::Print(L"waiting at most " + std::to_wstring(seconds) + L" s for the phone of " + folder +
                          L" to go\n");
        const DWORD start = GetTickCount();
        const DWORD total = seconds * 1000;
        HANDLE interrupt = g_interrupt.get();
        for (;;) {
            if (!folder.empty() && client::IsPhoneGone(folder)) {
                client::Print(L"the phone of " + folder + L" has gone\n");
                return S_OK;
            }
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= total) {
                if (!folder.empty())
                    client::Print(L"the phone of " + folder + L" is still there\n");
                return S_OK;
            }
            const DWORD slice = folder.empty() ? total - elapsed : std::min<DWORD>(kPollMs, total - elapsed);
            DWORD woken = MsgWaitForMultipleObjects(1, &interrupt, FALSE, slice, QS_ALLINPUT);
            if (woken == WAIT_OBJECT_0)
                return E_ABORT;
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }

    const bool shared_;
    HRESULT connectResult_ = S_OK;
    com_ptr<IQuelvar> quelvar_;
};

std::wstring Describe(const client::Command& command)
{
    std::wstring text = client::CommandName(command.kind);
    return command.argument.empty() ? text : text + L" " + command.argument;
}

int RunCommands(const client::CommandLine& line)
{
    com_apartment apartment;
    if (FAILED(apartment.result())) {
        client::PrintError(L"quelvar: cannot initialise COM: " + client::ErrorText(apartment.result()) + L"\n");
        return kExitFailure;
    }
    int exitCode = kExitSuccess;
    // Released before the apartment goes, on every path.
    Session session(line.shared);
    for (auto command = line.commands.begin(); command != line.commands.end(); ++command) {
        HRESULT hr = Interrupted() ? E_ABORT : session.Run(*command);
        if (FAILED(hr)) {
            client::PrintError(L"quelvar: " + Describe(*command) + L": " + client::ErrorText(hr) + L"\n");
            exitCode = kExitFailure;
            if (!line.keepGoing || hr == E_ABORT) {
                const bool terminateSkipped = std::any_of(command + 1, line.commands.end(), [](const auto& later) {
                    return later.kind == client::CommandKind::Terminate;
                });
                if (terminateSkipped)
                    session.TerminateHeldObject();
                break;
            }
        }
    }
    return exitCode;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == L"--help" || args[0] == L"-h" || args[0] == L"/?")) {
        client::Print(client::UsageText());
        return kExitSuccess;
    }
    client::CommandLine line;
    std::wstring problem;
    if (!client::ParseCommandLine(args, line, problem)) {
        client::PrintError(L"quelvar: " + problem + L"\n\n" + client::UsageText());
        return kExitUsage;
    }
    g_interrupt.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    int exitCode = RunCommands(line);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    return exitCode;
}
