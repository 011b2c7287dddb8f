// The configured phones of the OBEX suite: one registry key per phone under the
// suite's own key, named by the phone's alias (its top folder in the mirror).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace obex {

// Failures the server's error box names (low word of the code).
namespace config_error {
constexpr HRESULT NotFound = static_cast<HRESULT>(0x80044353);
constexpr HRESULT AlreadyExists = static_cast<HRESULT>(0x80044354);
constexpr HRESULT NameTooLong = static_cast<HRESULT>(0x8004434D);
constexpr HRESULT BadName = static_cast<HRESULT>(0x8004434E);
} // namespace config_error

struct PhoneEntry {
    std::wstring alias;
    std::wstring address; // tcp:HOST[:PORT]
    std::wstring imei;
    std::wstring model;
};

constexpr size_t kMaxAliasLength = 64;
constexpr size_t kMaxAddressLength = 260;
constexpr size_t kMaxImeiLength = 32;
constexpr size_t kMaxModelLength = 64;

// Each check gives S_OK, or the failure with a message for the user in `why`.
HRESULT CheckAlias(const std::wstring& alias, std::wstring& why);
HRESULT CheckAddress(const std::wstring& address, std::wstring& why);
HRESULT CheckImei(const std::wstring& imei, std::wstring& why);
HRESULT CheckModel(const std::wstring& model, std::wstring& why);

// The IMEI a phone without one gets: 15 digits with a valid check digit, derived
// from its address so that the same phone added again keeps it; `attempt`
// varies it when another phone already has it.
std::wstring DerivedImei(const std::wstring& address, unsigned attempt);

class PhoneConfig
{
public:
    // The suite's own key: HKLM\Software\ObexPhones\Phones.
    PhoneConfig();
    PhoneConfig(HKEY root, std::wstring key);

    // Every phone, by alias; a phone stored without an IMEI gets its derived one
    // stored now, so that it keeps it.
    HRESULT List(std::vector<PhoneEntry>& phones) const;
    HRESULT Find(const std::wstring& alias, PhoneEntry& phone) const;
    // Adds a phone; an empty IMEI is derived.
    HRESULT Add(PhoneEntry phone, std::wstring& why) const;
    HRESULT Remove(const std::wstring& alias) const;
    HRESULT Rename(const std::wstring& oldAlias, const std::wstring& newAlias, std::wstring& why) const;

private:
    HRESULT Write(const PhoneEntry& phone) const;
    HRESULT Delete(const std::wstring& alias) const;
    HRESULT Read(const std::wstring& alias, PhoneEntry& phone) const;

    HKEY root_;
    std::wstring key_;
};

} // namespace obex
