#include "LanguageResources.h"

#include "VexaUtil.h"
#include "common/Resource.h"
#include "common/ExecutablePath.h"
#include "common/Paths.h"
#include "common/Registry.h"
#include "PredefinedFolders.h"

#include <cwchar>

namespace localisation {
namespace {

wchar_t g_currentLanguage[kDisplayTextLength];
wchar_t g_productDisplayName[kDisplayTextLength] = L"Ostrelle";
wchar_t g_genericErrorText[kDisplayTextLength];
DWORD g_rightToLeft = 0;

constexpr wchar_t kLeftToRightOverride = 0x202D;
constexpr wchar_t kPopDirectionalFormatting = 0x202C;

void CopyCut(wchar_t* target, size_t length, const wchar_t* source)
{
    if (target == source)
        return;
    wcsncpy(target, source, length - 1);
    target[length - 1] = L'\0';
}

// The files of one kind: where the code comes from, the extension, the folder
// next to the executable and the registry value of the last-resort folder.
struct ResourceKind {
    const wchar_t* codeValue;
    const wchar_t* extension;
    const wchar_t* folderName;
    const wchar_t* pathValue;
};

std::wstring Locate(const wchar_t* vendorName, const wchar_t* baseName, const ResourceKind& kind, wchar_t* code)
{
    code[0] = L'\0';
    std::wstring key = std::wstring(L"Software\\") + (vendorName ? vendorName : L"") + L"\\" + kInstallationSubkey;
    unique_hkey opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
        return {};
    if (ReadRegistryString(opened.get(), kind.codeValue, code, kDisplayTextLength) != ERROR_SUCCESS || !code[0])
        return {};
    std::wstring fileName = std::wstring(baseName ? baseName : L"") + L"_" + code + kind.extension;
    std::wstring executable = ExecutablePath();

    std::wstring candidate = paths::Join(paths::Join(paths::Parent(executable), kind.folderName), fileName);
    if (candidate.size() < MAX_PATH && paths::Exists(candidate))
        return candidate;
    // The installation's shared folder: two levels above the executable's folder.
    candidate =
        paths::Join(paths::Join(paths::Parent(paths::Parent(paths::Parent(executable))), kind.folderName), fileName);
    if (candidate.size() < MAX_PATH && paths::Exists(candidate))
        return candidate;
    wchar_t folder[MAX_PATH] = {};
    if (ReadRegistryString(opened.get(), kind.pathValue, folder, MAX_PATH) == ERROR_SUCCESS && folder[0])
        candidate = paths::Join(folder, fileName);
    // A path that does not fit is refused rather than cut.
    return candidate.size() < MAX_PATH ? candidate : std::wstring();
}

bool HasRightToLeftLetters(const wchar_t* text)
{
    for (; *text; ++text) {
        wchar_t c = *text;
        if ((c >= 0x0590 && c <= 0x05FF) || (c >= 0x0600 && c <= 0x06FF) || (c >= 0xFB1D && c <= 0xFB4F) ||
            (c >= 0xFB50 && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFE))
            return true;
    }
    return false;
}

} // namespace

std::wstring LocateLanguageFile(const wchar_t* vendorName, const wchar_t* baseName)
{
    static const ResourceKind language{kCurrentLanguageValue, L".vexa", L"Lang", kLanguagePathValue};
    return Locate(vendorName, baseName, language, g_currentLanguage);
}

std::wstring LocateGraphicsFile(const wchar_t* vendorName, const wchar_t* baseName)
{
    static const ResourceKind graphics{kCurrentResourceValue, L".mosk", L"Resource", kResourcePathValue};
    wchar_t code[kDisplayTextLength];
    return Locate(vendorName, baseName, graphics, code);
}

HMODULE LoadGraphicsLibrary(const wchar_t* vendorName, const wchar_t* baseName)
{
    std::wstring path = LocateGraphicsFile(vendorName, baseName);
    if (path.empty())
        return nullptr;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

const wchar_t* CurrentLanguage()
{
    return g_currentLanguage;
}

bool IsRightToLeftLanguage()
{
    return _wcsicmp(g_currentLanguage, L"heb") == 0 || _wcsicmp(g_currentLanguage, L"ara") == 0;
}

DWORD RightToLeftFlag()
{
    return g_rightToLeft;
}

void SetRightToLeftFlag(DWORD flag)
{
    g_rightToLeft = flag;
}

const wchar_t* ProductDisplayName()
{
    return g_productDisplayName;
}

const wchar_t* GenericErrorText()
{
    return g_genericErrorText;
}

bool AddLeftToRightMarks(wchar_t* text, size_t size)
{
    if (!g_rightToLeft || !text)
        return false;
    size_t length = wcslen(text);
    if (length + 2 >= size || HasRightToLeftLetters(text))
        return false;
    // Already wrapped (a name kept from an earlier load): wrap only once.
    if (length >= 2 && text[0] == kLeftToRightOverride && text[length - 1] == kPopDirectionalFormatting)
        return false;
    wmemmove(text + 1, text, length);
    text[0] = kLeftToRightOverride;
    text[length + 1] = kPopDirectionalFormatting;
    text[length + 2] = L'\0';
    return true;
}

bool LoadDisplayStrings(const wchar_t* languageFilePath)
{
    CVexaUtil language;
    if (!language.LoadLanguage(languageFilePath))
        return false;
    for (size_t i = 0; i < localisation::kPredefinedFolderCount; ++i) {
        wchar_t* name = localisation::PredefinedFolderDisplayName(i);
        CopyCut(name, localisation::kDisplayNameLength,
                language.GetString(localisation::kPredefinedFolders[i].stringId, name));
    }
    CopyCut(g_productDisplayName, kDisplayTextLength, language.GetString(kProductNameId, g_productDisplayName));
    CopyCut(g_genericErrorText, kDisplayTextLength, language.GetString(kGenericErrorId, g_genericErrorText));
    language.ReleaseCurrentLanguage();
    AddLeftToRightMarks(g_productDisplayName, kDisplayTextLength);
    return true;
}

void ResetLanguageStateForTesting()
{
    g_currentLanguage[0] = L'\0';
    CopyCut(g_productDisplayName, kDisplayTextLength, kDefaultProductName);
    g_genericErrorText[0] = L'\0';
    g_rightToLeft = 0;
    localisation::ResetPredefinedFolderDisplayNames();
}

} // namespace localisation
