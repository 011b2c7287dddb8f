// One error flow: outside failures are thrown as _com_error by thin call
// wrappers, and one guard per operation turns whatever was thrown into its
// HRESULT. The macros keep the success path reading straight down.
#pragma once

#include "common/Trace.h"

#include <comdef.h>

#include <new>

// A COM error gives its own HRESULT, an allocation failure E_OUTOFMEMORY,
// anything else `otherwise`. Nothing thrown leaves the guard.
template <typename Body> HRESULT Guarded(Body&& body, HRESULT otherwise = E_FAIL) noexcept
{
    try {
        return body();
    } catch (const _com_error& error) {
        QTRACE(L"(): Exception! hr = 0x%X\n", error.Error());
        return error.Error();
    } catch (const std::bad_alloc&) {
        QTRACE(L"(): out of memory\n");
        return E_OUTOFMEMORY;
    } catch (...) {
        QTRACE(L"(): Unhandled exception!\n");
        return otherwise;
    }
}

// The failure of one step as a result, for steps whose failure does not end
// the operation.
template <typename Step> HRESULT Attempt(Step&& step) noexcept
{
    return Guarded([&]() -> HRESULT {
        step();
        return S_OK;
    });
}

// Throws a failed HRESULT as a COM error; for the thin wrappers.
inline void ThrowIfFailed(HRESULT hr)
{
    if (FAILED(hr))
        throw _com_error(hr);
}

#define RETURN_IF_FAILED(expression)                                                                                   \
    do {                                                                                                               \
        const HRESULT returnIfFailedResult_ = (expression);                                                            \
        if (FAILED(returnIfFailedResult_))                                                                             \
            return returnIfFailedResult_;                                                                              \
    } while (0)
