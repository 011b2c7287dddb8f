#include "ExecutablePath.h"

#include <windows.h>

namespace {
std::wstring g_executablePathOverride;
}

std::wstring ExecutablePath()
{
    if (!g_executablePathOverride.empty())
        return g_executablePathOverride;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void SetExecutablePathForTesting(const std::wstring& path)
{
    g_executablePathOverride = path;
}
