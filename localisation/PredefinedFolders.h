// The phone's predefined folder tokens and their process-wide display names.
// Readers get copies: a later main object may rewrite the names while a worker
// thread maps a folder.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace localisation {

constexpr size_t kPredefinedFolderCount = 8;
constexpr size_t kDisplayNameLength = 256;

struct PredefinedFolder {
    const wchar_t* token; // as the phone reports it (exact, case-sensitive)
    UINT stringId;        // language string of its display name
};

// In the order the tokens are tested.
extern const PredefinedFolder kPredefinedFolders[kPredefinedFolderCount];

using PredefinedFolderNames = std::array<std::wstring, kPredefinedFolderCount>;

// Display name for a token (the token itself until a language file names it),
// or nothing when the text is no token.
std::optional<std::wstring> DisplayNameForToken(const wchar_t* name);
// Every display name, in the order of kPredefinedFolders.
PredefinedFolderNames PredefinedFolderDisplayNames();

// The language loader's: replaces every display name at once, each cut to
// kDisplayNameLength - 1 characters.
void SetPredefinedFolderDisplayNames(const PredefinedFolderNames& names);
// Tests: one display name, as a language file would give it.
void SetPredefinedFolderDisplayNameForTesting(const wchar_t* token, const std::wstring& name);
// Puts every display name back to its token.
void ResetPredefinedFolderDisplayNames();

} // namespace localisation
