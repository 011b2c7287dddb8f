// The mapped phones as any client sees them on the disk: the folders directly
// below the mirror root that hold an "IMEI" file and are not hidden. The server
// hides a phone's mirror folder when the phone goes, and shows it again when the
// phone comes back.
#pragma once

#include "common/ContractTexts.h"

#include <windows.h>

#include <string>
#include <vector>

namespace client {

// HKEY_CURRENT_USER keys of the mirror root; the second is read only when the
// first cannot be opened.
using contract::kDataLayerFallbackKey;
using contract::kDataLayerKey;
using contract::kImeiFileName;
using contract::kMirrorRootValue;

// The mirror root from the registry, read as the server reads it: a string of
// fewer than MAX_PATH characters. A missing key or value gives its registry
// error, a value that does not fit ERROR_MORE_DATA, another type
// ERROR_INVALID_DATATYPE and an empty value ERROR_FILE_NOT_FOUND (as HRESULTs).
HRESULT ReadMirrorRoot(std::wstring& root);

struct MappedPhone {
    std::wstring alias; // the mirror folder's name
    std::wstring folder;
};

// The mapped phones below `root`, sorted by alias as "tree" sorts folders.
HRESULT ListMappedPhones(const std::wstring& root, std::vector<MappedPhone>& phones);

} // namespace client
