// Renames within the phone, built from what the phone file system offers: a
// file is written anew under its new name and the old one deleted, an empty
// folder is made anew and the old one removed. And the phone folder behind a
// new mirror folder.
#pragma once

#include "fileops/FileOperationRequest.h"
#include "fileops/OperationListener.h"
#include "phone/PhoneFileSystem.h"
#include "services/RequestContext.h"

#include <string>
#include <vector>

namespace fileops {

// What the renames work with: the main object's context, the request's phone
// instance and its listener.
struct RenameOwner {
    const services::RequestContext& context;
    phone::PhoneFileSystem& phoneFs;
    COperationListener& listener;
};

// FO_RENAME of mirror items of phone files and folders: target i is the new PC
// path of source i. A target that is no valid PC name refuses the whole request
// with S_OK and nothing changed. The shell renames the mirror item first (it
// refuses an existing name: E_ABORT); afterwards the mirror folder is read anew
// from the phone, which shows the outcome whatever it was.
HRESULT RenameVFSItems(const RenameOwner& owner, FileOperationRequest& request,
                       const std::vector<std::wstring>& sources, const std::vector<std::wstring>& targets);

// The phone file's bytes and time under the phone name of newPcPath; the old
// file is deleted only once the new one is complete. An existing phone item of
// the new name is never overwritten. The PC item newPcPath is removed after.
HRESULT RenameVFSFile(const RenameOwner& owner, const std::wstring& oldPhonePath, const std::wstring& newPcPath);

// An empty phone folder made anew under the name of the mirror folder
// newPcPath (already renamed on the PC), the old one removed. E_NOTIMPL for a
// folder with content.
HRESULT RenameVFSFolder(const RenameOwner& owner, const std::wstring& oldPhonePath, const std::wstring& newPcPath);

// The phone folder of a new mirror folder, and the parent mirror folder read
// anew. A path in no mirror: S_OK and nothing done. The listener may be null.
HRESULT CreateVFSFolder(const services::RequestContext& context, phone::PhoneFileSystem* phoneFs,
                        const std::wstring& pcFolder, COperationListener* listener);

// IQuelvar::CreateFolder: CreateVFSFolder with a phone instance of its own; a
// path of MAX_PATH characters or more gives kPathTooLong, in a mirror or not.
HRESULT CreateFolder(const services::RequestContext& context, const std::wstring& pcFolder);

} // namespace fileops
