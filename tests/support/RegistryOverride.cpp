#include "RegistryOverride.h"

#include "common/Resource.h"

namespace testing_support {
namespace {
bool KeyExists(HKEY root, const std::wstring& key)
{
    unique_hkey opened;
    return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

bool KeyIsEmpty(HKEY root, const std::wstring& key)
{
    unique_hkey opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys == 0 && values == 0;
}
} // namespace

RegistryOverride::RegistryOverride(HKEY root, const std::wstring& key, const std::wstring& name,
                                   const std::optional<std::wstring>& value)
    : root_(root), key_(key), name_(name)
{
    // Note which keys of the path do not exist yet, deepest first.
    for (std::wstring path = key; !path.empty() && !KeyExists(root, path);) {
        createdKeys_.push_back(path);
        size_t slash = path.find_last_of(L'\\');
        path = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    }
    unique_hkey opened;
    if (createdKeys_.empty() && RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS) {
        DWORD size = 0;
        if (RegQueryValueExW(opened.get(), name.c_str(), nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
            oldData_.resize(size);
            hadValue_ = RegQueryValueExW(opened.get(), name.c_str(), nullptr, &oldType_, oldData_.data(), &size) ==
                        ERROR_SUCCESS;
            oldData_.resize(size);
        }
    }
    if (!value && createdKeys_.empty()) {
        unique_hkey writable;
        if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, writable.put()) == ERROR_SUCCESS)
            RegDeleteValueW(writable.get(), name.c_str());
        return;
    }
    if (!value)
        return;
    unique_hkey writable;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, writable.put(), nullptr) ==
        ERROR_SUCCESS)
        RegSetValueExW(writable.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
}

RegistryOverride::~RegistryOverride()
{
    {
        unique_hkey writable;
        if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_SET_VALUE, writable.put()) == ERROR_SUCCESS) {
            if (hadValue_)
                RegSetValueExW(writable.get(), name_.c_str(), 0, oldType_, oldData_.data(),
                               static_cast<DWORD>(oldData_.size()));
            else
                RegDeleteValueW(writable.get(), name_.c_str());
        }
    }
    for (const std::wstring& created : createdKeys_) {
        if (!KeyIsEmpty(root_, created))
            break;
        RegDeleteKeyW(root_, created.c_str());
    }
}

} // namespace testing_support

namespace testing_support {

RegistryKeyAbsence::RegistryKeyAbsence(HKEY root, const std::wstring& key) : root_(root), key_(key)
{
    unique_hkey opened;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
        return;
    existed_ = true;
    DWORD subkeys = 0;
    RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    if (subkeys) {
        ok_ = false;
        existed_ = false;
        return;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(opened.get(), index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        Value value{name, type, std::vector<BYTE>(size)};
        if (RegQueryValueExW(opened.get(), name, nullptr, &type, value.data.data(), &size) == ERROR_SUCCESS)
            values_.push_back(std::move(value));
    }
    opened.reset();
    RegDeleteKeyW(root, key.c_str());
}

RegistryKeyAbsence::~RegistryKeyAbsence()
{
    if (!existed_)
        return;
    unique_hkey created;
    if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, created.put(), nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const Value& value : values_)
        RegSetValueExW(created.get(), value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
}

} // namespace testing_support
