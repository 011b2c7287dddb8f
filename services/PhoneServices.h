// Requests about a phone passed through to the phone file system: the IMEI of a
// device alias, a refresh of a phone folder or a whole phone, and the phone's
// OBEX capability object. Each runs on a component instance of its own.
#pragma once

#include "services/RequestContext.h"

#include "ZentrelQuelvar.h"

#include <string>

namespace services {

HRESULT GetImei(const RequestContext& context, const std::wstring& alias, std::wstring& imei);

// ITEM: a mirror path, refreshed as its phone path; a path of no phone changes
// nothing. ALL: a device alias, or empty for every phone.
HRESULT Refresh(const RequestContext& context, LEVEL level, const std::wstring& target);

// The answer of the phone behind the mirror folder, as the component gives it;
// outside every mirror folder S_OK and the variant untouched.
HRESULT GetCapabilityObject(const RequestContext& context, const std::wstring& pcFolder, VARIANT* capability);

} // namespace services
