// quelvar.exe end to end: the program from the product folder, its output taken
// from files, the server and the simulated phone suite reached through COM.
#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "Windows.h"
#include "common/ComPtr.h"
#include "common/ContractTexts.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <thread>

using namespace testing_support;

namespace {

const wchar_t kUsageFirstLine[] = L"Usage: quelvar [-k] [--shared] COMMAND [ARGUMENTS] [+ COMMAND [ARGUMENTS]]...\n";
const std::wstring kTerminated = L"terminated: every mapped phone's mirror folder is hidden and emptied";

struct RunResult {
    DWORD exitCode;
    std::wstring out, err;
};

// Output goes to files rather than pipes: a server that COM starts for the
// client inherits its standard handles and would hold a pipe open.
class QuelvarClient : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // A server left from earlier tests read its settings before ours were made.
        ASSERT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000));
        RegisterServer();
        RegisterPhoneSuite();
        // One mirror root for the suite: a server still running from the previous test keeps the root it read.
        outputDir_.emplace(), mirror_.emplace();
        mirrorRoot_.emplace(HKEY_CURRENT_USER, contract::kDataLayerKey, contract::kMirrorRootValue, mirror_->path());
    }

    static void TearDownTestSuite()
    {
        // Every run ended with "terminate", so the server ends on its own.
        EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000));
        mirrorRoot_.reset(), mirror_.reset(), outputDir_.reset();
    }

    RunResult Run(const std::wstring& arguments)
    {
        const std::wstring outPath = *outputDir_ / (L"out" + std::to_wstring(++runs_)), errPath = outPath + L"err";
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        const auto open = [&](const std::wstring& path) {
            return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               &inherit, CREATE_ALWAYS, 0, nullptr);
        };
        unique_file out(open(outPath)), err(open(errPath));
        const DWORD exitCode =
            RunProgram(L"\"" + ProductDir() + L"\\quelvar.exe\" " + arguments, 120000, out.get(), err.get());
        out.reset(), err.reset();
        const auto text = [](const std::vector<unsigned char>& bytes) {
            return Widen(std::string(bytes.begin(), bytes.end()));
        };
        return {exitCode, text(ReadBytes(outPath)), text(ReadBytes(errPath))};
    }

    static inline std::optional<TempDir> outputDir_, mirror_;
    static inline std::optional<RegistryOverride> mirrorRoot_;
    int runs_ = 0;
};

TEST_F(QuelvarClient, UsageErrorsExitWithTwoBeforeAnyCommandRunsAndAFailureWithOneStoppingTheRun)
{
    const std::wstring problem = L"quelvar: \"wait\" takes a whole number of seconds from 0 to 3600\n\n";
    RunResult refused = Run(L"imei Phone1 + wait soon");
    EXPECT_EQ(2u, refused.exitCode);
    EXPECT_EQ(L"", refused.out);
    EXPECT_EQ(problem + kUsageFirstLine, refused.err.substr(0, problem.size() + wcslen(kUsageFirstLine)));
    RunResult help = Run(L"--help");
    EXPECT_EQ(0u, help.exitCode);
    EXPECT_EQ(kUsageFirstLine, help.out.substr(0, wcslen(kUsageFirstLine)));
    EXPECT_EQ(L"", help.err);

    // The failing command comes before any server call, so no main object is left.
    const std::wstring missing = *outputDir_ / L"missing";
    RunResult stopped = Run(L"tree \"" + missing + L"\" + imei Phone1 + terminate");
    EXPECT_EQ(1u, stopped.exitCode);
    EXPECT_EQ(L"", stopped.out);
    EXPECT_EQ(L"quelvar: tree " + missing + L": error 0x80070002 ERROR_FILE_NOT_FOUND\n", stopped.err);
}

class QuelvarClientWithPhone : public QuelvarClient
{
protected:
    void SetUp() override
    {
        // The server of the previous test is on its way out: a client that reached
        // it now would find it gone.
        ASSERT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000));
        phones_.emplace();
        phones_->AddPhone(L"CliPhone", L"350000000000042", L"OS-200", 1000000);
        phones_->Connect(L"CliPhone");
    }

    // Made after the previous test's server has gone.
    std::optional<SimulatedPhones> phones_;
};

TEST_F(QuelvarClientWithPhone, SharedObjectServesTheNewCommandsUntilTerminateEndsTheServer)
{
    // Only a shown folder with an "IMEI" file is a mapped phone.
    MakeFolders(mirror_->path(), {L"\\Plain", L"\\Gone"});
    WriteText(*mirror_ / L"Gone\\IMEI", "350000000000099");
    ASSERT_TRUE(SetFileAttributesW((*mirror_ / L"Gone").c_str(), FILE_ATTRIBUTE_HIDDEN));

    // The server has mapped the phone, and so shown its folder, before "phones" runs;
    // after "terminate" the folder is hidden and the shared object gone.
    const std::wstring folder = *mirror_ / L"CliPhone";
    RunResult result = Run(L"-k --shared capability \"" + folder + L"\" + item-refresh \"" + folder +
                           L"\" + phones + release + terminate + imei CliPhone + phones");
    EXPECT_EQ(1u, result.exitCode);
    EXPECT_EQ(
        L"capability of " + folder +
            L": VT_BSTR, 220 characters: \"<?xml version=\\\"1.0\\\"?>\\r\\n<Capability Version=\\\"1.0\\\"\"...\n"
            L"refresh requested for item " +
            folder + L"\nCliPhone  " + folder + L"\nreleased: the shared main object stays in the server\n" +
            kTerminated + L"; the server ends\n",
        result.out);
    EXPECT_EQ(L"quelvar: imei CliPhone: error 0x80004003 E_POINTER\n", result.err);
}

// A wait on a phone's mirror folder ends once the server has seen the phone go,
// not when its time is up.
TEST_F(QuelvarClientWithPhone, WaitUntilGoneEndsWhenThePhoneDisconnects)
{
    const std::wstring folder = *mirror_ / L"CliPhone", out = *outputDir_ / (L"out" + std::to_wstring(runs_ + 1));
    RunResult result;
    std::thread client(
        [&] { result = Run(L"refresh \"" + folder + L"\" + wait 600 --until-gone \"" + folder + L"\" + terminate"); });
    const auto waiting = [&] {
        const std::vector<unsigned char> bytes = ReadBytes(out);
        return std::string(bytes.begin(), bytes.end()).find("waiting at most") != std::string::npos;
    };
    EXPECT_TRUE(WaitWithoutMessages(waiting, 120000));
    phones_->Disconnect(L"CliPhone");
    client.join();
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ(L"waiting at most 600 s for the phone of " + folder + L" to go\nthe phone of " + folder + L" has gone\n" +
                  kTerminated + L"\n",
              result.out.substr(std::min(result.out.find(L"waiting"), result.out.size())));
}

} // namespace
