// The server out of process as a client reaches it: objects created through COM,
// and a rig of one main object, the simulated phones and a mirror root of its own
// that the cases of a suite share.
#pragma once

#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "ZentrelQuelvar.h"
#include "common/ContractTexts.h"
#include "fileops/FileOperationRequest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace testing_support {

// An object of the server's class; the creation's result goes to result, or is expected to be S_OK.
template <typename I> com_ptr<I> CreateLocal(REFCLSID clsid, REFIID iid, HRESULT* result = nullptr)
{
    com_ptr<I> object;
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, iid, object.put_void());
    if (result)
        *result = hr;
    else
        EXPECT_EQ(S_OK, hr) << HexResult(hr);
    return object;
}

// A request as the shell extension sends it, answered by the server.
inline HRESULT SendFileOperation(IQuelvar* quelvar, UINT code, WORD flags, const std::vector<std::wstring>& sources,
                                 const std::vector<std::wstring>& targets = {}, HWND window = nullptr)
{
    unique_variant request;
    HRESULT hr = fileops::FileOperationRequest::Encode(window, code, flags, sources, targets, L"", request.put());
    return SUCCEEDED(hr) ? quelvar->SHFileOperation(*request.get()) : hr;
}

// The server with a fresh mirror root, the product's English language and standard
// graphics. The server reads these settings once, so a server left from earlier tests
// must end first; one that a failed program left hanging is ended here, so that its
// failure stays that program's.
struct MirrorRootRig {
    explicit MirrorRootRig(const std::wstring& mirrorRoot) : root(mirrorRoot)
    {
        if (!WaitForNoProcess(L"ZentrelQuelvar.exe", 30000)) {
            std::fprintf(stderr, "a server left by an earlier program did not end: ended\n");
            KillProcesses(L"ZentrelQuelvar.exe");
        }
        EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 10000)) << "it would keep older settings";
        RegisterServer();
        RemoveFolderTree(root);
        CreateDirectoryW(root.c_str(), nullptr);
    }
    ~MirrorRootRig()
    {
        Close();
        RemoveFolderTree(root);
    }
    // The main object, with the phone's mirror folder refreshed.
    void Open(const std::wstring& alias)
    {
        quelvar = CreateLocal<IQuelvar>(CLSID_Quelvar, IID_IQuelvar);
        EXPECT_EQ(S_OK, quelvar ? quelvar->RefreshFolder(Bstr(root + L"\\" + alias).get(), VARIANT_FALSE) : E_FAIL);
    }
    void Close()
    {
        EXPECT_EQ(S_OK, quelvar ? quelvar->Terminate() : S_OK);
        quelvar.reset();
    }

    const std::wstring root;
    const RegistryOverride rootSetting = MirrorRootSetting(root);
    const RegistryOverride language = InstallationSetting(contract::kCurrentLanguageValue, L"enu");
    const RegistryOverride resource = InstallationSetting(contract::kCurrentResourceValue, L"std");
    com_ptr<IQuelvar> quelvar;
};

// One connected simulated phone and a main object with its mirror folder refreshed.
struct ServerRig : MirrorRootRig {
    ServerRig(const std::wstring& mirrorRoot, const std::wstring& phoneAlias, const std::wstring& imei)
        : MirrorRootRig(mirrorRoot), alias(phoneAlias)
    {
        phones.AddPhone(alias, imei);
        phones.Connect(alias);
        Open(alias);
    }
    ~ServerRig() { Close(); }
    // The mirror folder of the phone's memory C:.
    std::wstring Memory() const { return root + L"\\" + alias + L"\\Phone memory (C)"; }

    const std::wstring alias;
    SimulatedPhones phones;
};

// A suite whose cases share one rig: its SetUpTestSuite makes rig_, which ends after the last case.
template <typename Rig = ServerRig, typename Base = testing::Test> struct SharedRig : Base {
    static void TearDownTestSuite() { rig_.reset(); }
    static IQuelvar* q() { return rig_->quelvar.get(); }
    static inline std::unique_ptr<Rig> rig_;
};

} // namespace testing_support
