// The OBEX suite as an end-to-end test sees it: the test's own OBEX FTP peer
// (ObexPeer.h), ObexPhones.exe registered in place of the simulated suite, and the server with
// a mirror root of its own and one configured phone.
#pragma once

#include "ObexPeer.h"
#include "ServerRig.h"

namespace testing_support {

// ObexPhones.exe registered for the object's life; the simulated suite again afterwards.
class ObexSuiteRegistration
{
public:
    ObexSuiteRegistration()
    {
        // A simulated suite still running would answer the activations.
        EXPECT_TRUE(WaitForNoProcess(L"SimPhoneSuite.exe", 30000));
        EXPECT_EQ(0u, RunProgram(L"\"" + ProductDir() + L"\\ObexPhones.exe\" /RegServer"));
    }
    ~ObexSuiteRegistration()
    {
        EXPECT_TRUE(WaitForNoProcess(L"ObexPhones.exe", 60000)) << "the suite ends once idle";
        RegisterPhoneSuite();
    }
};

// The server with one phone of the OBEX suite configured at the peer's address.
struct ObexServerRig : MirrorRootRig {
    ObexServerRig(const std::wstring& mirrorRoot, const std::wstring& alias, const std::wstring& imei)
        : MirrorRootRig(mirrorRoot), configured(alias)
    {
        EXPECT_EQ(0u, RunProgram(L"\"" + ProductDir() + L"\\ObexPhones.exe\" add " + alias + L" " +
                                 ObexPeer::Address() + L" --imei " + imei + L" --model ObexTestModel"));
        Open(alias);
    }
    ~ObexServerRig()
    {
        Close();
        RunProgram(L"\"" + ProductDir() + L"\\ObexPhones.exe\" remove " + configured);
    }

    ObexSuiteRegistration registration; // after the settings: undone before them
    const std::wstring configured;
};

} // namespace testing_support
