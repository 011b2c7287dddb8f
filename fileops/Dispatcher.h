// The routing of one shell file operation: to the platform when no phone item
// is involved, to the phone deletion, or to the phone control when a phone's
// own top folder is renamed; PC items to the PC-to-phone engine, phone items to
// the PC and "open" to the phone-to-PC engine, phone items into another mirror
// folder to the phone-to-phone copy; renames of phone items to the rename.
#pragma once

#include "fileops/FileOperationRequest.h"
#include "fileops/OperationListener.h"
#include "phone/PhoneFileSystem.h"
#include "services/RequestContext.h"

#include <string>
#include <vector>

namespace fileops {

// What the user is told when a move within the phone left its sources: the phone
// cannot delete, so the move ends as a copy (its result, E_NOTIMPL, would read as
// a lost connection).
constexpr UINT kMoveKeptSourcesTextId = 260;
constexpr wchar_t kMoveKeptSourcesText[] =
    L"The files were copied, not moved, because the phone cannot delete them. The originals are still on the phone.";

class Dispatcher
{
public:
    // `endMessage` is posted to the request's window when a phone's content changed.
    Dispatcher(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs, COperationListener& listener,
               UINT endMessage)
        : context_(context), phoneFs_(phoneFs), listener_(listener), endMessage_(endMessage)
    {
    }

    // Runs the request on the calling thread; the HRESULT of the route taken.
    // The request's code and flags may be changed on the way.
    HRESULT DoSHFileOperation(FileOperationRequest& request);
    // True when the request was a move within the phone that copied and kept its sources.
    bool MoveKeptSources() const { return moveKeptSources_; }

private:
    bool IsPhoneName(const std::wstring& pcPath) const;
    HRESULT RenamePhone(UINT function, const std::wstring& source, const std::wstring& target) const;
    // Phone items into another mirror folder.
    HRESULT CopyWithinPhone(FileOperationRequest& request, const std::wstring& target);
    // Phone items to a PC folder, copied or moved; "open" copies and opens each copy.
    HRESULT CopyToPC(FileOperationRequest& request);
    HRESULT OpenFromPhone(FileOperationRequest& request, const std::vector<std::wstring>& sources,
                          const std::vector<std::wstring>& targets);
    HRESULT PassToPlatform(FileOperationRequest& request) const;
    HRESULT DeleteFromPhone(FileOperationRequest& request, const std::vector<std::wstring>& sources);
    HRESULT DeletePhoneItems(HWND window, const std::vector<std::wstring>& sources,
                             const std::vector<std::wstring>& phonePaths, bool firstIsFolder);
    void NotifyChange(const std::wstring& phoneRootFolder, HWND window);

    const services::RequestContext& context_;
    phone::PhoneFileSystem& phoneFs_;
    COperationListener& listener_;
    UINT endMessage_;
    bool moveKeptSources_ = false;
};

} // namespace fileops
