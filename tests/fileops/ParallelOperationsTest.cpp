// Two file operations at once from two client processes, this program and the
// command-line client, each over a window of its own: each has its own dialog
// and its own Cancel, and a cancel in one leaves the other alone.
#include "ServerRig.h"
#include "Windows.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;
using Names = std::vector<std::wstring>;

namespace {

const wchar_t kFromPhone[] = L"Copying from phone...";
const wchar_t kMirrorRoot[] = L"C:\\QuelvarParallelTests";
const std::wstring kPhoneRoot = L"ALIAS:PPhone\\C:\\";
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
constexpr int kFiles = 10;
constexpr size_t kFileSize = 10000;

std::wstring ClientProgram()
{
    return L"\"" + ProductDir() + L"\\quelvar.exe\"";
}

class TwoClients : public SharedRig<>
{
protected:
    static void SetUpTestSuite() { rig_ = std::make_unique<ServerRig>(kMirrorRoot, L"PPhone", L"350000000000081"); }
    static void TearDownTestSuite()
    {
        rig_.reset();
        // The client's shared main object stays until it is terminated, and the
        // server with it; a worker still waiting (on a box) would keep it too.
        EXPECT_EQ(0u, RunProgram(ClientProgram() + L" --shared terminate", 120000));
        EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 60000)) << "every worker has ended";
    }

    static std::wstring Memory() { return rig_->Memory(); }

    // Phone files of one operation, shown in the mirror; their mirror files.
    static Names Put(const std::wstring& prefix)
    {
        Names links;
        for (int i = 0; i < kFiles; ++i) {
            const std::wstring name = prefix + std::to_wstring(i) + L".bin";
            std::vector<unsigned char> bytes(kFileSize);
            for (size_t b = 0; b < kFileSize; ++b)
                bytes[b] = static_cast<unsigned char>(b * 7 + i + prefix.size());
            rig_->phones.PutBytes(kPhoneRoot + name, bytes);
            links.push_back(Memory() + L"\\" + name + L".vfslnk");
        }
        EXPECT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(Memory()).get(), VARIANT_TRUE));
        return links;
    }

    // How many of the operation's files arrived; each that did has the phone's bytes.
    static int Arrived(const std::wstring& prefix, const std::wstring& target)
    {
        int arrived = 0;
        for (int i = 0; i < kFiles; ++i) {
            const std::wstring name = prefix + std::to_wstring(i) + L".bin";
            if (!FileExists(target + L"\\" + name))
                continue;
            EXPECT_EQ(ReadBytes(rig_->phones.Store() + L"\\PPhone\\mem-C\\" + name), ReadBytes(target + L"\\" + name))
                << Narrow(name);
            ++arrived;
        }
        return arrived;
    }
};

} // namespace

TEST_F(TwoClients, CancelInOneOperationsDialogEndsOnlyThatOneAndTheOtherCompletes)
{
    for (int cancelled : {0, 1}) { // 0: this program's operation, 1: the client's
        const std::wstring round = std::to_wstring(cancelled);
        const Names ours = Put(L"ours" + round + L"_"), theirs = Put(L"theirs" + round + L"_");
        TempDir pc;
        const std::wstring targets[] = {pc / L"ours", pc / L"theirs"};
        MakeFolders(pc.path(), {L"\\ours", L"\\theirs"});
        // Slowed, so that both dialogs stay up until the Cancel has been seen.
        rig_->phones->SetChunkSize(1000), rig_->phones->SetTransferDelay(200);

        std::wstring command = ClientProgram() + L" --shared fileop 2 " + std::to_wstring(kQuiet);
        for (const std::wstring& source : theirs)
            command += L" \"" + source + L"\"";
        command += L" --to \"" + targets[1] + L"\" --window + release";
        unique_handle client(StartProgram(command));
        ASSERT_TRUE(client);
        unique_hwnd window(
            CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
        ASSERT_EQ(S_OK, SendFileOperation(rig_->quelvar.get(), FO_COPY, kQuiet, ours, {targets[0]}, window.get()));

        // Told apart by their owners: this program's window, and one of the client's.
        HWND dialogs[2] = {};
        const DWORD clientId = GetProcessId(client.get());
        ASSERT_TRUE(PumpUntil(
            [&] {
                for (HWND dialog : VisibleDialogs(kFromPhone)) {
                    HWND owner = GetWindow(dialog, GW_OWNER);
                    DWORD ownerProcess = 0;
                    GetWindowThreadProcessId(owner, &ownerProcess);
                    if (owner == window.get())
                        dialogs[0] = dialog;
                    else if (owner && ownerProcess == clientId)
                        dialogs[1] = dialog;
                }
                return dialogs[0] && dialogs[1];
            },
            120000))
            << cancelled;

        ClickButton(dialogs[cancelled], IDCANCEL);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialogs[cancelled]); }, 120000)) << cancelled;
        EXPECT_TRUE(IsWindowVisible(dialogs[1 - cancelled])) << cancelled << ": the other dialog stays";
        // The rest needs no slow-down.
        rig_->phones->SetTransferDelay(0);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(dialogs[1 - cancelled]); }, 300000)) << cancelled;
        ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(client.get(), 0) == WAIT_OBJECT_0; }, 120000));
        DWORD exitCode = 1;
        EXPECT_TRUE(GetExitCodeProcess(client.get(), &exitCode) && exitCode == 0) << exitCode;

        // The cancelled one stopped short (E_ABORT: no error box); the other copied every byte.
        const std::wstring prefixes[] = {L"ours" + round + L"_", L"theirs" + round + L"_"};
        EXPECT_LT(Arrived(prefixes[cancelled], targets[cancelled]), kFiles) << cancelled;
        EXPECT_EQ(kFiles, Arrived(prefixes[1 - cancelled], targets[1 - cancelled])) << cancelled;
        EXPECT_TRUE(VisibleDialogs(L"Ostrelle").empty()) << cancelled;
    }
}
