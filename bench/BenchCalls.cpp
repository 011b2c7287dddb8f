// The server's fixed costs, each against the same cost of a bare local server
// measured in the same run, the simulated suite's control object:
//
//   small call   a call that does no work (HideProgressDialog) against a bare
//                call into the suite (GetProcessId), as a round trip each
//                (goal: at most 1.5)
//   start        from asking for the server with none running to its first
//                answer, against the same for the suite (goal: at most 3: the
//                server also reads the phones and registers for notifications)
//
//   bench_calls [CALLS]   small calls per measurement (default 2000)
//
// Needs the server and the suite registered, neither running yet (it waits
// some seconds for ending ones).
#include "BenchSupport.h"
#include "BenchTiming.h"

#include "common/ComPtr.h"
#include "common/Resource.h"

#include <SimPhoneSuite.h>
#include <ZentrelQuelvar.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using bench::Check;
using bench::Now;

const wchar_t kDataLayerKey[] = L"Software\\Marlith\\DataLayer";
const wchar_t kServerExe[] = L"ZentrelQuelvar.exe";
const wchar_t kSuiteExe[] = L"SimPhoneSuite.exe";

bool NoSuiteRunning()
{
    for (int wait = 0; wait < 300 && bench::FindProcess(kSuiteExe); ++wait)
        Sleep(100);
    if (!bench::FindProcess(kSuiteExe))
        return true;
    std::printf("the simulated suite keeps running: end its clients first\n");
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int calls = argc > 1 ? _wtoi(argv[1]) : 2000;
    if (calls <= 0) {
        std::printf("usage: bench_calls [CALLS]\n");
        return 2;
    }
    com_apartment apartment;
    if (!Check(apartment.result(), "CoInitializeEx"))
        return 1;
    if (!bench::NoServerRunning(kServerExe) || !NoSuiteRunning())
        return 1;

    // The suite's start: its process, class object and first answer.
    com_ptr<ISimPhoneSuite> suite;
    long suiteId = 0;
    double start = Now();
    if (!Check(
            CoCreateInstance(CLSID_SimPhoneSuite, nullptr, CLSCTX_LOCAL_SERVER, IID_ISimPhoneSuite, suite.put_void()),
            "suite (run the tests once to register it)") ||
        !Check(suite->GetProcessId(&suiteId), "GetProcessId"))
        return 1;
    const double suiteStart = Now() - start;

    // A phone in a store of the run's own, and a mirror root of its own, for the server to find.
    const std::wstring mirrorRoot = bench::MakeTempFolder(L"BenchCallsMirror");
    bench::SavedValue mirrorRootValue{kDataLayerKey, L"Root"};
    if (!mirrorRootValue.Set(mirrorRoot))
        return 1;
    bench::BenchPhone phone;
    if (!phone.SetUp(L"BenchCallsStore", L"BenchCalls", L"350000000000121"))
        return 1;

    com_ptr<IQuelvar> quelvar;
    start = Now();
    if (!Check(CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar.put_void()),
               "server (run the tests once to register it)") ||
        !Check(quelvar->HideProgressDialog(), "HideProgressDialog"))
        return 1;
    const double serverStart = Now() - start;

    double bare = 1e30, server = 1e30;
    for (int round = 0; round < 3; ++round) {
        start = Now();
        for (int i = 0; i < calls; ++i) {
            if (!Check(suite->GetProcessId(&suiteId), "GetProcessId"))
                return 1;
        }
        bare = std::min(bare, (Now() - start) / calls);
        start = Now();
        for (int i = 0; i < calls; ++i) {
            if (!Check(quelvar->HideProgressDialog(), "HideProgressDialog"))
                return 1;
        }
        server = std::min(server, (Now() - start) / calls);
    }
    // Ends the server now rather than after its idle time: the next program needs none running.
    quelvar->Terminate();
    quelvar.reset();

    std::printf("small call: server %.3f ms, bare call into the suite %.3f ms (best of 3 x %d calls)\n", server * 1000,
                bare * 1000, calls);
    std::printf("start to first answer: server %.1f ms, suite %.1f ms\n", serverStart * 1000, suiteStart * 1000);
    bench::Result("small call round trip", server, "bare call into the suite", bare, server / bare, "<= 1.5");
    bench::Result("server start to first answer", serverStart, "suite start to first answer", suiteStart,
                  serverStart / suiteStart, "<= 3");
    RemoveFolderTree(mirrorRoot);
    return 0;
}
