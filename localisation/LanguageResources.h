// Locating the language and graphics resource files, the process-wide display
// values that come from the language file, and right-to-left handling. Every
// main object rewrites the values while worker threads may read them, so
// readers get copies.
#pragma once

#include "common/ContractTexts.h"

#include <windows.h>

#include <string>

class CVexaUtil;

namespace localisation {

constexpr size_t kDisplayTextLength = MAX_PATH;
constexpr wchar_t kResourceBaseName[] = L"Ostrelle";
constexpr wchar_t kDefaultProductName[] = L"Ostrelle";

// Values below HKEY_LOCAL_MACHINE "Software\<vendor name>\Marlith".
using contract::kCurrentLanguageValue;
using contract::kCurrentResourceValue;
using contract::kInstallationSubkey;
using contract::kLanguagePathValue;
using contract::kResourcePathValue;

// String ids of the language file.
constexpr UINT kLanguageNameId = 1;
constexpr UINT kGenericErrorId = 75;
constexpr UINT kProductNameId = 17340;

// The 0x400000 (WS_EX_LAYOUTRTL) bit when the desktop is laid out right to left.
constexpr DWORD kRightToLeftLayout = 0x400000;

// Full path of the language file "<base>_<Current Language>.vexa", or empty.
// Also sets the current language.
std::wstring LocateLanguageFile(const wchar_t* vendorName, const wchar_t* baseName);
// Full path of the graphics file "<base>_<Current Resource>.mosk", or empty.
std::wstring LocateGraphicsFile(const wchar_t* vendorName, const wchar_t* baseName);
// Maps the graphics file of the base name; null when there is none. The caller
// frees it.
HMODULE LoadGraphicsLibrary(const wchar_t* vendorName, const wchar_t* baseName = kResourceBaseName);

// The language code last read from "Current Language".
std::wstring CurrentLanguage();
// True for "heb" and "ara".
bool IsRightToLeftLanguage();

DWORD RightToLeftFlag();
void SetRightToLeftFlag(DWORD flag);

// Product display name (title of every box) and the generic error text.
std::wstring ProductDisplayName();
std::wstring GenericErrorText();

// Wraps a text without Hebrew or Arabic letters in left-to-right override marks
// when the desktop is right to left and the result fits a buffer of size
// characters; true when the text was wrapped.
bool AddLeftToRightMarks(std::wstring& text, size_t size);

// Loads the folder display names, product name and generic error text from the
// language file; false (defaults kept) when the file cannot be loaded.
bool LoadDisplayStrings(const wchar_t* languageFilePath);
// The same from a file already loaded; false when none is.
bool LoadDisplayStrings(CVexaUtil& language);

// Back to the built-in defaults: display values, current language, flag.
void ResetLanguageStateForTesting();

} // namespace localisation
