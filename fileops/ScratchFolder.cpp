#include "ScratchFolder.h"

#include "common/FileTree.h"
#include "common/Paths.h"
#include "mirror/Configuration.h"

#include <mutex>

namespace fileops {

namespace {

// Claims and the sweep of leftovers exclude each other, so that a sweep never
// takes a folder an operation has just made.
std::mutex g_scratchLock;
int g_runningOperations = 0;

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    return length && length < MAX_PATH ? std::wstring(temp, length) : std::wstring();
}

} // namespace

ScratchFolders::ScratchFolders()
{
    std::lock_guard<std::mutex> lock(g_scratchLock);
    ++g_runningOperations;
}

ScratchFolders::~ScratchFolders()
{
    for (const std::wstring& folder : made_)
        RemoveFolderTree(folder);
    std::lock_guard<std::mutex> lock(g_scratchLock);
    --g_runningOperations;
}

HRESULT ScratchFolders::Make(const std::wstring& name, std::wstring& path)
{
    const std::wstring temp = TempFolder();
    if (temp.empty())
        return E_FAIL;
    const std::wstring base = paths::Join(temp, mirror::kScratchFolderPrefix);
    std::lock_guard<std::mutex> lock(g_scratchLock);
    for (unsigned n = 0;; ++n) {
        const std::wstring candidate = base + std::to_wstring(n);
        const std::wstring result = candidate + L"\\" + name;
        if (result.size() >= MAX_PATH)
            return kPathTooLong;
        // Creating is the claim: an existing folder belongs to someone else.
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            made_.push_back(candidate);
            path = result;
            return S_OK;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return HRESULT_FROM_WIN32(error);
    }
}

void RemoveLeftoverScratchFolders()
{
    std::lock_guard<std::mutex> lock(g_scratchLock);
    if (g_runningOperations == 0)
        mirror::RemoveScratchFolders();
}

} // namespace fileops
