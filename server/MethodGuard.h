// The guard every interface method runs its body in: a thrown COM error gives
// its HRESULT, anything else E_FAIL. No exception leaves the server.
#pragma once

#include "common/Trace.h"

#include <comdef.h>

namespace server {

template <typename Body> HRESULT Guarded(Body&& body) noexcept
{
    try {
        return body();
    } catch (const _com_error& error) {
        QTRACE(L"(): Exception! hr = 0x%X)\n", error.Error());
        return error.Error();
    } catch (...) {
        QTRACE(L"(): Unhandled exception!\n");
        return E_FAIL;
    }
}

} // namespace server
