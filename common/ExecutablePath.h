// Where the running program lies: the language, graphics and sibling files are
// found beside it.
#pragma once

#include <string>

// Full path of the running executable; tests may place it elsewhere.
std::wstring ExecutablePath();
// An empty path goes back to the real one.
void SetExecutablePathForTesting(const std::wstring& path);
