// What the product family's data layer leaves in a phone's mirror folder when the
// phone connects: the "IMEI" marker and the synchronisation folders with their
// folder descriptions. The suite writes them as that program would.
#pragma once

#include <string>

namespace suite {

void WriteDataLayerFolders(const std::wstring& imei, const std::wstring& alias);

} // namespace suite
