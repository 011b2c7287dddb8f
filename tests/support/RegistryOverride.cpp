#include "RegistryOverride.h"

#include "common/ContractTexts.h"

#include "common/Resource.h"

namespace testing_support {
namespace {
unique_hkey Open(HKEY root, const std::wstring& key, REGSAM access = KEY_READ)
{
    unique_hkey opened;
    RegOpenKeyExW(root, key.c_str(), 0, access, opened.put());
    return opened;
}

// Subkeys and values of a key; both -1 when it does not open.
std::pair<DWORD, DWORD> Contents(HKEY root, const std::wstring& key)
{
    DWORD subkeys = static_cast<DWORD>(-1), values = static_cast<DWORD>(-1);
    unique_hkey opened = Open(root, key);
    if (opened)
        RegQueryInfoKeyW(opened.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
    return {subkeys, values};
}
} // namespace

RegistryOverride::RegistryOverride(HKEY root, const std::wstring& key, const std::wstring& name,
                                   const std::optional<std::wstring>& value)
    : root_(root), key_(key), name_(name)
{
    // Note which keys of the path do not exist yet, deepest first.
    for (std::wstring path = key; !path.empty() && !Open(root, path);) {
        createdKeys_.push_back(path);
        size_t slash = path.find_last_of(L'\\');
        path = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    }
    if (unique_hkey opened = Open(root, key)) {
        DWORD size = 0;
        if (RegQueryValueExW(opened.get(), name.c_str(), nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
            oldData_.resize(size);
            hadValue_ = RegQueryValueExW(opened.get(), name.c_str(), nullptr, &oldType_, oldData_.data(), &size) ==
                        ERROR_SUCCESS;
        }
    }
    unique_hkey writable;
    if (!value) {
        if ((writable = Open(root, key, KEY_SET_VALUE)))
            RegDeleteValueW(writable.get(), name.c_str());
    } else if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, writable.put(), nullptr) ==
               ERROR_SUCCESS) {
        RegSetValueExW(writable.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
    }
}

RegistryOverride::~RegistryOverride()
{
    if (unique_hkey writable = Open(root_, key_, KEY_SET_VALUE)) {
        if (hadValue_)
            RegSetValueExW(writable.get(), name_.c_str(), 0, oldType_, oldData_.data(),
                           static_cast<DWORD>(oldData_.size()));
        else
            RegDeleteValueW(writable.get(), name_.c_str());
    }
    for (const std::wstring& created : createdKeys_) {
        if (Contents(root_, created) != std::pair<DWORD, DWORD>(0, 0))
            break;
        RegDeleteKeyW(root_, created.c_str());
    }
}

RegistryKeyAbsence::RegistryKeyAbsence(HKEY root, const std::wstring& key)
    : root_(root), key_(key), kept_(key + L" (kept by a test)")
{
    unique_hkey source = Open(root, key), copy;
    if (!source)
        return;
    ok_ = RegCreateKeyExW(root, kept_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, copy.put(), nullptr) ==
              ERROR_SUCCESS &&
          RegCopyTreeW(source.get(), nullptr, copy.get()) == ERROR_SUCCESS;
    source.reset();
    removed_ = ok_ && RegDeleteTreeW(root, key.c_str()) == ERROR_SUCCESS;
}

RegistryKeyAbsence::~RegistryKeyAbsence()
{
    if (!removed_)
        return;
    unique_hkey copy = Open(root_, kept_), restored;
    if (copy && RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, restored.put(), nullptr) ==
                    ERROR_SUCCESS)
        RegCopyTreeW(copy.get(), nullptr, restored.get());
    copy.reset();
    RegDeleteTreeW(root_, kept_.c_str());
}

RegistryOverride MirrorRootSetting(const std::optional<std::wstring>& root)
{
    return RegistryOverride(HKEY_CURRENT_USER, contract::kDataLayerKey, contract::kMirrorRootValue, root);
}

RegistryOverride InstallationSetting(const wchar_t* name, const std::optional<std::wstring>& value)
{
    const std::wstring key = std::wstring(contract::kSoftwareKey) + L"\\" + contract::kDefaultVendorName + L"\\" +
                             contract::kInstallationSubkey;
    return RegistryOverride(HKEY_LOCAL_MACHINE, key, name, value);
}

} // namespace testing_support
