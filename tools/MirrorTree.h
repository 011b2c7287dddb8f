// The "tree" command: a mirror folder as the disk holds it, each folder with what
// its folder shortcut says and each shortcut file with the phone file it stands for.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace client {

// Appends the tree below `folder` to `text`, one line per item: folders first,
// then files, each sorted by name without regard to case. Returns S_OK, or the
// first failure (the folder itself missing, a shortcut or a subfolder that could
// not be read); what could be read is in `text` either way.
HRESULT FormatMirrorTree(const std::wstring& folder, std::wstring& text);

// Names of the folders directly in `folder`, sorted as the tree shows them;
// links to other folders are left out.
HRESULT ListSubfolders(const std::wstring& folder, std::vector<std::wstring>& names);

// Whether the phone behind a mirror folder has gone: the server has hidden the
// folder and emptied it of all but its "IMEI" file and synchronisation folders.
bool IsPhoneGone(const std::wstring& folder);

} // namespace client
