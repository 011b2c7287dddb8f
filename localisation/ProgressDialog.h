// The shell's progress dialog as every part of the server shows it: a title from
// the language file, the animation of the graphics file for the layout's
// direction, and start, lines, bar, cancel and stop.
#pragma once

#include "common/ComPtr.h"

#include <shlobj.h>

class CVexaUtil;

#include <string>

namespace localisation {

// PROGDLG_NOTIME | PROGDLG_NOMINIMIZE, with a bar.
constexpr DWORD kProgressWithBar = 0x0C;
// The same with PROGDLG_NOPROGRESSBAR.
constexpr DWORD kProgressWithoutBar = 0x1C;

// The progress animations of the graphics file.
constexpr UINT kAnimationLeftToRight = 6106;
constexpr UINT kAnimationRightToLeft = 6107;

// A title of the language file.
struct ProgressTitle {
    UINT id;
    // When the file lacks the string.
    const wchar_t* defaultText;
    // Characters kept, terminator included.
    size_t buffer;
    // False: without a loadable language file no title is set at all.
    bool withoutLanguageFile;
};

// The animation for a dialog whose direction follows the window's layout
// (WS_EX_LAYOUTRTL); a null window is laid out left to right.
UINT ProgressAnimationId(HWND layoutWindow);
// True when the window is laid out right to left; a null window is not.
bool HasRightToLeftLayout(HWND window);
// The desktop ("Progman"), whose layout file operations follow; null without one.
HWND DesktopWindow();

// String `id` of the language file, the default when the file lacks it or
// none is loaded, cut to a buffer of `buffer` characters (terminator included).
std::wstring LanguageText(CVexaUtil& language, UINT id, const wchar_t* defaultText, size_t buffer);

// One dialog, made at construction; empty when the shell offers none, and
// after Stop. Every call on an empty dialog does nothing.
class ProgressDialog
{
public:
    ProgressDialog();
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;
    ~ProgressDialog() { Stop(); }

    explicit operator bool() const { return static_cast<bool>(dialog_); }

    void SetTitle(CVexaUtil& language, const ProgressTitle& title);
    void SetTitle(const std::wstring& text);
    // Line 1, 2 or 3, without path compaction.
    void SetLine(DWORD line, const std::wstring& text);
    // Given to the shell only when the id differs from the last one.
    void SetAnimation(HMODULE graphics, UINT id);
    // Shows the dialog over the parent; the shell's result, traced when it fails.
    HRESULT Start(HWND parent, DWORD flags);
    HRESULT SetProgress(ULONGLONG position, ULONGLONG range);
    bool HasUserCancelled() const;
    // Closes and releases the dialog; may run several times.
    void Stop();

private:
    com_ptr<IProgressDialog> dialog_;
    UINT lastAnimation_ = 0;
};

} // namespace localisation
