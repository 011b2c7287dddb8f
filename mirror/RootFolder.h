// The phones connected when the main object starts: each folder of the phone
// root is one phone, connected exactly as a notification would connect it.
#pragma once

#include "phone/PhoneFileSystem.h"

namespace mirror {

// Connects every phone of the root listing through the sink and hides the
// mirror folders of phones that are absent. A failure of the listing, or of a
// phone's IMEI (the others are still connected), is the result.
HRESULT ReadVFSRootFolder(phone::PhoneFileSystem& phoneFs, ITransferListener* listener, IDeviceNotifySink* sink);

} // namespace mirror
