// Clock and result check shared by the timing programs.
#pragma once

#include <windows.h>

#include <cstdio>

namespace bench {

// Seconds on the performance counter.
inline double Now()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline bool Check(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        std::printf("%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

} // namespace bench
