// One HRESULT from a body that may throw: a COM error gives its own HRESULT, an
// allocation failure E_OUTOFMEMORY, anything else `otherwise`.
#pragma once

#include <comdef.h>

#include <new>

template <typename Body> HRESULT GuardedResult(Body&& body, HRESULT otherwise = E_FAIL) noexcept
{
    try {
        return body();
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return otherwise;
    }
}
