// Single phone files moved through memory: a download series under one
// progress dialog, and the upload of one file that the mirror folder then shows.
#pragma once

#include "fileops/OperationListener.h"
#include "services/RequestContext.h"

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace fileops {

// What the transfers use of the main object besides its request context: its
// own phone component (null after Terminate) and its listener slot, which a
// download series keeps between calls.
struct TransferOwner {
    const services::RequestContext& context;
    IVirtualFileSystem* phoneComponent;
    com_ptr<COperationListener>& listener;
};

// One file of a download series: its PC path in a mirror folder, its index in
// the series (0 starts a new one), the series' file count and byte total (0:
// the bar runs per file) and the dialog's parent window.
struct DownloadRequest {
    std::wstring pcFile;
    LONG index;
    LONG count;
    LONG totalSize;
    HWND parent;
};

// Reads the phone file into data (a byte array). The dialog ends after the
// last index, at the first failure, or when a Cancel was pressed before a later
// file (E_ABORT). A bad count, size or index gives E_INVALIDARG and leaves a
// running series alone.
HRESULT DownloadVFSFile(const TransferOwner& owner, const DownloadRequest& request, VARIANT* data);

// One file to upload: the bytes (exactly VT_ARRAY | VT_UI1), its PC path in a
// mirror folder, the size and time its shortcut records, the dialog's parent.
struct UploadRequest {
    const VARIANT& data;
    std::wstring pcFile;
    LONG size;
    DATE modified;
    HWND parent;
};

// A byte array of another shape, a negative size or a date outside the years
// 100 to 9999 gives E_INVALIDARG before anything happens. Writes the phone file
// under a dialog of its own, sets its time, writes its
// shortcut file and refreshes the mirror folder that holds it. After a failed
// write there is no shortcut; the file is closed whenever it was opened.
HRESULT UploadVFSFile(const TransferOwner& owner, const UploadRequest& request);

} // namespace fileops
