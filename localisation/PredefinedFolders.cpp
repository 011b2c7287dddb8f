#include "PredefinedFolders.h"

#include <cwchar>
#include <mutex>

namespace localisation {

const PredefinedFolder kPredefinedFolders[kPredefinedFolderCount] = {
    {L"predefgallery", 128}, {L"predefphotos", 213},      {L"predefgraphics", 212},   {L"predeftones", 104},
    {L"predefvideos", 214},  {L"predefalert_tones", 215}, {L"predefrecordings", 216}, {L"predefmusic", 103},
};

namespace {

PredefinedFolderNames TokenNames()
{
    PredefinedFolderNames names;
    for (size_t i = 0; i < kPredefinedFolderCount; ++i)
        names[i] = kPredefinedFolders[i].token;
    return names;
}

struct DisplayNames {
    std::mutex lock;
    PredefinedFolderNames names = TokenNames();
};

DisplayNames& Shared()
{
    static DisplayNames shared;
    return shared;
}

std::optional<size_t> IndexOf(const wchar_t* token)
{
    for (size_t i = 0; token && i < kPredefinedFolderCount; ++i) {
        if (wcscmp(token, kPredefinedFolders[i].token) == 0)
            return i;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::wstring> DisplayNameForToken(const wchar_t* name)
{
    std::optional<size_t> index = IndexOf(name);
    if (!index)
        return std::nullopt;
    DisplayNames& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    return shared.names[*index];
}

PredefinedFolderNames PredefinedFolderDisplayNames()
{
    DisplayNames& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    return shared.names;
}

void SetPredefinedFolderDisplayNames(const PredefinedFolderNames& names)
{
    PredefinedFolderNames cut = names;
    for (std::wstring& name : cut)
        name = name.substr(0, kDisplayNameLength - 1);
    DisplayNames& shared = Shared();
    std::lock_guard<std::mutex> hold(shared.lock);
    shared.names.swap(cut);
}

void SetPredefinedFolderDisplayNameForTesting(const wchar_t* token, const std::wstring& name)
{
    PredefinedFolderNames names = PredefinedFolderDisplayNames();
    names.at(IndexOf(token).value()) = name;
    SetPredefinedFolderDisplayNames(names);
}

void ResetPredefinedFolderDisplayNames()
{
    SetPredefinedFolderDisplayNames(TokenNames());
}

} // namespace localisation
