// quelvar.exe end to end: the program from the product folder, its output taken
// from files, the server and the simulated phone suite reached through COM.
#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "common/ComPtr.h"
#include "common/ContractTexts.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

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

TEST_F(QuelvarClient, ProductNameComesFromTheLanguageFileAsUtf8)
{
    RegistryOverride vendor(HKEY_LOCAL_MACHINE, L"Software\\Marlith\\Dravo", L"Vendor", std::nullopt);
    const std::pair<const wchar_t*, std::wstring> cases[] = {
        {L"heb", L"\x05D0\x05D5\x05E1\x05D8\x05E8\x05DC\n"},
        {L"xyz", L"Ostrelle\n"}, // no such language file: the built-in name
    };
    for (const auto& [code, name] : cases) {
        RegistryOverride language = InstallationSetting(contract::kCurrentLanguageValue, std::wstring(code));
        RegistryOverride path = InstallationSetting(contract::kLanguagePathValue, std::nullopt);
        RunResult result = Run(L"product-name");
        EXPECT_EQ(0u, result.exitCode) << code;
        EXPECT_EQ(name, result.out) << code;
        EXPECT_EQ(L"", result.err) << code;
    }
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

// The stand-in HTML Help control of the test folder answers the help request.
TEST_F(QuelvarClientWithPhone, KeepGoingRunsOnAfterAFailureAndRefreshConvertHelpAndTreeReportWhatTheyDid)
{
    RegistryOverride control(HKEY_CLASSES_ROOT, L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", L"",
                             TestProgramDir() + L"\\help_control.dll");
    // Outside every mirror folder: each refresh succeeds and changes nothing.
    TempDir dir;
    MakeFolders(dir.path(), {L"\\b", L"\\A", L"\\A\\inner", L"\\c.vfslnk"});
    WriteText(dir / L"file.txt", "x");
    phones_->MakeFolder(L"ALIAS:CliPhone\\C:\\Notes");
    phones_->PutBytes(L"ALIAS:CliPhone\\C:\\Notes\\con.txt", {'a', 'b', 'c'}, 38411.57302083); // 2005-02-28 13:45:09
    phones_->PutBytes(L"ALIAS:CliPhone\\C:\\tune.wav", {'w'});
    const std::wstring folder = mirror_->path() + L"\\CliPhone", memory = folder + L"\\Phone memory (C)";
    RunResult result = Run(L"-k imei NoSuchPhone + refresh \"" + dir.path() + L"\" --recursive + refresh \"" + folder +
                           L"\" --files --recursive + convert \"" + memory +
                           L"\\tune.wav.vfslnk\" 2 3 + help guide.chm + tree \"" + folder + L"\" + terminate");
    EXPECT_EQ(1u, result.exitCode);
    EXPECT_EQ(L"quelvar: imei NoSuchPhone: error 0x80044343 phone: failure\n", result.err);
    std::wstring walk;
    for (const wchar_t* below : {L"", L"\\A", L"\\A\\inner", L"\\b", L"\\c.vfslnk"})
        walk += L"refreshed " + dir.path() + below + L" (folders)\n";
    EXPECT_EQ(walk, result.out.substr(0, walk.size()));
    for (const std::wstring& line :
         {L"refreshed " + memory + L" (folders and files)\n",
          L"\nconverted " + memory + L"\\tune.wav.vfslnk (format 3 to 2): " + memory + L"\\tune.mp3.vfslnk\n" +
              L"help guide.chm: window 0x00ABC123\n",
          std::wstring(L"  Name=\"Notes\" "),
          std::wstring(L".vfslnk  Name=\"con.txt\" Size=3 Modified=2005-02-28 13:45:09 "), L"\n" + kTerminated + L"\n"})
        EXPECT_NE(std::wstring::npos, result.out.find(line)) << Narrow(line) << " in\n" << Narrow(result.out);
}

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

} // namespace
