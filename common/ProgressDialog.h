// The shell's progress dialog, made in process.
#pragma once

#include "common/ComPtr.h"
#include "common/Trace.h"

#include <shlobj.h>

namespace progress_dialog {

inline const CLSID kClsid = {0xF8383852, 0xFCD3, 0x11D1, {0xA6, 0xB9, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};
inline const IID kIid = {0xEBBC7C04, 0x315E, 0x11D2, {0xB6, 0x2F, 0x00, 0x60, 0x97, 0xDF, 0x5B, 0xD4}};

// A new dialog; null, and traced, when the shell offers none.
inline com_ptr<IProgressDialog> Create()
{
    com_ptr<IProgressDialog> dialog;
    const HRESULT hr = CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIid, dialog.put_void());
    if (FAILED(hr)) {
        QTRACE(L"(): CoCreateInstance(CLSID_ProgressDialog) failed (hr = 0x%X)\n", hr);
        dialog.reset();
    }
    return dialog;
}

} // namespace progress_dialog
