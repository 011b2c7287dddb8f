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

// One line of the summary table scripts/bench.sh prints at the end:
// "RESULT|what|measured ms|baseline|baseline ms|ratio|goal".
inline void Result(const char* what, double seconds, const char* baseline, double baselineSeconds, double ratio,
                   const char* goal)
{
    std::printf("RESULT|%s|%.1f|%s|%.1f|%.2f|%s\n", what, seconds * 1000, baseline, baselineSeconds * 1000, ratio,
                goal);
    std::fflush(stdout);
}

inline bool Check(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        std::printf("%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

} // namespace bench
