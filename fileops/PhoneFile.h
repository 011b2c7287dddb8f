// The transfer of one phone file, written once for every operation: open, read
// or write, time, close, and for an upload the shortcut file that records it.
//
// One rule for every step after the open:
// - a failed read or write is the transfer's failure; the file is still closed;
// - a failed fgettime or fsettime is traced only: the bytes are what counts, the
//   file simply keeps the time it got;
// - a failed close is the transfer's failure and replaces an earlier one: after
//   a write the file may not be on the phone, after a read its bytes are not
//   to be trusted;
// - only a file whose write and close succeeded counts as arrived: only then is
//   its shortcut recorded (and a PC source may go).
#pragma once

#include "fileops/OperationListener.h"
#include "phone/PhoneFileSystem.h"
#include "phone/VFSItem.h"

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace fileops {

// The phone side of a transfer: the operation's component instance, the
// listener that takes the component's progress (may be null) and the graphics
// file with the animation shown while the file is worked on.
struct PhoneSide {
    phone::PhoneFileSystem& phoneFs;
    COperationListener* listener;
    HMODULE graphics;
};

// Line 2 of the progress dialog: the last component of a phone path.
void ShowPhoneItem(COperationListener* listener, const std::wstring& phonePath);

// The whole phone file into `data` (no array: an empty file); its time into
// `modified` when asked for (0 when the phone gave none).
HRESULT ReadPhoneFile(const PhoneSide& side, const std::wstring& phonePath, VARIANT* data, DATE* modified = nullptr);

// `data` (a byte array) as the whole phone file, with `modified` as its time
// (0: none, the phone keeps its own). S_OK exactly when the file arrived.
HRESULT WritePhoneFile(const PhoneSide& side, const std::wstring& phonePath, const VARIANT& data, DATE modified);

// The phone file as the PC file `pcPath` with the phone's time. A PC file is
// left only when everything succeeded.
HRESULT DownloadToPcFile(const PhoneSide& side, const std::wstring& phonePath, const std::wstring& pcPath);

// The PC file as the phone file, with the PC file's time, and its shortcut
// file recorded beside it (replacing the one of the same name). `arrived` says
// whether the file reached the phone, also when only its shortcut failed.
HRESULT UploadFromPcFile(const PhoneSide& side, const std::wstring& pcPath, const std::wstring& phonePath,
                         bool& arrived);

// The shortcut file of an arrived phone file: the one named after pcFile is
// replaced; after a failure no shortcut of the item is left.
HRESULT RecordShortcut(const std::wstring& pcFile, const phone::VFSItem& item);

// The whole file as a byte-array VARIANT that the caller clears.
HRESULT File2VARIANT(const wchar_t* path, VARIANT* data);

// The listing entry of a PC file as the phone will hold it.
phone::VFSItem GetPCFileDetails(const std::wstring& path);

} // namespace fileops
