// The localised message boxes: plain box, error box for an HRESULT and the
// yes/no question box. Every box has the product display name as title.
#pragma once

#include <windows.h>

#include <string>

class CVexaUtil;

namespace localisation {

// MB_ICONEXCLAMATION | MB_SYSTEMMODAL | MB_SETFOREGROUND
constexpr UINT kErrorBoxStyle = 0x11030;
// MB_YESNO | MB_ICONEXCLAMATION | MB_SYSTEMMODAL | MB_SETFOREGROUND
constexpr UINT kQuestionBoxStyle = 0x11034;
// MB_RIGHT | MB_RTLREADING, added for a right-to-left language.
constexpr UINT kRightToLeftBoxStyle = 0x180000;
constexpr size_t kErrorTextLength = 512;
constexpr wchar_t kQuestionBoxDefaultTitle[] = L"Zentrel Ostrelle";

// The style with the right-to-left bits when the current language needs them.
UINT MessageBoxStyle(UINT style);

// MessageBoxW with the product display name as title; its result.
int ShowMessageBox(HWND owner, const wchar_t* text, UINT style);

// Language string id for the low 16 bits of an HRESULT, or 0 when the code has
// none of its own (0x600E has two, 243 and 244, and also gives 0 here).
UINT ErrorStringId(WORD code);
// The text an error box shows for the HRESULT (at most 511 characters); empty
// for S_OK and E_ABORT.
std::wstring ErrorBoxText(HRESULT hr, CVexaUtil& language);
// Shows the error box; the box's result, or 0 when nothing was shown (S_OK,
// E_ABORT).
int ShowErrorBox(HRESULT hr, HWND owner, CVexaUtil& language);

// Asks a yes/no question: 0 for No, else 1. Without a loaded language file
// nothing is asked and the answer is 1.
int AskQuestion(HWND owner, const wchar_t* text, CVexaUtil& language);

} // namespace localisation
