// The phones connected when the main object starts: each folder of the phone
// root is one phone, connected exactly as a notification would connect it.
#pragma once

#include "phone/PhoneFileSystem.h"

namespace mirror {

// Connects every phone of the root listing through the sink and hides the
// mirror folders of phones that are absent. The result is the root listing's:
// a phone that fails on its own is only traced.
HRESULT ReadVFSRootFolder(phone::PhoneFileSystem& phoneFs, ITransferListener* listener, IDeviceNotifySink* sink);

} // namespace mirror
