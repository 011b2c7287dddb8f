// The platform's HTML Help control, loaded on first use: its module is found
// through the registry, else by name, and its entry point is taken by ordinal.
// A load that failed once is not tried again.
#pragma once

#include "common/Resource.h"

#include <windows.h>
#include <htmlhelp.h>

#include <string>
#include <utility>

namespace services {

// Where the control is looked for.
struct HtmlHelpLocation {
    // Below HKEY_CLASSES_ROOT; its default value holds the module's path (ANSI).
    std::wstring registryKey;
    // Loaded when the registry gives no module.
    std::wstring moduleName;
    // The wide-character help entry point's export ordinal.
    WORD ordinal;
};

// The control's registration and file name as the platform has them.
HtmlHelpLocation PlatformHtmlHelpLocation();

class HtmlHelpLoader
{
public:
    explicit HtmlHelpLoader(HtmlHelpLocation location) : location_(std::move(location)) {}
    HtmlHelpLoader(const HtmlHelpLoader&) = delete;
    HtmlHelpLoader& operator=(const HtmlHelpLoader&) = delete;

    // What the entry point answers; null when the control cannot be had.
    HWND Call(HWND window, const wchar_t* file, UINT command, DWORD_PTR data);

    bool Failed() const { return failed_; }

private:
    using Entry = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);

    HMODULE LoadRegisteredModule() const;

    HtmlHelpLocation location_;
    // Loaded for the life of the loader; the process's loader is never destroyed.
    unique_hmodule module_;
    Entry entry_ = nullptr;
    bool failed_ = false;
};

// OpenHtmlHelp: the entry point's answer in `helpWindow`; S_OK also when the
// control cannot be had (then a null window). A command whose data would be read
// as a pointer into this process (any but topic, contents and index with data 0,
// help context and close all) gives E_INVALIDARG, a file name of MAX_PATH
// characters or more kPathTooLong; the control is not called for either.
HRESULT OpenHtmlHelp(HWND window, const wchar_t* file, UINT command, DWORD_PTR data, HWND& helpWindow);

} // namespace services
