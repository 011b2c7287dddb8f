#include "PhoneConfig.h"

#include "common/Resource.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwctype>

namespace obex {
namespace {

const wchar_t kPhonesKey[] = L"Software\\ObexPhones\\Phones";

bool IsDigits(const std::wstring& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

HRESULT TooLong(const wchar_t* what, size_t limit, std::wstring& why)
{
    why = std::wstring(what) + L" is too long (at most " + std::to_wstring(limit) + L" characters).";
    return config_error::NameTooLong;
}

HRESULT Malformed(std::wstring text, std::wstring& why)
{
    why = std::move(text);
    return config_error::BadName;
}

LSTATUS ReadString(HKEY key, const wchar_t* name, std::wstring& value)
{
    DWORD type = 0, size = 0;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return status;
    if (type != REG_SZ)
        return ERROR_INVALID_DATATYPE;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &size);
    if (status != ERROR_SUCCESS)
        return status;
    buffer.resize(wcsnlen(buffer.c_str(), size / sizeof(wchar_t)));
    value = buffer;
    return ERROR_SUCCESS;
}

LSTATUS WriteString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool SameAlias(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

HRESULT CheckAlias(const std::wstring& alias, std::wstring& why)
{
    if (alias.empty())
        return Malformed(L"The alias is empty.", why);
    if (alias.size() > kMaxAliasLength)
        return TooLong(L"The alias", kMaxAliasLength, why);
    const bool badCharacter = std::any_of(alias.begin(), alias.end(),
                                          [](wchar_t c) { return c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != nullptr; });
    // The alias is the phone's top folder, and a registry key name.
    if (badCharacter || alias == L"." || alias == L".." || alias.back() == L'.' || iswspace(alias.back()) ||
        iswspace(alias.front()))
        return Malformed(L"The alias \"" + alias +
                             L"\" cannot name a folder: no \\ / : * ? \" < > |, control characters, or leading or "
                             L"trailing blanks and dots.",
                         why);
    return S_OK;
}

HRESULT CheckAddress(const std::wstring& address, std::wstring& why)
{
    if (address.empty())
        return Malformed(L"The address is empty.", why);
    if (address.size() > kMaxAddressLength)
        return TooLong(L"The address", kMaxAddressLength, why);
    const std::wstring usage = L" Use tcp:HOST or tcp:HOST:PORT (port 650 when none is given).";
    if (address.compare(0, 4, L"tcp:") != 0)
        return Malformed(L"The address \"" + address + L"\" has a form this build cannot serve." + usage, why);
    std::wstring host = address.substr(4);
    const size_t colon = host.find(L':');
    if (colon != std::wstring::npos) {
        const std::wstring port = host.substr(colon + 1);
        host.resize(colon);
        if (!IsDigits(port) || port.size() > 5 || std::stoul(port) == 0 || std::stoul(port) > 65535)
            return Malformed(L"The port of \"" + address + L"\" is not a number from 1 to 65535." + usage, why);
    }
    const bool hostOk = !host.empty() && std::all_of(host.begin(), host.end(), [](wchar_t c) {
        return (c < 0x80 && iswalnum(c)) || c == L'.' || c == L'-';
    });
    if (!hostOk)
        return Malformed(L"The host of \"" + address + L"\" is not a host name or IPv4 address." + usage, why);
    return S_OK;
}

HRESULT CheckImei(const std::wstring& imei, std::wstring& why)
{
    if (imei.empty())
        return Malformed(L"The IMEI is empty.", why);
    if (imei.size() > kMaxImeiLength)
        return TooLong(L"The IMEI", kMaxImeiLength, why);
    if (!std::all_of(imei.begin(), imei.end(), [](wchar_t c) { return (c < 0x80 && iswalnum(c)) || c == L'-'; }))
        return Malformed(L"The IMEI \"" + imei + L"\" may hold only letters, digits and -.", why);
    return S_OK;
}

HRESULT CheckModel(const std::wstring& model, std::wstring& why)
{
    if (model.size() > kMaxModelLength)
        return TooLong(L"The model", kMaxModelLength, why);
    if (std::any_of(model.begin(), model.end(), [](wchar_t c) { return c < 0x20; }))
        return Malformed(L"The model holds control characters.", why);
    return S_OK;
}

std::wstring DerivedImei(const std::wstring& address, unsigned attempt)
{
    // FNV-1a over the address (case-insensitive) and the attempt.
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : address + L"#" + std::to_wstring(attempt)) {
        hash ^= static_cast<unsigned long long>(towlower(c));
        hash *= 1099511628211ull;
    }
    std::wstring digits = L"35";
    for (int i = 0; i < 12; ++i, hash /= 10)
        digits += static_cast<wchar_t>(L'0' + hash % 10);
    // The Luhn check digit, as a real IMEI carries.
    int sum = 0;
    for (size_t i = 0; i < digits.size(); ++i) {
        int d = digits[i] - L'0';
        if (i % 2 == 1)
            d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
    }
    return digits + static_cast<wchar_t>(L'0' + (10 - sum % 10) % 10);
}

PhoneConfig::PhoneConfig() : PhoneConfig(HKEY_LOCAL_MACHINE, kPhonesKey) {}

PhoneConfig::PhoneConfig(HKEY root, std::wstring key) : root_(root), key_(std::move(key)) {}

HRESULT PhoneConfig::Read(const std::wstring& alias, PhoneEntry& phone) const
{
    unique_hkey key;
    LSTATUS status = RegOpenKeyExW(root_, (key_ + L"\\" + alias).c_str(), 0, KEY_READ, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return config_error::NotFound;
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    phone = PhoneEntry{alias, L"", L"", L""};
    if ((status = ReadString(key.get(), L"Address", phone.address)) != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    for (auto [name, value] : {std::pair{L"Imei", &phone.imei}, std::pair{L"Model", &phone.model}}) {
        status = ReadString(key.get(), name, *value);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT PhoneConfig::Delete(const std::wstring& alias) const
{
    // HRESULT_FROM_WIN32 is a macro that evaluates its argument twice.
    const LSTATUS status = SHDeleteKeyW(root_, (key_ + L"\\" + alias).c_str());
    return HRESULT_FROM_WIN32(status);
}

HRESULT PhoneConfig::Write(const PhoneEntry& phone) const
{
    unique_hkey key;
    LSTATUS status = RegCreateKeyExW(root_, (key_ + L"\\" + phone.alias).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                     key.put(), nullptr);
    if (status == ERROR_SUCCESS)
        status = WriteString(key.get(), L"Address", phone.address);
    if (status == ERROR_SUCCESS)
        status = WriteString(key.get(), L"Imei", phone.imei);
    if (status == ERROR_SUCCESS)
        status = WriteString(key.get(), L"Model", phone.model);
    return HRESULT_FROM_WIN32(status);
}

HRESULT PhoneConfig::List(std::vector<PhoneEntry>& phones) const
{
    phones.clear();
    unique_hkey key;
    LSTATUS status = RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return S_OK;
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    std::vector<std::wstring> aliases;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        status = RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(status);
        aliases.emplace_back(name, length);
    }
    for (const std::wstring& alias : aliases) {
        PhoneEntry phone;
        HRESULT hr = Read(alias, phone);
        if (FAILED(hr))
            return hr;
        phones.push_back(phone);
    }
    for (PhoneEntry& phone : phones) {
        if (!phone.imei.empty())
            continue;
        for (unsigned attempt = 0;
             phone.imei.empty() ||
             std::count_if(phones.begin(), phones.end(), [&](auto& p) { return p.imei == phone.imei; }) > 1;
             ++attempt)
            phone.imei = DerivedImei(phone.address, attempt);
        HRESULT hr = Write(phone);
        if (FAILED(hr))
            return hr;
    }
    std::sort(phones.begin(), phones.end(), [](const PhoneEntry& a, const PhoneEntry& b) {
        return CompareStringOrdinal(a.alias.c_str(), -1, b.alias.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    return S_OK;
}

HRESULT PhoneConfig::Find(const std::wstring& alias, PhoneEntry& phone) const
{
    std::vector<PhoneEntry> phones;
    HRESULT hr = List(phones);
    if (FAILED(hr))
        return hr;
    auto found = std::find_if(phones.begin(), phones.end(), [&](auto& p) { return SameAlias(p.alias, alias); });
    if (found == phones.end())
        return config_error::NotFound;
    phone = *found;
    return S_OK;
}

HRESULT PhoneConfig::Add(PhoneEntry phone, std::wstring& why) const
{
    HRESULT hr;
    if (FAILED(hr = CheckAlias(phone.alias, why)) || FAILED(hr = CheckAddress(phone.address, why)) ||
        (!phone.imei.empty() && FAILED(hr = CheckImei(phone.imei, why))) || FAILED(hr = CheckModel(phone.model, why)))
        return hr;
    std::vector<PhoneEntry> phones;
    if (FAILED(hr = List(phones)))
        return hr;
    for (const PhoneEntry& other : phones) {
        if (SameAlias(other.alias, phone.alias)) {
            why = L"A phone named \"" + other.alias + L"\" is configured already.";
            return config_error::AlreadyExists;
        }
    }
    auto taken = [&](const std::wstring& imei) {
        return std::any_of(phones.begin(), phones.end(), [&](auto& p) { return p.imei == imei; });
    };
    if (!phone.imei.empty() && taken(phone.imei)) {
        why = L"Another phone has the IMEI " + phone.imei + L" already.";
        return config_error::AlreadyExists;
    }
    for (unsigned attempt = 0; phone.imei.empty() || taken(phone.imei); ++attempt)
        phone.imei = DerivedImei(phone.address, attempt);
    return Write(phone);
}

HRESULT PhoneConfig::Remove(const std::wstring& alias) const
{
    PhoneEntry phone;
    HRESULT hr = Find(alias, phone);
    if (FAILED(hr))
        return hr;
    return Delete(phone.alias);
}

HRESULT PhoneConfig::Rename(const std::wstring& oldAlias, const std::wstring& newAlias, std::wstring& why) const
{
    HRESULT hr = CheckAlias(newAlias, why);
    if (FAILED(hr))
        return hr;
    PhoneEntry phone;
    if (FAILED(hr = Find(oldAlias, phone))) {
        why = L"No phone is named \"" + oldAlias + L"\".";
        return hr;
    }
    PhoneEntry other;
    // A change of case only is a rename of the same phone.
    if (!SameAlias(phone.alias, newAlias) && SUCCEEDED(Find(newAlias, other))) {
        why = L"A phone named \"" + other.alias + L"\" is configured already.";
        return config_error::AlreadyExists;
    }
    const std::wstring old = phone.alias;
    phone.alias = newAlias;
    // Written under the new name before the old one goes: a failure loses no phone.
    if (SameAlias(old, newAlias)) {
        // Key names ignore case: the entry is written anew, or back as it was.
        if (FAILED(hr = Delete(old)))
            return hr;
        if (FAILED(hr = Write(phone))) {
            phone.alias = old;
            Write(phone);
        }
        return hr;
    }
    if (FAILED(hr = Write(phone)))
        return hr;
    return Delete(old);
}

} // namespace obex
