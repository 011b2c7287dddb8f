#include "ConfigCommands.h"
#include "PhoneConfig.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

using namespace obex;

namespace {

const wchar_t kScratchKey[] = L"Software\\QuelvarTests\\ObexPhones";

// A configuration of its own, under a scratch key removed before and after.
class PhoneConfigTest : public ::testing::Test
{
protected:
    PhoneConfigTest() { SHDeleteKeyW(HKEY_CURRENT_USER, kScratchKey); }
    ~PhoneConfigTest() override { SHDeleteKeyW(HKEY_CURRENT_USER, kScratchKey); }

    int Run(std::vector<std::wstring> arguments) { return RunConfigCommand(arguments, config_, out_, error_); }

    PhoneConfig config_{HKEY_CURRENT_USER, kScratchKey};
    std::wstring out_, error_;
};

} // namespace

TEST_F(PhoneConfigTest, AddListRemoveAndConflictsExitTwo)
{
    ASSERT_EQ(kExitOk, Run({L"add", L"Kitchen phone", L"tcp:127.0.0.1:6500", L"--imei", L"350000000000001", L"--model",
                            L"K-1"}));
    EXPECT_EQ(L"Added Kitchen phone (tcp:127.0.0.1:6500, IMEI 350000000000001).\n", out_);
    ASSERT_EQ(kExitOk, Run({L"add", L"attic", L"tcp:phone.example"}));
    const std::wstring atticImei = DerivedImei(L"tcp:phone.example", 0);
    EXPECT_EQ(kExitConflict, Run({L"add", L"KITCHEN PHONE", L"tcp:other"}));
    EXPECT_EQ(L"A phone named \"Kitchen phone\" is configured already.\n", error_);
    EXPECT_EQ(kExitConflict, Run({L"add", L"two", L"tcp:other", L"--imei", L"350000000000001"}));
    EXPECT_EQ(L"Another phone has the IMEI 350000000000001 already.\n", error_);

    ASSERT_EQ(kExitOk, Run({L"list"}));
    EXPECT_EQ(L"attic\ttcp:phone.example\t" + atticImei + L"\t\n" +
                  L"Kitchen phone\ttcp:127.0.0.1:6500\t350000000000001\tK-1\n",
              out_);
    ASSERT_EQ(kExitOk, Run({L"remove", L"KITCHEN PHONE"}));
    EXPECT_EQ(kExitConflict, Run({L"remove", L"Kitchen phone"}));
    EXPECT_EQ(L"No phone is named \"Kitchen phone\".\n", error_);
    EXPECT_EQ(kExitOk, Run({L"list"}));
    EXPECT_EQ(L"attic\ttcp:phone.example\t" + atticImei + L"\t\n", out_);
}

TEST_F(PhoneConfigTest, BadInputExitsOneWithItsReason)
{
    const std::wstring longAlias(kMaxAliasLength + 1, L'a');
    const std::wstring notAFolder =
        L"\" cannot name a folder: no \\ / : * ? \" < > |, control characters, or leading or trailing blanks and dots.";
    const std::wstring use = L" Use tcp:HOST or tcp:HOST:PORT (port 650 when none is given).";
    const struct {
        std::vector<std::wstring> arguments;
        std::wstring firstLine;
    } cases[] = {
        {{L"add", L"", L"tcp:host"}, L"The alias is empty."},
        {{L"add", longAlias, L"tcp:host"}, L"The alias is too long (at most 64 characters)."},
        {{L"add", L"a/b", L"tcp:host"}, L"The alias \"a/b" + notAFolder},
        {{L"add", L"..", L"tcp:host"}, L"The alias \".." + notAFolder},
        {{L"add", L"a", L""}, L"The address is empty."},
        {{L"add", L"a", L"tcp:" + std::wstring(kMaxAddressLength, L'h')},
         L"The address is too long (at most 260 characters)."},
        {{L"add", L"a", L"bt:00:11:22:33:44:55"},
         L"The address \"bt:00:11:22:33:44:55\" has a form this build cannot serve." + use},
        {{L"add", L"a", L"tcp:host:0"}, L"The port of \"tcp:host:0\" is not a number from 1 to 65535." + use},
        {{L"add", L"a", L"tcp:host:65536"}, L"The port of \"tcp:host:65536\" is not a number from 1 to 65535." + use},
        {{L"add", L"a", L"tcp:ho st"}, L"The host of \"tcp:ho st\" is not a host name or IPv4 address." + use},
        {{L"add", L"a", L"tcp:host", L"--imei", L"12 34"}, L"The IMEI \"12 34\" may hold only letters, digits and -."},
        {{L"add", L"a", L"tcp:host", L"--model", std::wstring(65, L'm')},
         L"The model is too long (at most 64 characters)."},
        {{L"add", L"a", L"tcp:host", L"--colour", L"red"}, L"Unknown option \"--colour\"."},
        {{L"add", L"a", L"tcp:host", L"--model"}, L"--model needs a value."},
        {{L"add", L"a"}, L"add needs an alias and an address."},
        {{L"remove"}, L"remove needs exactly one alias."},
        {{L"frobnicate"}, L"Unknown command \"frobnicate\"."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::Narrow(c.firstLine));
        EXPECT_EQ(kExitUsage, Run(c.arguments)) << "malformed input is a usage error";
        EXPECT_EQ(c.firstLine, error_.substr(0, error_.find(L'\n')));
        EXPECT_EQ(L"", out_);
    }
    EXPECT_EQ(kExitOk, Run({L"list"}));
    EXPECT_EQ(L"", out_) << "nothing refused was stored";
}

TEST_F(PhoneConfigTest, DerivedImeiIsAStableValidImei)
{
    // 15 digits ending in their Luhn check digit.
    EXPECT_EQ(L"355200288532770", DerivedImei(L"tcp:127.0.0.1:650", 0));
    EXPECT_EQ(L"355200288532770", DerivedImei(L"TCP:127.0.0.1:650", 0));
    EXPECT_EQ(L"354181917482762", DerivedImei(L"tcp:127.0.0.1:650", 1));
    EXPECT_EQ(L"358551082514910", DerivedImei(L"tcp:127.0.0.1:651", 0));
}

TEST_F(PhoneConfigTest, PhoneWithoutImeiGetsOneStoredOnce)
{
    // Two phones at one address, one entered by hand without an IMEI.
    std::wstring why;
    ASSERT_EQ(S_OK, config_.Add({L"first", L"tcp:host", L"", L""}, why));
    const wchar_t address[] = L"tcp:host";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kScratchKey) + L"\\second").c_str(),
                                             L"Address", REG_SZ, address, sizeof address));

    std::vector<PhoneEntry> phones;
    ASSERT_EQ(S_OK, config_.List(phones));
    ASSERT_EQ(2u, phones.size());
    EXPECT_EQ(DerivedImei(L"tcp:host", 0), phones[0].imei);
    EXPECT_EQ(DerivedImei(L"tcp:host", 1), phones[1].imei) << "an IMEI of its own";

    wchar_t stored[40] = {};
    DWORD size = sizeof stored;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, (std::wstring(kScratchKey) + L"\\second").c_str(), L"Imei",
                                          RRF_RT_REG_SZ, nullptr, stored, &size));
    EXPECT_EQ(phones[1].imei, stored) << "kept for the next reading";
}

TEST_F(PhoneConfigTest, RenameKeepsThePhoneAndRefusesClashes)
{
    std::wstring why;
    ASSERT_EQ(S_OK, config_.Add({L"old", L"tcp:host:7", L"42", L"M"}, why));
    ASSERT_EQ(S_OK, config_.Add({L"other", L"tcp:host:8", L"43", L""}, why));

    EXPECT_EQ(config_error::AlreadyExists, config_.Rename(L"old", L"OTHER", why));
    EXPECT_EQ(config_error::NotFound, config_.Rename(L"missing", L"new", why));
    EXPECT_EQ(config_error::BadName, config_.Rename(L"old", L"a:b", why));
    EXPECT_EQ(config_error::NameTooLong, config_.Rename(L"old", std::wstring(65, L'x'), why));

    // What the phone keeps is pinned through the suite's own rename; here a change of case.
    ASSERT_EQ(S_OK, config_.Rename(L"old", L"Renamed", why));
    ASSERT_EQ(S_OK, config_.Rename(L"renamed", L"RENAMED", why));
    PhoneEntry phone;
    ASSERT_EQ(S_OK, config_.Find(L"renamed", phone));
    EXPECT_EQ(L"RENAMED", phone.alias);
    EXPECT_EQ(L"42", phone.imei);
}
