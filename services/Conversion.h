// Media conversion on the phone: the phone-commands component converts a phone
// file into another format while a progress dialog shows, then the mirror
// folder is refreshed and the shortcut file of the new file looked up.
#pragma once

#include "services/RequestContext.h"

#include <windows.h>

#include <string>

namespace services {

// `filename` is a shortcut file in a phone's mirror folder; the formats pass
// through to the component. On success `outputFile` is the PC path of the
// shortcut file that stands for the converted file. A path of no phone gives
// E_FAIL before the component is made; a failed conversion its own result.
HRESULT Convert(const RequestContext& context, const std::wstring& filename, short targetFormat, short sourceFormat,
                HWND parent, std::wstring& outputFile);

} // namespace services
