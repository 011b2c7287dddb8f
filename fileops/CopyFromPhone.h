// Copy and move of phone items to a PC folder: the phone files are downloaded
// into scratch folders of the operation, the shell copies the downloads to the
// user's target with its own questions, and a move then deletes each phone item
// whose download has reached the target.
#pragma once

#include "fileops/FileOperationRequest.h"
#include "fileops/OperationListener.h"
#include "fileops/ScratchFolder.h"
#include "phone/PhoneFileSystem.h"
#include "services/RequestContext.h"

#include <string>
#include <vector>

namespace fileops {

// The name a mirror item's copy has on the PC: its own, a shortcut file's
// without the extension.
std::wstring CopiedName(const std::wstring& mirrorPath);

// The sources of a phone-to-PC request worth copying: a phone file whose copy
// at the destination carries the same modification time is left out. Each
// source taken is paired with the request's target.
void SelectFilesToCopy(const FileOperationRequest& request, std::vector<std::wstring>& sources,
                       std::vector<std::wstring>& targets);

class CopyFromPhone
{
public:
    CopyFromPhone(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                  COperationListener& listener)
        : context_(context), phoneFs_(phoneFs), listener_(listener)
    {
    }

    // Copies (FO_COPY) or moves (FO_MOVE) the request's phone items to its PC
    // target. E_ABORT after a Cancel during the downloads; the downloads made
    // so far still reach the target. A move deletes a phone item only when its
    // bytes and time are at the target (a folder: every file below it).
    HRESULT CopyVFSToPC(const FileOperationRequest& request);

    // Only the downloads: each mirror source's phone item into a scratch
    // folder of this object, where `downloaded` names those that exist (a
    // file or a folder tree). E_ABORT after a Cancel; the scratch folders go
    // with this object.
    HRESULT DownloadToScratch(const std::vector<std::wstring>& mirrorSources, std::vector<std::wstring>& downloaded);

private:
    struct Download {
        std::wstring phonePath;
        std::wstring pcPath;
    };
    struct Folder {
        std::wstring phonePath;
        std::wstring pcPath;
    };
    // One source of the request and what it became in its scratch folder.
    struct Source {
        std::wstring mirrorPath;
        std::wstring scratchPath;
        bool isFile = false;
        size_t firstDownload = 0, endDownload = 0; // its downloads
        size_t firstFolder = 0, endFolder = 0;     // its folders, parents first
    };

    HRESULT DownloadSources(const std::vector<std::wstring>& selected, std::vector<Source>& sources);
    static std::vector<std::wstring> Downloaded(const std::vector<Source>& sources);
    HRESULT GetVFSContent(std::vector<Source>& sources, ULONG& totalSize);
    HRESULT GetVFSFolderContent(const std::wstring& phoneFolder, const std::wstring& pcFolder, ULONG& totalSize);
    HRESULT ReadVFSFile(const std::wstring& phonePath, const std::wstring& pcPath);
    // True when every download of the source arrived at its place below the target.
    bool ReachedTarget(const Source& source, const std::wstring& destination) const;
    // The phone item of a source and its mirror item, after a move.
    HRESULT DeleteSource(const Source& source);

    const services::RequestContext& context_;
    phone::PhoneFileSystem& phoneFs_;
    COperationListener& listener_;
    ScratchFolders scratch_;
    std::vector<Download> downloads_;
    std::vector<Folder> folders_;
};

} // namespace fileops
