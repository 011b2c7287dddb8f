// Common set-up of the language tests: a clean process state, the vendor name
// "Zentrel" and the installation key of the language settings.
#pragma once

#include "localisation/LanguageResources.h"
#include "RegistryOverride.h"
#include "TestSupport.h"
#include "common/ExecutablePath.h"
#include "localisation/PredefinedFolders.h"

#include <gtest/gtest.h>

#include <optional>
#include <memory>
#include <string>
#include <vector>

constexpr wchar_t kVendor[] = L"Zentrel";
constexpr wchar_t kInstallationKey[] = L"Software\\Zentrel\\Marlith";

class LanguageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetExecutablePathForTesting({});
        localisation::ResetLanguageStateForTesting();
    }

    static std::wstring EnglishFile() { return testing_support::ProductDir() + L"\\Lang\\Ostrelle_enu.vexa"; }
    static std::wstring HebrewFile() { return testing_support::ProductDir() + L"\\Lang\\Ostrelle_heb.vexa"; }
    static std::wstring TestFile() { return testing_support::TestProgramDir() + L"\\Ostrelle_tst.vexa"; }

    // Sets one value of the installation key for the test.
    void SetInstallationValue(const wchar_t* name, const std::optional<std::wstring>& value)
    {
        overrides_.emplace_back(
            std::make_unique<testing_support::RegistryOverride>(HKEY_LOCAL_MACHINE, kInstallationKey, name, value));
    }

    // Undone last first: a value set twice gets its first content back.
    ~LanguageTest() override
    {
        while (!overrides_.empty())
            overrides_.pop_back();
    }

private:
    std::vector<std::unique_ptr<testing_support::RegistryOverride>> overrides_;
};
