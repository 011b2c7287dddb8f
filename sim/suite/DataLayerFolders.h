// What the product family's data layer leaves in a phone's mirror folder when the
// phone connects: the "IMEI" marker and the synchronisation folders with their
// folder descriptions. The suite writes them as that program would.
#pragma once

#include "PhoneStore.h"

namespace suite {

// Only phones of the product's model list get them.
void WriteDataLayerFolders(const PhoneInfo& phone);

} // namespace suite
