// Removing a folder with everything in it, read-only and hidden items included.
#pragma once

#include <string>

// Best effort: what cannot be removed stays.
void RemoveFolderTree(const std::wstring& folder);
