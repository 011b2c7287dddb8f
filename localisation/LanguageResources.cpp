#include "LanguageResources.h"

#include "VexaUtil.h"
#include "common/Resource.h"
#include "common/ExecutablePath.h"
#include "common/Paths.h"
#include "common/Registry.h"
#include "PredefinedFolders.h"
#include "ResourceFile.h"

#include <atomic>
#include <cwchar>
#include <mutex>

namespace localisation {
namespace {

struct DisplayValues {
    std::mutex lock;
    std::wstring currentLanguage;
    std::wstring productName = kDefaultProductName;
    std::wstring genericErrorText;
};

DisplayValues& Shared()
{
    static DisplayValues shared;
    return shared;
}

std::atomic<DWORD> g_rightToLeft{0};

constexpr wchar_t kLeftToRightOverride = 0x202D;
constexpr wchar_t kPopDirectionalFormatting = 0x202C;

// The files of one kind: where the code comes from, the extension, the folder
// next to the executable and the registry value of the last-resort folder.
struct ResourceKind {
    const wchar_t* codeValue;
    const wchar_t* extension;
    const wchar_t* folderName;
    const wchar_t* pathValue;
};

// The code read from the registry goes to code, empty when there is none.
std::wstring Locate(const wchar_t* vendorName, const wchar_t* baseName, const ResourceKind& kind, std::wstring& code)
{
    code.clear();
    std::wstring key =
        std::wstring(contract::kSoftwareKey) + L"\\" + (vendorName ? vendorName : L"") + L"\\" + kInstallationSubkey;
    unique_hkey opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
        return {};
    wchar_t value[kDisplayTextLength] = {};
    if (ReadRegistryString(opened.get(), kind.codeValue, value, kDisplayTextLength) != ERROR_SUCCESS || !value[0])
        return {};
    code = value;
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

bool HasRightToLeftLetters(const std::wstring& text)
{
    for (wchar_t c : text) {
        if ((c >= 0x0590 && c <= 0x05FF) || (c >= 0x0600 && c <= 0x06FF) || (c >= 0xFB1D && c <= 0xFB4F) ||
            (c >= 0xFB50 && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFE))
            return true;
    }
    return false;
}

// The file's string, or the current value when the file lacks it; cut to a
// buffer of length characters.
std::wstring StringOrCurrent(CVexaUtil& language, UINT id, const std::wstring& current, size_t length)
{
    return std::wstring(language.GetString(id, current.c_str())).substr(0, length - 1);
}

} // namespace

std::wstring LocateLanguageFile(const wchar_t* vendorName, const wchar_t* baseName)
{
    static const ResourceKind language{kCurrentLanguageValue, L".vexa", L"Lang", kLanguagePathValue};
    std::wstring code;
    std::wstring path = Locate(vendorName, baseName, language, code);
    DisplayValues& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    shared.currentLanguage.swap(code);
    return path;
}

std::wstring LocateGraphicsFile(const wchar_t* vendorName, const wchar_t* baseName)
{
    static const ResourceKind graphics{kCurrentResourceValue, L".mosk", L"Resource", kResourcePathValue};
    std::wstring code;
    return Locate(vendorName, baseName, graphics, code);
}

HMODULE LoadGraphicsLibrary(const wchar_t* vendorName, const wchar_t* baseName)
{
    std::wstring path = LocateGraphicsFile(vendorName, baseName);
    return MapResourceFile(path);
}

std::wstring CurrentLanguage()
{
    DisplayValues& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    return shared.currentLanguage;
}

bool IsRightToLeftLanguage()
{
    DisplayValues& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    return _wcsicmp(shared.currentLanguage.c_str(), L"heb") == 0 ||
           _wcsicmp(shared.currentLanguage.c_str(), L"ara") == 0;
}

DWORD RightToLeftFlag()
{
    return g_rightToLeft;
}

void SetRightToLeftFlag(DWORD flag)
{
    g_rightToLeft = flag;
}

std::wstring ProductDisplayName()
{
    DisplayValues& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    return shared.productName;
}

std::wstring GenericErrorText()
{
    DisplayValues& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    return shared.genericErrorText;
}

bool AddLeftToRightMarks(std::wstring& text, size_t size)
{
    if (!g_rightToLeft || text.size() + 2 >= size || HasRightToLeftLetters(text))
        return false;
    // Already wrapped (a name kept from an earlier load): wrap only once.
    if (text.size() >= 2 && text.front() == kLeftToRightOverride && text.back() == kPopDirectionalFormatting)
        return false;
    text = kLeftToRightOverride + text + kPopDirectionalFormatting;
    return true;
}

bool LoadDisplayStrings(const wchar_t* languageFilePath)
{
    CVexaUtil language;
    return language.LoadLanguage(languageFilePath) && LoadDisplayStrings(language);
}

bool LoadDisplayStrings(CVexaUtil& language)
{
    if (!language.IsLoaded())
        return false;
    PredefinedFolderNames folderNames = PredefinedFolderDisplayNames();
    for (size_t i = 0; i < kPredefinedFolderCount; ++i)
        folderNames[i] = StringOrCurrent(language, kPredefinedFolders[i].stringId, folderNames[i], kDisplayNameLength);
    std::wstring productName = StringOrCurrent(language, kProductNameId, ProductDisplayName(), kDisplayTextLength);
    std::wstring genericError = StringOrCurrent(language, kGenericErrorId, GenericErrorText(), kDisplayTextLength);
    AddLeftToRightMarks(productName, kDisplayTextLength);

    // Each value is replaced whole, so a reader on another thread sees the old
    // or the new text, never a mix.
    SetPredefinedFolderDisplayNames(folderNames);
    DisplayValues& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    shared.productName.swap(productName);
    shared.genericErrorText.swap(genericError);
    return true;
}

void ResetLanguageStateForTesting()
{
    {
        DisplayValues& shared = Shared();
        std::lock_guard<std::mutex> hold(shared.lock);
        shared.currentLanguage.clear();
        shared.productName = kDefaultProductName;
        shared.genericErrorText.clear();
    }
    g_rightToLeft = 0;
    ResetPredefinedFolderDisplayNames();
}

} // namespace localisation
