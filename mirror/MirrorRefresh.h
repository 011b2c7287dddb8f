// Bringing a mirror folder in line with its phone folder.
#pragma once

#include "mirror/DeviceMapping.h"
#include "phone/PhoneFileSystem.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace mirror {

// Removes stale subfolders, makes a subfolder with its folder shortcut for every
// phone folder and, when files is VARIANT_TRUE, brings the shortcut files in
// line with the phone's files. The whole result is worked out first; then only
// what differs is written or deleted, so equal files keep their times. A folder
// of no phone: S_OK, nothing changes. A failed listing is returned before the
// PC changes. Otherwise the result of the last shortcut file (or, without
// files, folder shortcut) of the listing.
HRESULT RefreshFolder(phone::PhoneFileSystem& phoneFs, const DeviceMappingTable& table, const wchar_t* pcFolder,
                      VARIANT_BOOL files, ITransferListener* listener);

} // namespace mirror
