// Registry settings, folder descriptions and their class ids.
#include "mirror/Configuration.h"
#include "common/ExecutablePath.h"

#include "RegistryOverride.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

using namespace testing_support;

namespace {

const std::optional<std::wstring> kAbsent = std::nullopt;

class Configuration : public ::testing::Test
{
protected:
    void SetUp() override { mirror::ResetConfigurationForTesting(); }
    void TearDown() override { mirror::ResetConfigurationForTesting(); }
};

TEST_F(Configuration, MirrorRootFollowsTheFirstKeyThatOpens)
{
    const struct {
        const char* name;
        bool firstKey;
        std::optional<std::wstring> firstRoot;
        std::optional<std::wstring> secondRoot;
        LSTATUS result;
        std::wstring root;
    } cases[] = {
        {"first wins over second", true, L"C:\\Mirror\\First", L"C:\\Mirror\\Second", ERROR_SUCCESS,
         L"C:\\Mirror\\First"},
        {"first key without value hides second", true, kAbsent, L"C:\\Mirror\\Second", ERROR_FILE_NOT_FOUND, L""},
        {"second when first is missing", false, kAbsent, L"C:\\Mirror\\Second", ERROR_SUCCESS, L"C:\\Mirror\\Second"},
        {"value of 260 characters not taken", true, std::wstring(260, L'a'), kAbsent, ERROR_MORE_DATA, L""},
        {"value of 259 characters taken", true, std::wstring(259, L'a'), kAbsent, ERROR_SUCCESS,
         std::wstring(259, L'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mirror::ResetConfigurationForTesting();
        RegistryKeyAbsence noFirst(HKEY_CURRENT_USER, mirror::kDataLayerKey);
        ASSERT_TRUE(noFirst.ok());
        RegistryOverride second(HKEY_CURRENT_USER, mirror::kDataLayerFallbackKey, L"Root", c.secondRoot);
        // A second value keeps the first key open when its root value is absent.
        std::optional<RegistryOverride> first, marker;
        if (c.firstKey) {
            first.emplace(HKEY_CURRENT_USER, mirror::kDataLayerKey, L"Root", c.firstRoot);
            marker.emplace(HKEY_CURRENT_USER, mirror::kDataLayerKey, L"Other", std::wstring(L"x"));
        }
        EXPECT_EQ(c.result, mirror::ReadMirrorRoot());
        EXPECT_EQ(c.root, mirror::MirrorRoot());
    }
}

TEST_F(Configuration, VendorNameComesFromTheLibraryNextToTheExecutable)
{
    TempDir noLibrary;
    SetExecutablePathForTesting(noLibrary / L"Server.exe");
    EXPECT_EQ(L"Zentrel", mirror::VendorName());
    if (!FileExists(ProductDir() + L"\\Dravo.dll"))
        GTEST_SKIP() << "vendor library not built";
    const std::pair<std::optional<std::wstring>, const wchar_t*> cases[] = {
        {L"Quarnet", L"Quarnet"}, {L"", L"Zentrel"}, {kAbsent, L"Zentrel"}};
    for (const auto& [reported, vendor] : cases) {
        RegistryOverride value(HKEY_LOCAL_MACHINE, L"Software\\Marlith\\Dravo", L"Vendor", reported);
        mirror::ResetConfigurationForTesting();
        SetExecutablePathForTesting(ProductDir() + L"\\Server.exe");
        EXPECT_EQ(vendor, mirror::VendorName()) << Narrow(reported.value_or(L"<absent>"));
    }
}

TEST_F(Configuration, ClassIdOfAFolderDescriptionMustBeBareAndValid)
{
    const std::pair<const char*, HRESULT> cases[] = {
        {"<?xml version=\"1.0\"?><Folder><Name>A</Name><CLSID>C0C4375A-5B72-4efe-929D-3B848C3A1E91</CLSID>"
         "<CLSID>second</CLSID></Folder>",
         S_OK}, // the first element counts
        {"<Folder><CLSID>{C0C4375A-5B72-4efe-929D-3B848C3A1E91}</CLSID></Folder>", E_FAIL},
        {"<Folder><Name>x</Name></Folder>", E_FAIL},
        {"<Folder><CLSID>broken", E_FAIL},
    };
    for (const auto& [xml, result] : cases) {
        TempDir dir;
        WriteText(dir / L"Folder.xml", xml);
        GUID clsid{};
        EXPECT_EQ(result, mirror::GetClassIdFromFolderXml(dir.path().c_str(), &clsid)) << xml;
    }
}

} // namespace
