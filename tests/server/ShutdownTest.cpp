// The server process starts on demand and ends by itself after the last release.
#include "ServerRig.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(ServerLifetime, EndsAboutSixSecondsAfterTheLastReleaseAndNotBefore)
{
    RegisterServer();
    KillProcesses(L"ZentrelQuelvar.exe");
    com_ptr<IPIUpdate> first = CreateLocal<IPIUpdate>(CLSID_PIUpdate, IID_IPIUpdate);
    ASSERT_TRUE(first);
    const std::vector<DWORD> servers = FindProcesses(L"ZentrelQuelvar.exe");
    ASSERT_EQ(1u, servers.size());
    unique_handle server(OpenProcess(SYNCHRONIZE, FALSE, servers[0]));
    ASSERT_TRUE(server);
    first.reset();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(server.get(), 3000));
    com_ptr<IPIUpdate> second = CreateLocal<IPIUpdate>(CLSID_PIUpdate, IID_IPIUpdate);
    ASSERT_TRUE(second);
    EXPECT_EQ(servers, FindProcesses(L"ZentrelQuelvar.exe")) << "the same process serves the second object";

    // Past the first release's idle time.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(server.get(), 4000));
    second.reset();
    // Not before its idle time; a slow machine may take longer, only a hang more than a minute.
    const DWORD start = GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(server.get(), 60000));
    EXPECT_GE(GetTickCount() - start, 5000u);
}
