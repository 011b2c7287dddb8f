#include "PcNameFit.h"

#include <shlwapi.h>

namespace mirror {

namespace {

// The file system's own notion of case: upper case, character by character.
std::wstring Folded(const std::wstring& name)
{
    std::wstring folded = name;
    if (!folded.empty())
        CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    return folded;
}

} // namespace

PcNameSet::PcNameSet(const std::vector<VFSItem>& items)
{
    for (const VFSItem& item : items)
        Add(item.pcName);
}

bool PcNameSet::Contains(const std::wstring& name) const
{
    return folded_.count(Folded(name)) != 0;
}

void PcNameSet::Add(const std::wstring& name)
{
    folded_.insert(Folded(name));
}

unsigned PcNameSet::FirstFreeNumberHint(const std::wstring& key) const
{
    const auto found = numberHints_.find(Folded(key));
    return found == numberHints_.end() ? 0 : found->second;
}

void PcNameSet::RememberFreeNumber(const std::wstring& key, unsigned number) const
{
    numberHints_[Folded(key)] = number;
}

size_t FitPcName(std::wstring& name, const std::wstring& pcFolderPath, int lengthLimit, bool wholeName,
                 const PcNameSet& taken)
{
    const int folderLength = static_cast<int>(pcFolderPath.size());
    if (folderLength >= MAX_PATH || lengthLimit <= 0 || name.empty())
        return 0;

    int limit = lengthLimit;
    int total = folderLength + limit + 1;
    std::wstring extension;
    if (!wholeName) {
        if (total <= MAX_PATH)
            return 0;
        extension = PathFindExtensionW(name.c_str());
    }
    const int extensionLength = static_cast<int>(extension.size());

    // Deep folders leave less room for the name.
    if (total > 130) {
        limit = 20;
        total = folderLength + 21;
    }
    if (total > 195) {
        limit = 10;
        total = folderLength + 11;
    }
    if (total > MAX_PATH)
        limit = MAX_PATH - 1 - folderLength;

    std::wstring fitted = name;
    if (static_cast<int>(fitted.size()) > limit) {
        // At least one character must stay before the kept extension.
        if (limit <= extensionLength)
            return 0;
        fitted.resize(static_cast<size_t>(limit - extensionLength));
        fitted += extension;
    }

    if (taken.Contains(fitted)) {
        const std::wstring stem = fitted.substr(0, fitted.size() - extension.size());
        for (unsigned n = 1;; ++n) {
            std::wstring suffix = L"(" + std::to_wstring(n) + L")";
            // The number overwrites the end of the name, so its length stays; a
            // name too short to hold it gets it appended, within the limit.
            const bool overwrite = stem.size() >= suffix.size();
            const std::wstring kept = overwrite ? stem.substr(0, stem.size() - suffix.size()) : stem;
            // Every number of the same width gives a candidate of the same form.
            const std::wstring hintKey =
                kept + L'\0' + extension + L'\0' + std::to_wstring(suffix.size()) + (overwrite ? L"o" : L"a");
            const unsigned hint = taken.FirstFreeNumberHint(hintKey);
            if (hint > n) {
                n = hint;
                suffix = L"(" + std::to_wstring(n) + L")";
            }
            std::wstring candidate = kept + suffix + extension;
            if (!overwrite && static_cast<int>(candidate.size()) > limit)
                return 0;
            if (!taken.Contains(candidate)) {
                taken.RememberFreeNumber(hintKey, n);
                fitted = std::move(candidate);
                break;
            }
        }
    }
    name = std::move(fitted);
    return name.size();
}

size_t FitPcName(std::wstring& name, const std::wstring& pcFolderPath, int lengthLimit, bool wholeName,
                 const std::vector<VFSItem>& items)
{
    return FitPcName(name, pcFolderPath, lengthLimit, wholeName, PcNameSet(items));
}

} // namespace mirror
