// Fitting the PC names of phone items into the path limit, unique within their
// PC folder.
#pragma once

#include "mirror/Listing.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace mirror {

// The PC names already given in one folder, compared without regard to case.
class PcNameSet
{
public:
    PcNameSet() = default;
    explicit PcNameSet(const std::vector<VFSItem>& items);
    bool Contains(const std::wstring& name) const;
    void Add(const std::wstring& name);

    // Names are only ever added, so once n was the first free number for a
    // form of numbered name, no smaller one becomes free again: numbering
    // resumes there instead of testing every number from 1. 0 when unknown.
    unsigned FirstFreeNumberHint(const std::wstring& key) const;
    void RememberFreeNumber(const std::wstring& key, unsigned number) const;

private:
    std::unordered_set<std::wstring> folded_;
    mutable std::unordered_map<std::wstring, unsigned> numberHints_;
};

// Shortens name so that it fits below pcFolderPath within lengthLimit (lowered
// for deep folders) and differs from every name in taken by overwriting its end
// with "(1)", "(2)", ... Without wholeName the extension is kept, and a name whose
// path fits already is left alone. Returns the final length, or 0 when nothing
// was done; a name that cannot be fitted is left unchanged and gives 0.
size_t FitPcName(std::wstring& name, const std::wstring& pcFolderPath, int lengthLimit, bool wholeName,
                 const PcNameSet& taken);
size_t FitPcName(std::wstring& name, const std::wstring& pcFolderPath, int lengthLimit, bool wholeName,
                 const std::vector<VFSItem>& items);

} // namespace mirror
