// The server process starts on demand and ends by itself after the last release.
#include "ServerRig.h"

#include <gtest/gtest.h>

using namespace testing_support;

// The platform's dispatch absorbs an access violation in a timer callback, and a C++
// exception cannot unwind through its frames at all: no fault a message can cause
// reaches the message loop's own guard. What is left to check is that the loop goes on
// after such messages.
TEST(ServerLifetime, EndsAboutSixSecondsAfterTheLastReleaseAndNotBeforeNorOnStrayMessages)
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

    // A timer message whose callback address points nowhere, and a message for a
    // window that does not exist; the call's own message is queued behind them.
    const DWORD thread = MainThreadOf(servers[0]);
    ASSERT_NE(0u, thread);
    EXPECT_TRUE(PostThreadMessageW(thread, WM_TIMER, 1, 0x10));
    EXPECT_TRUE(PostThreadMessageW(thread, WM_USER + 77, 0xDEAD, 0xBEEF));
    VARIANT_BOOL isPhoneFolder = VARIANT_TRUE;
    EXPECT_EQ(S_OK, second->IsPhoneFolder(nullptr, &isPhoneFolder));
    EXPECT_EQ(VARIANT_FALSE, isPhoneFolder);

    // Past the first release's idle time.
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(server.get(), 4000));
    second.reset();
    // Not before its idle time; a slow machine may take longer, only a hang more than a minute.
    const DWORD start = GetTickCount();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(server.get(), 60000));
    EXPECT_GE(GetTickCount() - start, 5000u);
}
