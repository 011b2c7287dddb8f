#include "PredefinedFolders.h"

#include <cwchar>

namespace localisation {

const PredefinedFolder kPredefinedFolders[kPredefinedFolderCount] = {
    {L"predefgallery", 128}, {L"predefphotos", 213},      {L"predefgraphics", 212},   {L"predeftones", 104},
    {L"predefvideos", 214},  {L"predefalert_tones", 215}, {L"predefrecordings", 216}, {L"predefmusic", 103},
};

namespace {
wchar_t g_displayNames[kPredefinedFolderCount][kDisplayNameLength];
bool g_initialised = false;

void EnsureInitialised()
{
    if (!g_initialised)
        ResetPredefinedFolderDisplayNames();
}
} // namespace

void ResetPredefinedFolderDisplayNames()
{
    for (size_t i = 0; i < kPredefinedFolderCount; ++i) {
        wcsncpy(g_displayNames[i], kPredefinedFolders[i].token, kDisplayNameLength - 1);
        g_displayNames[i][kDisplayNameLength - 1] = L'\0';
    }
    g_initialised = true;
}

wchar_t* PredefinedFolderDisplayName(size_t index)
{
    EnsureInitialised();
    return index < kPredefinedFolderCount ? g_displayNames[index] : nullptr;
}

const wchar_t* DisplayNameForToken(const wchar_t* name)
{
    if (!name)
        return nullptr;
    EnsureInitialised();
    for (size_t i = 0; i < kPredefinedFolderCount; ++i) {
        if (wcscmp(name, kPredefinedFolders[i].token) == 0)
            return g_displayNames[i];
    }
    return nullptr;
}

} // namespace localisation
