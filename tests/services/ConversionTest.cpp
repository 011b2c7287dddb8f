// Convert end to end: the server out of process, the simulated phone-commands
// component, the progress dialog found on the screen.
#include "Processes.h"
#include "RegistryOverride.h"
#include "SimulatedPhones.h"
#include "Windows.h"
#include "ZentrelQuelvar.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

using namespace testing_support;

namespace {

const std::wstring kOnPhone = L"ALIAS:CPhone\\C:\\";
const std::vector<unsigned char> kClip = {'R', 'I', 'F', 'F', 0, 0xFF};

// One server, phone and mirror for every case.
struct Rig {
    Rig()
    {
        RegisterServer();
        EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 30000)) << "it would keep an older mirror root";
        phones.AddPhone(L"CPhone", L"356938035640021");
        phones.PutBytes(kOnPhone + L"clip.wav", kClip);
        phones.PutBytes(kOnPhone + L"CLIP.MP3", {'o', 'l', 'd'});
        phones.PutBytes(kOnPhone + L"slow.wav", std::vector<unsigned char>(5000, 's'));
        phones.Connect(L"CPhone");
        if (CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar.put_void()) != S_OK)
            return;
        EXPECT_EQ(S_OK, quelvar->RefreshFolder(Bstr(mirror / L"CPhone").get(), VARIANT_FALSE));
        EXPECT_EQ(S_OK, quelvar->RefreshFolder(Bstr(memory).get(), VARIANT_TRUE));
    }
    ~Rig() { EXPECT_EQ(S_OK, quelvar ? quelvar->Terminate() : S_OK); }
    HRESULT Convert(const std::wstring& file, short target, std::wstring& output)
    {
        unique_bstr name;
        HRESULT hr = quelvar->Convert(Bstr(file).get(), target, 3, name.put(), 0);
        output = name.c_str();
        return hr;
    }
    TempDir mirror;
    RegistryOverride root{HKEY_CURRENT_USER, L"Software\\Marlith\\DataLayer", L"Root", mirror.path()};
    std::wstring memory = mirror / L"CPhone\\Phone memory (C)";
    SimulatedPhones phones;
    com_ptr<IQuelvar> quelvar;
};

class Conversions : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<Rig>();
        ASSERT_TRUE(rig_->quelvar) << "no main object";
    }
    static void TearDownTestSuite() { rig_.reset(); }
    static inline std::unique_ptr<Rig> rig_;
};

// The answered name may differ from the listed one in letter case only; what
// fails before the conversion never makes the phone-commands component.
TEST_F(Conversions, TheNewFilesShortcutOrTheFailure)
{
    TempDir pc;
    WriteBytes(pc / L"clip.wav.vfslnk", kClip);
    WriteBytes(rig_->memory + L"\\clip.amr", kClip); // a PC file stands for no phone file
    const std::wstring clip = rig_->memory + L"\\clip.wav.vfslnk";
    // file, target format, fault, result, output in the memory's mirror folder, PhoneCommands made
    const std::tuple<std::wstring, short, const wchar_t*, HRESULT, const wchar_t*, bool> cases[] = {
        {clip, 1, nullptr, S_OK, L"clip.amr.vfslnk", true},
        {clip, 2, nullptr, S_OK, L"CLIP.MP3.vfslnk", true},
        {clip, 99, nullptr, static_cast<HRESULT>(0x80044341), L"", true},
        {clip, 8, L"Convert", static_cast<HRESULT>(0x80046012), L"", true},
        {clip, 1, L"GetImei", static_cast<HRESULT>(0x80044343), L"", false},
        {pc / L"clip.wav.vfslnk", 1, nullptr, E_FAIL, L"", false},
        {rig_->mirror / L"CPhone\\Contacts\\a.vfslnk", 1, nullptr, E_FAIL, L"", true}, // no phone path there
    };
    for (const auto& [file, target, fault, hr, name, made] : cases) {
        rig_->phones.LastCall(L"PhoneCommands");
        ASSERT_TRUE(!fault || rig_->phones->SetFault(Bstr(fault).get(), hr, 1) == S_OK);
        std::wstring output;
        EXPECT_EQ(hr, rig_->Convert(file, target, output)) << target;
        EXPECT_EQ(*name ? rig_->memory + L"\\" + name : L"", output);
        EXPECT_EQ(made ? L"1" : L"<none>", rig_->phones.LastCall(L"PhoneCommands")) << target;
    }
}

TEST_F(Conversions, TheDialogNamesThePhoneFileMeanwhile)
{
    ASSERT_EQ(S_OK, rig_->phones->SetChunkSize(1000));
    ASSERT_EQ(S_OK, rig_->phones->SetTransferDelay(400)); // five chunks: 2 s
    std::wstring line1 = L"(no dialog)", output;
    std::thread watcher([&] {
        if (HWND dialog = WaitForDialog(L"Converting..."))
            line1 = ControlText(dialog, 103);
    });
    EXPECT_EQ(S_OK, rig_->Convert(rig_->memory + L"\\slow.wav.vfslnk", 6, output));
    watcher.join();
    rig_->phones->SetTransferDelay(0);
    EXPECT_EQ(L"slow.wav", line1);
    EXPECT_EQ(rig_->memory + L"\\slow.mp4.vfslnk", output);
    EXPECT_EQ(L"ALIAS:CPhone\\C:\\slow.wav|6|3", rig_->phones.LastCall(L"Convert"));
}

} // namespace
