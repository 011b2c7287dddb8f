// Arguments as they arrive from a client, checked before use.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

// The BSTR's text, empty for null. A NUL inside it would cut the text short
// wherever it is used as a C string, so such a text is refused (E_INVALIDARG)
// rather than acted on as the part before the NUL.
inline HRESULT TextArgument(BSTR text, std::wstring& out)
{
    out = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    return out.find(L'\0') == std::wstring::npos ? S_OK : E_INVALIDARG;
}

// Window handles cross the interfaces as 32-bit numbers. A number that names no
// window means no window: a dialog or box given it as parent would fail, and the
// shell's progress dialog would wait for ever for its window.
inline HWND WindowArgument(ULONG_PTR number)
{
    HWND window = reinterpret_cast<HWND>(number);
    return window && IsWindow(window) ? window : nullptr;
}
