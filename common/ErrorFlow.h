// One error flow: every failure is an HRESULT, returned and passed up with
// RETURN_IF_FAILED, so the success path reads straight down. Only a failed
// allocation throws; interface methods, thread entries and window procedures
// guard against it, and nothing below them catches.
#pragma once

#include "common/Trace.h"

#include <windows.h>

#include <new>

// An allocation failure gives E_OUTOFMEMORY, anything else `otherwise`.
// Nothing thrown leaves the guard.
template <typename Body> HRESULT Guarded(Body&& body, HRESULT otherwise = E_FAIL) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        QTRACE(L"(): out of memory\n");
        return E_OUTOFMEMORY;
    } catch (...) {
        QTRACE(L"(): Unhandled exception!\n");
        return otherwise;
    }
}

// A step whose failure does not end the operation says so at its call; the
// failure is traced.
inline void ContinueOnFailure(HRESULT hr, const wchar_t* step)
{
    if (FAILED(hr))
        QTRACE(L"(): %ls failed, going on (hr = 0x%X)\n", step, hr);
    (void)step;
}

#define RETURN_IF_FAILED(expression)                                                                                   \
    do {                                                                                                               \
        const HRESULT returnIfFailedResult_ = (expression);                                                            \
        if (FAILED(returnIfFailedResult_))                                                                             \
            return returnIfFailedResult_;                                                                              \
    } while (0)
