// The phone's predefined folder tokens and their process-wide display names.
#pragma once

#include <windows.h>

#include <cstddef>

namespace localisation {

constexpr size_t kPredefinedFolderCount = 8;
constexpr size_t kDisplayNameLength = 256;

struct PredefinedFolder {
    const wchar_t* token; // as the phone reports it (exact, case-sensitive)
    UINT stringId;        // language string of its display name
};

// In the order the tokens are tested.
extern const PredefinedFolder kPredefinedFolders[kPredefinedFolderCount];

// Writable display name buffer (kDisplayNameLength characters) of entry index;
// it holds the token itself until the language strings are loaded.
wchar_t* PredefinedFolderDisplayName(size_t index);

// Display name for a token, or null when the text is no token.
const wchar_t* DisplayNameForToken(const wchar_t* name);

// Puts every display name back to its token.
void ResetPredefinedFolderDisplayNames();

} // namespace localisation
