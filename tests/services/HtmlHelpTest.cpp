// The HTML Help loader in process, with the stand-in control of the test folder
// found through a registry key of the test's own or by name.
#include "RegistryOverride.h"
#include "TestSupport.h"
#include "services/HtmlHelp.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

using namespace testing_support;

namespace {

const std::wstring kKey = L"CLSID\\{5D3A1E27-8C41-4B0E-9F6A-2E7B9C1D4F03}\\InprocServer32";
const std::wstring kControl = TestProgramDir() + L"\\help_control.dll", kMissing = TestProgramDir() + L"\\none.ocx";

// The calls the stand-in recorded since the last look.
std::string TakeCalls()
{
    const std::wstring file = kControl + L".calls";
    const std::vector<unsigned char> bytes = ReadBytes(file); // none when nothing was called
    DeleteFileW(file.c_str());
    return std::string(bytes.begin(), bytes.end());
}

TEST(HtmlHelpLoader, RegisteredControlElseByNameElseNoHelpForGood)
{
    // registered path, module name, ordinal, window
    const std::tuple<std::optional<std::wstring>, const wchar_t*, WORD, LONG_PTR> cases[] = {
        {kControl, L"none.ocx", 15, 0x00ABC123},
        {std::nullopt, L"help_control.dll", 15, 0x00ABC123},
        {kMissing, L"help_control.dll", 15, 0x00ABC123},
        {kMissing, L"none.ocx", 15, 0},
        {kControl, L"none.ocx", 16, 0}};
    TakeCalls();
    for (const auto& [registered, name, ordinal, window] : cases) {
        RegistryOverride registration(HKEY_CLASSES_ROOT, kKey, L"", registered);
        services::HtmlHelpLoader loader({kKey, name, ordinal});
        const HWND answer = loader.Call(reinterpret_cast<HWND>(0x1234), L"guide.chm::/a.htm", 15, 77);
        EXPECT_EQ(window, reinterpret_cast<LONG_PTR>(answer)) << name << ordinal;
        EXPECT_EQ(window ? "0x1234|guide.chm::/a.htm|15|77\n" : "", TakeCalls()) << name;
        EXPECT_EQ(!window, loader.Failed());
        if (!window) { // no second attempt, though the control is there now
            RegistryOverride now(HKEY_CLASSES_ROOT, kKey, L"", kControl);
            EXPECT_EQ(nullptr, loader.Call(nullptr, L"again.chm", 0, 0));
            EXPECT_EQ("", TakeCalls());
        }
    }
}

} // namespace
