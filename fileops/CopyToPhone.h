// Copy and move of PC files and folders into a mirror folder: the shell copies
// them in first (its overwrite questions apply), then every file it wrote goes
// up to the phone and is replaced by its shortcut file.
#pragma once

#include "fileops/FileOperationRequest.h"
#include "fileops/OperationListener.h"
#include "fileops/PhoneFile.h"
#include "phone/PhoneFileSystem.h"
#include "phone/VFSItem.h"
#include "services/RequestContext.h"

#include <string>
#include <vector>

namespace fileops {

// What a copy will put into the mirror folder: target-side paths, each parent
// folder before its children, with the PC source each came from.
struct CopySources {
    std::vector<std::wstring> folders, folderSources;
    std::vector<std::wstring> files, fileSources;
    ULONG totalSize = 0; // low 32 bits of each file's size, summed
};

// What became of each collected item: made on the phone, uploaded.
struct CopyOutcome {
    std::vector<bool> folderMade, fileUploaded;
};

// Copy or move of PC sources into the mirror folder `target` of the phone
// `alias`: the result of the upload, S_OK when the user declined the
// free-memory question. A move deletes only sources whose upload succeeded.
HRESULT CopyPCItemsToVFS(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                         FileOperationRequest& request, const std::vector<std::wstring>& sources,
                         COperationListener& listener, const std::wstring& alias);

// S_OK when the mirror folder `target` is there. One not made (yet) is refused:
// the shell would copy a single item to a file of the folder's name, which no
// refresh could then turn into the folder.
HRESULT CheckTargetFolder(const std::wstring& target);

void CollectCopySources(const std::vector<std::wstring>& sources, const std::wstring& target, CopySources& collected);

// True to go on: the total fits below the memory's free bytes, or the user
// said Yes. Free memory that cannot be learned counts as 0.
bool CheckFreeMemory(phone::PhoneFileSystem& phoneFs, const std::wstring& folderShortcut, ULONG totalSize, HWND owner,
                     const std::wstring& alias, CVexaUtil& language);

// Uploads the files the shell has written into the mirror folder; each
// leaves the mirror folder, a shortcut file taking its place when it arrived.
// The last failure; full phone memory stops the loop, a cancel gives E_ABORT.
HRESULT CopyToVFS(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                  const CopySources& collected, COperationListener& listener, CopyOutcome& outcome);

// The shell's `operation` puts the copies of `collected` into the mirror
// folder, always as a copy and with its questions: a phone file it would
// replace stands there as a placeholder, and one the user chose to keep is not
// uploaded. Then the copies go up as CopyToVFS does. `copiedAll` is false when
// the shell failed or was aborted.
HRESULT PlaceAndUpload(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                       SHFILEOPSTRUCTW operation, const CopySources& collected, COperationListener& listener,
                       CopyOutcome& outcome, bool& copiedAll);

} // namespace fileops
