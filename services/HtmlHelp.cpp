#include "HtmlHelp.h"

#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Trace.h"

namespace services {

namespace {

constexpr wchar_t kHtmlHelpControlKey[] = L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr wchar_t kHtmlHelpModuleName[] = L"hhctrl.ocx";
constexpr WORD kHtmlHelpWideOrdinal = 15; // HtmlHelpW
// The registered path is an ANSI string of at most this many bytes, terminator included.
constexpr DWORD kRegisteredPathBytes = MAX_PATH;

} // namespace

HtmlHelpLocation PlatformHtmlHelpLocation()
{
    return {kHtmlHelpControlKey, kHtmlHelpModuleName, kHtmlHelpWideOrdinal};
}

// A path that does not fit its buffer is no path: it is not cut and loaded.
HMODULE HtmlHelpLoader::LoadRegisteredModule() const
{
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, location_.registryKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return nullptr;
    char path[kRegisteredPathBytes] = {};
    DWORD size = sizeof(path);
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return nullptr;
    if (path[size - 1] != '\0') {
        if (size >= sizeof(path))
            return nullptr;
        path[size] = '\0';
    }
    return path[0] ? LoadLibraryA(path) : nullptr;
}

HWND HtmlHelpLoader::Call(HWND window, const wchar_t* file, UINT command, DWORD_PTR data)
{
    if (failed_)
        return nullptr;
    if (!module_) {
        module_.reset(LoadRegisteredModule());
        if (!module_)
            module_.reset(LoadLibraryW(location_.moduleName.c_str()));
        if (!module_) {
            QTRACE(L"(): the HTML Help control cannot be loaded\n");
            failed_ = true;
            return nullptr;
        }
    }
    if (!entry_) {
        entry_ = reinterpret_cast<Entry>(
            reinterpret_cast<void*>(GetProcAddress(module_.get(), MAKEINTRESOURCEA(location_.ordinal))));
        if (!entry_) {
            QTRACE(L"(): the HTML Help control has no entry point %u\n", location_.ordinal);
            failed_ = true;
            return nullptr;
        }
    }
    return entry_(window, file, command, data);
}

namespace {

// The data of most commands is a pointer, which a number from another process
// cannot be: only the commands whose data is a number, or no pointer, pass.
bool TakesNoPointer(UINT command, DWORD_PTR data)
{
    switch (command) {
    case HH_DISPLAY_TOPIC:
    case HH_DISPLAY_TOC:
    case HH_DISPLAY_INDEX:
        return data == 0;
    case HH_HELP_CONTEXT:
    case HH_CLOSE_ALL:
        return true;
    default:
        return false;
    }
}

} // namespace

HRESULT OpenHtmlHelp(HWND window, const wchar_t* file, UINT command, DWORD_PTR data, HWND& helpWindow)
{
    helpWindow = nullptr;
    if (!TakesNoPointer(command, data)) {
        QTRACE(L"(): help command %u with data 0x%X refused\n", command, static_cast<unsigned>(data));
        return E_INVALIDARG;
    }
    if (file && wcslen(file) >= MAX_PATH)
        return kPathTooLong;
    // Loaded once for the life of the process; calls come from the message-loop thread.
    static HtmlHelpLoader* const loader = new HtmlHelpLoader(PlatformHtmlHelpLocation());
    helpWindow = loader->Call(window, file, command, data);
    return S_OK;
}

} // namespace services
