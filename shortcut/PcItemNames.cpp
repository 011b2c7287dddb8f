#include "PcItemNames.h"

#include "VFSShortcut.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"

#include <shlwapi.h>

#include <cwchar>
#include <new>

namespace shortcut {

namespace {

// Device names the file system reserves, in the order they are tested.
const wchar_t* const kReservedNames[] = {L"CLOCK$", L"AUX",  L"CON",  L"NUL",  L"PRN",  L"COM1", L"COM2", L"COM3",
                                         L"COM4",   L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1", L"LPT2",
                                         L"LPT3",   L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8", L"LPT9", L" "};

const wchar_t kInvalidCharacters[] = L"<>|\"\\/*?:";

// Numbering gives up after this many taken names.
constexpr unsigned kMaxUniqueAttempts = 100000;

std::wstring WithoutExtension(const std::wstring& name)
{
    const wchar_t* extension = PathFindExtensionW(name.c_str());
    return name.substr(0, static_cast<size_t>(extension - name.c_str()));
}

bool IsReserved(const std::wstring& name)
{
    std::wstring stem = WithoutExtension(name);
    if (!stem.empty())
        CharUpperBuffW(stem.data(), static_cast<DWORD>(stem.size()));
    for (const wchar_t* reserved : kReservedNames) {
        if (stem == reserved)
            return true;
    }
    return false;
}

} // namespace

std::wstring MakePcItemName(const std::wstring& phoneName, const std::wstring& prefix)
{
    const std::wstring lastComponent = PathFindFileNameW(phoneName.c_str());
    std::wstring name = lastComponent;
    // A phone drive such as "C:" becomes a plain name.
    if (!name.empty() && name.back() == L':')
        name.pop_back();
    if (!prefix.empty())
        name = prefix + L" (" + name + L")";

    if (IsReserved(name))
        name = phoneName == L" " ? L"_" : L"_" + lastComponent;

    for (size_t i = 0; i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (wcschr(kInvalidCharacters, c) && c != L'\0')
            name[i] = L'_';
        else if (c < 0x20)
            name[i] = L'_';
        else if (i == 0 && c == L'.')
            name[i] = L'_';
    }
    while (!name.empty() && name.back() == L'.')
        name.pop_back();
    return name;
}

HRESULT NumberPcItemPath(const std::wstring& folder, const std::wstring& name,
                         const std::function<bool(const std::wstring& shortcutPath)>& taken, std::wstring& pcPath,
                         unsigned* counter)
{
    pcPath.clear();
    const size_t extensionLength = wcslen(kShortcutExtension);
    const size_t dot = name.rfind(L'.');
    const std::wstring stem = dot == std::wstring::npos ? name : name.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
    for (unsigned n = counter && *counter > 1 ? *counter : 1; n <= kMaxUniqueAttempts; ++n) {
        std::wstring path = paths::Join(folder, n == 1 ? name : stem + L"(" + std::to_wstring(n) + L")" + extension);
        if (path.size() + extensionLength >= MAX_PATH)
            return kPathTooLong;
        if (!taken(path + kShortcutExtension)) {
            pcPath = std::move(path);
            if (counter)
                *counter = n;
            return S_OK;
        }
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
}

HRESULT MakePcItemPath(const std::wstring& pcFolder, const std::wstring& phoneName, const std::wstring& prefix,
                       bool unique, std::wstring& pcPath)
{
    pcPath.clear();
    if (pcFolder.size() >= MAX_PATH)
        return kPathTooLong;
    std::wstring folder = pcFolder;
    if (!PathIsDirectoryW(folder.c_str())) {
        wchar_t buffer[MAX_PATH];
        wcscpy(buffer, folder.c_str());
        PathRemoveFileSpecW(buffer);
        folder = buffer;
    }

    const std::wstring name = MakePcItemName(phoneName, prefix);
    if (name.empty())
        return E_INVALIDARG;

    std::wstring path = paths::Join(folder, name);
    if (unique) {
        // Only shortcut files count: a folder of the item's own name is no collision.
        RETURN_IF_FAILED(NumberPcItemPath(
            folder, name, [](const std::wstring& shortcutPath) { return paths::Exists(shortcutPath); }, path));
    }
    if (path.size() >= MAX_PATH)
        return kPathTooLong;
    pcPath = std::move(path);
    return S_OK;
}

} // namespace shortcut
