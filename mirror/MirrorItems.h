// Removing a mirror item together with the phone item it stands for.
#pragma once

#include "mirror/DeviceMapping.h"
#include "phone/PhoneFileSystem.h"

#include <windows.h>

namespace mirror {

// Deletes the phone file of a shortcut file (and, with deletePcFile, the
// shortcut file itself) or removes the phone folder of a mirror folder and the
// mirror folder. A path of no phone changes nothing and gives S_OK. Phone
// failures are returned as the phone file system reports them.
HRESULT DeleteFileOrFolder(phone::PhoneFileSystem& phoneFs, const DeviceMappingTable& table, const wchar_t* pcPath,
                           ITransferListener* listener, bool deletePcFile);

} // namespace mirror
