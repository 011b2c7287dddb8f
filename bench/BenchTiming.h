// Clock and result check shared by the timing programs.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

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

// Milliseconds as the summary shows them: small calls take a fraction of one.
inline std::string Milliseconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof(text), seconds < 0.1 ? "%.3f" : "%.1f", seconds * 1000);
    return text;
}

// One line of the summary table scripts/bench.sh prints at the end:
// "RESULT|what|measured ms|baseline|baseline ms|ratio|goal".
inline void Result(const char* what, double seconds, const char* baseline, double baselineSeconds, double ratio,
                   const char* goal)
{
    std::printf("RESULT|%s|%s|%s|%s|%.2f|%s\n", what, Milliseconds(seconds).c_str(), baseline,
                Milliseconds(baselineSeconds).c_str(), ratio, goal);
    std::fflush(stdout);
}

inline bool Check(HRESULT hr, const char* what)
{
    if (FAILED(hr))
        std::printf("%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

} // namespace bench
