// The OBEX suite as an end-to-end test sees it: the test's own OBEX FTP peer
// (ObexPeer.h), ObexPhones.exe registered in place of the simulated suite, and the server with
// a mirror root of its own and one configured phone.
#pragma once

#include "ObexPeer.h"
#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "ZentrelQuelvar.h"
#include "common/ContractTexts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

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

// The server with a fresh mirror root, the English language and one phone of the
// OBEX suite configured at the peer's address; the phone's mirror folder refreshed.
struct ObexServerRig {
    ObexServerRig(const std::wstring& mirrorRoot, const std::wstring& alias, const std::wstring& imei)
        : root(mirrorRoot)
    {
        EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000)) << "it would keep older settings";
        RegisterServer();
        RemoveFolderTree(root);
        CreateDirectoryW(root.c_str(), nullptr);
        EXPECT_EQ(0u, RunProgram(L"\"" + ProductDir() + L"\\ObexPhones.exe\" add " + alias + L" " +
                                 ObexPeer::Address() + L" --imei " + imei + L" --model ObexTestModel"));
        configured = alias;
        quelvar = CreateLocal(CLSID_Quelvar, IID_IQuelvar);
        EXPECT_EQ(S_OK, quelvar ? quelvar->RefreshFolder(Bstr(root + L"\\" + alias).get(), VARIANT_FALSE) : E_FAIL);
    }
    ~ObexServerRig()
    {
        EXPECT_EQ(S_OK, quelvar ? quelvar->Terminate() : S_OK);
        quelvar.reset();
        RunProgram(L"\"" + ProductDir() + L"\\ObexPhones.exe\" remove " + configured);
        RemoveFolderTree(root);
    }
    static com_ptr<IQuelvar> CreateLocal(REFCLSID clsid, REFIID iid)
    {
        com_ptr<IQuelvar> object;
        const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, iid, object.put_void());
        EXPECT_EQ(S_OK, hr) << HexResult(hr);
        return object;
    }

    const std::wstring root;
    const RegistryOverride rootSetting = MirrorRootSetting(root);
    const RegistryOverride language = InstallationSetting(contract::kCurrentLanguageValue, L"enu");
    const RegistryOverride resource = InstallationSetting(contract::kCurrentResourceValue, L"std");
    ObexSuiteRegistration registration; // after the settings: undone before them
    std::wstring configured;
    com_ptr<IQuelvar> quelvar;
};

} // namespace testing_support
