// Convert end to end: the server out of process, the simulated phone-commands
// component, the progress dialog found on the screen.
#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "Windows.h"
#include "ZentrelQuelvar.h"

#include <gtest/gtest.h>

#include <thread>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

namespace {

const std::wstring kOnPhone = L"ALIAS:CPhone\\C:\\";
const Bytes kClip = {'R', 'I', 'F', 'F', 0, 0xFF};

// One server, phone and mirror for every case.
struct Rig {
    TempDir mirror;
    RegistryOverride root{HKEY_CURRENT_USER, L"Software\\Marlith\\DataLayer", L"Root", mirror.path()};
    std::wstring memory = mirror / L"CPhone\\Phone memory (C)";
    SimulatedPhones phones;
    com_ptr<IQuelvar> quelvar;
    ~Rig() { EXPECT_EQ(S_OK, quelvar ? quelvar->Terminate() : S_OK); }
    HRESULT Convert(const std::wstring& file, short target, std::wstring& output)
    {
        unique_bstr name;
        HRESULT hr = quelvar->Convert(Bstr(file).get(), target, 3, name.put(), 0);
        output = name.c_str();
        return hr;
    }
};
std::unique_ptr<Rig> g_rig;

class Conversions : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        RegisterServer();
        ASSERT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000)) << "it would keep an older mirror root";
        g_rig = std::make_unique<Rig>();
        g_rig->phones.AddPhone(L"CPhone", L"356938035640021");
        g_rig->phones.PutBytes(kOnPhone + L"clip.wav", kClip);
        g_rig->phones.PutBytes(kOnPhone + L"CLIP.MP3", {'o', 'l', 'd'});
        g_rig->phones.PutBytes(kOnPhone + L"slow.wav", Bytes(5000, 's'));
        g_rig->phones.Connect(L"CPhone");
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar,
                                         g_rig->quelvar.put_void()));
        ASSERT_EQ(S_OK, g_rig->quelvar->RefreshFolder(Bstr(g_rig->mirror / L"CPhone").get(), VARIANT_FALSE));
        ASSERT_EQ(S_OK, g_rig->quelvar->RefreshFolder(Bstr(g_rig->memory).get(), VARIANT_TRUE));
    }
    static void TearDownTestSuite() { g_rig.reset(); }
};

// The answered name may differ from the listed one in letter case only; what
// fails before the conversion never makes the phone-commands component.
TEST_F(Conversions, TheNewFilesShortcutOrTheFailure)
{
    TempDir pc;
    WriteBytes(pc / L"clip.wav.vfslnk", kClip);
    WriteBytes(g_rig->memory + L"\\clip.amr", kClip); // a PC file stands for no phone file
    const std::wstring clip = g_rig->memory + L"\\clip.wav.vfslnk";
    const struct {
        std::wstring file;
        short target;
        const wchar_t* fault;
        HRESULT hr;
        const wchar_t* output; // in the memory's mirror folder
        bool made;             // a PhoneCommands instance
    } cases[] = {
        {clip, 1, nullptr, S_OK, L"clip.amr.vfslnk", true},
        {clip, 2, nullptr, S_OK, L"CLIP.MP3.vfslnk", true},
        {clip, 99, nullptr, static_cast<HRESULT>(0x80044341), L"", true},
        {clip, 8, L"Convert", static_cast<HRESULT>(0x80046012), L"", true},
        {clip, 1, L"GetImei", static_cast<HRESULT>(0x80044343), L"", false},
        {pc / L"clip.wav.vfslnk", 1, nullptr, E_FAIL, L"", false},
        {g_rig->mirror / L"CPhone\\Contacts\\a.vfslnk", 1, nullptr, E_FAIL, L"", true}, // no phone path there
    };
    for (const auto& test : cases) {
        g_rig->phones.LastCall(L"PhoneCommands");
        ASSERT_TRUE(!test.fault || g_rig->phones->SetFault(Bstr(test.fault).get(), test.hr, 1) == S_OK);
        std::wstring output;
        EXPECT_EQ(test.hr, g_rig->Convert(test.file, test.target, output)) << test.target;
        EXPECT_EQ(*test.output ? g_rig->memory + L"\\" + test.output : L"", output);
        EXPECT_EQ(test.made ? L"1" : L"<none>", g_rig->phones.LastCall(L"PhoneCommands")) << test.target;
    }
    unique_variant converted;
    ASSERT_EQ(S_OK, g_rig->phones->GetFile(Bstr(kOnPhone + L"CLIP.MP3").get(), converted.put()));
    EXPECT_EQ(kClip, BytesOf(*converted.get()));
    EXPECT_FALSE(g_rig->phones.Has(kOnPhone + L"clip.gif"));
}

TEST_F(Conversions, TheDialogNamesThePhoneFileMeanwhile)
{
    ASSERT_EQ(S_OK, g_rig->phones->SetChunkSize(1000));
    ASSERT_EQ(S_OK, g_rig->phones->SetTransferDelay(400)); // five chunks: 2 s
    std::wstring line1 = L"(no dialog)", output;
    std::thread watcher([&] {
        if (HWND dialog = WaitForDialog(L"Converting..."))
            line1 = ControlText(dialog, 103);
    });
    EXPECT_EQ(S_OK, g_rig->Convert(g_rig->memory + L"\\slow.wav.vfslnk", 6, output));
    watcher.join();
    g_rig->phones->SetTransferDelay(0);
    EXPECT_EQ(L"slow.wav", line1);
    EXPECT_EQ(g_rig->memory + L"\\slow.mp4.vfslnk", output);
    EXPECT_EQ(L"ALIAS:CPhone\\C:\\slow.wav|6|3", g_rig->phones.LastCall(L"Convert"));
}

} // namespace
