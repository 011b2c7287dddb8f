// The one rule of a phone file's transfer, step by step against a scripted
// component: what a failed open, read or write, time or close leaves on the
// PC, on the phone and in the mirror folder.
#include "ScriptedComponent.h"
#include "TestSupport.h"
#include "common/Resource.h"
#include "fileops/PhoneFile.h"
#include "shortcut/ShortcutFiles.h"

#include <gtest/gtest.h>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;
using Calls = std::vector<std::wstring>;

namespace {

constexpr DATE kTime = 38411 + 49509.0 / 86400; // 2005-02-28 13:45:09
constexpr HRESULT kRefused = 0x4342, kRefusedMapped = static_cast<HRESULT>(0x80044342);
constexpr HRESULT kFull = 0x4360, kFullMapped = static_cast<HRESULT>(0x80044360);
const std::wstring kPhonePath = L"ALIAS:P\\C:\\a.bin";

class PhoneFileTransfer : public testing::Test
{
protected:
    // A fresh component for one case.
    fileops::PhoneSide Side(const std::map<std::wstring, HRESULT>& faults)
    {
        scripted_ = ScriptedComponent::Create();
        scripted_->faults = faults;
        scripted_->content = {9, 8, 7};
        scripted_->modified = kTime;
        phoneFs_.emplace(scripted_.get(), nullptr);
        return {*phoneFs_, nullptr, nullptr};
    }

    com_ptr<ScriptedComponent> scripted_;
    std::optional<phone::PhoneFileSystem> phoneFs_;
    TempDir dir_;
};

} // namespace

TEST_F(PhoneFileTransfer, AnUploadArrivesOnlyWhenWriteAndCloseSucceedAndOnlyThenHasAShortcut)
{
    const Calls all = {L"fopen", L"fwrite", L"fsettime", L"fclose"};
    const struct {
        std::map<std::wstring, HRESULT> faults;
        HRESULT hr;
        Calls calls;
        bool arrived;
        const char* shortcut; // "new": recorded, "old": the earlier one kept, "": none left
    } cases[] = {
        {{}, S_OK, all, true, "new"},
        {{{L"fopen", kRefused}}, kRefusedMapped, {L"fopen"}, false, "old"},
        {{{L"fwrite", kRefused}}, kRefusedMapped, {L"fopen", L"fwrite", L"fclose"}, false, ""},
        {{{L"fsettime", kRefused}}, S_OK, all, true, "new"},
        {{{L"fclose", kFull}}, kFullMapped, all, false, ""},
        {{{L"fwrite", kRefused}, {L"fclose", kFull}}, kFullMapped, {L"fopen", L"fwrite", L"fclose"}, false, ""},
    };
    const std::wstring file = dir_ / L"a.bin", link = file + L".vfslnk";
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        WriteBytes(file, {1, 2, 3});
        ASSERT_TRUE(SetLastWriteDate(file, kTime));
        WriteText(link, "old");
        const fileops::PhoneSide side = Side(c.faults);
        bool arrived = !c.arrived;
        EXPECT_EQ(c.hr, fileops::UploadFromPcFile(side, file, kPhonePath, arrived)) << i;
        EXPECT_EQ(c.calls, scripted_->calls) << i;
        EXPECT_EQ(c.arrived, arrived) << i;
        if (c.arrived) {
            EXPECT_EQ(Bytes({1, 2, 3}), scripted_->written) << i;
        }
        const std::string shortcut = c.shortcut;
        EXPECT_EQ(shortcut != "", FileExists(link)) << i;
        if (shortcut == "old") {
            EXPECT_EQ(Bytes({'o', 'l', 'd'}), ReadBytes(link)) << i;
        } else if (shortcut == "new") {
            const phone::VFSItem item = shortcut::GetShortcutDetails(link);
            EXPECT_EQ(L"a.bin", std::wstring(item.phoneName)) << i;
            EXPECT_EQ(3, item.size) << i;
            EXPECT_NEAR(kTime, item.modified, 1e-6) << i;
        }
        if (c.calls == all) {
            EXPECT_NEAR(c.faults.count(L"fsettime") ? 0 : kTime, scripted_->timeSet, 1e-6) << i;
        }
        EXPECT_EQ(Bytes({1, 2, 3}), ReadBytes(file)) << i << ": the source is the caller's";
        DeleteFileW(link.c_str());
    }
}

TEST_F(PhoneFileTransfer, ADownloadLeavesAPcFileOnlyWhenReadAndCloseSucceed)
{
    const Calls all = {L"fopen", L"fread", L"fgettime", L"fclose"};
    const struct {
        std::map<std::wstring, HRESULT> faults;
        HRESULT hr;
        Calls calls;
        bool phoneTime; // the PC file carries the phone's time
    } cases[] = {
        {{}, S_OK, all, true},
        {{{L"fopen", kRefused}}, kRefusedMapped, {L"fopen"}, false},
        {{{L"fread", kRefused}}, kRefusedMapped, {L"fopen", L"fread", L"fclose"}, false},
        {{{L"fgettime", kRefused}}, S_OK, all, false},
        {{{L"fclose", kRefused}}, kRefusedMapped, all, false},
        {{{L"fread", 0x4252}, {L"fclose", kFull}}, kFullMapped, {L"fopen", L"fread", L"fclose"}, false},
    };
    const std::wstring file = dir_ / L"a.bin";
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        DeleteFileW(file.c_str());
        const fileops::PhoneSide side = Side(c.faults);
        EXPECT_EQ(c.hr, fileops::DownloadToPcFile(side, kPhonePath, file)) << i;
        EXPECT_EQ(c.calls, scripted_->calls) << i;
        EXPECT_EQ(SUCCEEDED(c.hr), FileExists(file)) << i << ": a PC file only for a whole download";
        if (SUCCEEDED(c.hr)) {
            EXPECT_EQ(Bytes({9, 8, 7}), ReadBytes(file)) << i;
            EXPECT_EQ(c.phoneTime, std::abs(LastWriteDate(file) - kTime) < 1e-6) << i;
        }
    }
}

TEST_F(PhoneFileTransfer, AByteArrayWithoutATimeLeavesThePhoneItsOwn)
{
    unique_variant data;
    ASSERT_EQ(S_OK, MakeByteArray({5}, data.put()));
    const fileops::PhoneSide side = Side({});
    EXPECT_EQ(S_OK, fileops::WritePhoneFile(side, kPhonePath, *data.get(), 0));
    EXPECT_EQ((Calls{L"fopen", L"fwrite", L"fclose"}), scripted_->calls);
    EXPECT_EQ(Bytes({5}), scripted_->written);
}
