// Convert end to end: the server out of process, the simulated phone-commands
// component, the progress dialog found on the screen.
#include "ServerRig.h"
#include "Windows.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

using namespace testing_support;

namespace {

const std::wstring kOnPhone = L"ALIAS:CPhone\\C:\\";
const std::vector<unsigned char> kClip = {'R', 'I', 'F', 'F', 0, 0xFF};

// One server, phone and mirror for every case.
class Conversions : public SharedRig<>
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<ServerRig>(L"C:\\QuelvarConversionTests", L"CPhone", L"356938035640021");
        rig_->phones.PutBytes(kOnPhone + L"clip.wav", kClip);
        rig_->phones.PutBytes(kOnPhone + L"CLIP.MP3", {'o', 'l', 'd'});
        rig_->phones.PutBytes(kOnPhone + L"slow.wav", std::vector<unsigned char>(5000, 's'));
        ASSERT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(memory_).get(), VARIANT_TRUE));
    }
    static inline const std::wstring memory_ = L"C:\\QuelvarConversionTests\\CPhone\\Phone memory (C)";
};

// The answered name may differ from the listed one in letter case only; what
// fails before the conversion never makes the phone-commands component.
TEST_F(Conversions, TheNewFilesShortcutOrTheFailure)
{
    TempDir pc;
    WriteBytes(pc / L"clip.wav.vfslnk", kClip);
    WriteBytes(memory_ + L"\\clip.amr", kClip); // a PC file stands for no phone file
    const std::wstring clip = memory_ + L"\\clip.wav.vfslnk";
    // A folder outside the mirror root that looks like the phone's, "IMEI" and all.
    MakeFolders(pc.path(), {L"\\CPhone", L"\\CPhone\\Phone memory (C)"});
    WriteText(pc / L"CPhone\\IMEI", "356938035640021");
    const std::wstring lookalike = pc / L"CPhone\\Phone memory (C)\\clip.wav.vfslnk";
    ASSERT_TRUE(CopyFileW(clip.c_str(), lookalike.c_str(), FALSE));
    // file, target format, fault, result, output in the memory's mirror folder, PhoneCommands made
    const std::tuple<std::wstring, short, const wchar_t*, HRESULT, const wchar_t*, bool> cases[] = {
        {clip, 1, nullptr, S_OK, L"clip.amr.vfslnk", true},
        {clip, 2, nullptr, S_OK, L"CLIP.MP3.vfslnk", true},
        {clip, 99, nullptr, static_cast<HRESULT>(0x80044341), L"", true},
        {clip, 8, L"Convert", static_cast<HRESULT>(0x80046012), L"", true},
        {clip, 1, L"GetImei", static_cast<HRESULT>(0x80044343), L"", false},
        {pc / L"clip.wav.vfslnk", 1, nullptr, E_FAIL, L"", false},
        {lookalike, 1, nullptr, E_FAIL, L"", false},
        {rig_->root + L"\\CPhone\\Contacts\\a.vfslnk", 1, nullptr, E_FAIL, L"", true}, // no phone path there
    };
    for (const auto& [file, target, fault, hr, name, made] : cases) {
        rig_->phones.LastCall(L"PhoneCommands");
        ASSERT_TRUE(!fault || rig_->phones->SetFault(Bstr(fault).get(), hr, 1) == S_OK);
        unique_bstr output;
        EXPECT_EQ(hr, rig_->quelvar->Convert(Bstr(file).get(), target, 3, output.put(), 0)) << target;
        EXPECT_EQ(*name ? memory_ + L"\\" + name : L"", output.c_str());
        EXPECT_EQ(made ? L"1" : L"<none>", rig_->phones.LastCall(L"PhoneCommands")) << Narrow(file) << target;
    }
}

TEST_F(Conversions, TheDialogNamesThePhoneFileMeanwhile)
{
    rig_->phones->SetChunkSize(1000), rig_->phones->SetTransferDelay(400); // five chunks: 2 s
    std::wstring line1 = L"(no dialog)";
    std::thread watcher([&] {
        if (HWND dialog = WaitForDialog(L"Converting..."))
            line1 = ControlText(dialog, 103);
    });
    unique_bstr output;
    EXPECT_EQ(S_OK, rig_->quelvar->Convert(Bstr(memory_ + L"\\slow.wav.vfslnk").get(), 6, 3, output.put(), 0));
    watcher.join();
    rig_->phones->SetTransferDelay(0);
    EXPECT_EQ(L"slow.wav", line1);
    EXPECT_EQ(L"ALIAS:CPhone\\C:\\slow.wav|6|3", rig_->phones.LastCall(L"Convert"));
}

} // namespace
