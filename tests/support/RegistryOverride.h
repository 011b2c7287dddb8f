// Sets (or removes) one registry value for the length of a scope and puts back
// what was there before, keys it had to create included.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class RegistryOverride
{
public:
    // A string value; std::nullopt removes the value for the scope.
    RegistryOverride(HKEY root, const std::wstring& key, const std::wstring& name,
                     const std::optional<std::wstring>& value);
    RegistryOverride(const RegistryOverride&) = delete;
    RegistryOverride& operator=(const RegistryOverride&) = delete;
    ~RegistryOverride();

private:
    HKEY root_;
    std::wstring key_;
    std::wstring name_;
    bool hadValue_ = false;
    DWORD oldType_ = 0;
    std::vector<BYTE> oldData_;
    // Keys this override created, deepest first, removed again when left empty.
    std::vector<std::wstring> createdKeys_;
};

// The settings the server reads at start, as the test rig gives them: the mirror
// root, and the values of the installation's key (the simulated vendor's).
RegistryOverride MirrorRootSetting(const std::optional<std::wstring>& root);
RegistryOverride InstallationSetting(const wchar_t* name, const std::optional<std::wstring>& value);

// Makes a key absent for the length of a scope: copied aside meanwhile, then put back.
class RegistryKeyAbsence
{
public:
    RegistryKeyAbsence(HKEY root, const std::wstring& key);
    RegistryKeyAbsence(const RegistryKeyAbsence&) = delete;
    RegistryKeyAbsence& operator=(const RegistryKeyAbsence&) = delete;
    ~RegistryKeyAbsence();
    // False when the key could not be copied aside and was left alone.
    bool ok() const { return ok_; }

private:
    HKEY root_;
    std::wstring key_, kept_;
    bool ok_ = true;
    bool removed_ = false;
};

} // namespace testing_support
