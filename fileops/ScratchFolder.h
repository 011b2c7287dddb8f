// The scratch folders "WrapperTemp<n>" of one operation: made in the user's
// temporary folder, and removed with their content when the operation ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace fileops {

class ScratchFolders
{
public:
    // The operation counts as running for the owner's lifetime.
    ScratchFolders();
    ScratchFolders(const ScratchFolders&) = delete;
    ScratchFolders& operator=(const ScratchFolders&) = delete;
    // Removes exactly the folders this owner made.
    ~ScratchFolders();

    // Claims the next free "WrapperTemp<n>" and gives the path of `name` inside
    // it. A folder another operation made meanwhile is never shared.
    // kPathTooLong when the path would not fit MAX_PATH.
    HRESULT Make(const std::wstring& name, std::wstring& path);

private:
    std::vector<std::wstring> made_;
};

// Removes every "WrapperTemp*" folder when no operation runs: those are left
// from earlier runs. Folders of running operations are never touched.
void RemoveLeftoverScratchFolders();

} // namespace fileops
