#include "DeviceInfo.h"

#include "PhoneLink.h"
#include "SuiteErrors.h"
#include "common/ByteArray.h"
#include "common/Resource.h"

#include <algorithm>
#include <cwchar>

namespace obex {
namespace {

std::wstring Text(BSTR value)
{
    return value ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

HRESULT ReturnBstr(const std::wstring& text, BSTR* out)
{
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT FindByImei(const std::wstring& imei, PhoneEntry& found)
{
    std::vector<PhoneEntry> phones;
    const HRESULT hr = PhoneConfig().List(phones);
    if (FAILED(hr))
        return hr;
    for (const PhoneEntry& phone : phones) {
        if (phone.imei == imei) {
            found = phone;
            return S_OK;
        }
    }
    return suite_error::NotFound;
}

// The capability object of a phone that answers; empty figures otherwise.
CapabilityInfo CapabilityOf(const PhoneEntry& phone)
{
    const std::shared_ptr<PhoneLink> link = LinkOf(phone);
    std::string raw;
    if (FAILED(link->Capability(raw)))
        return link->KnownCapability();
    return ReadCapability(raw);
}

} // namespace

std::vector<std::wstring> ModelsOf(const PhoneEntry& phone, const std::wstring& capabilityModel)
{
    std::vector<std::wstring> models;
    if (!capabilityModel.empty())
        models.push_back(capabilityModel);
    const std::wstring configured = phone.model.empty() ? kUnknownModel : phone.model;
    if (configured != capabilityModel)
        models.push_back(configured);
    return models;
}

STDMETHODIMP DeviceInfo::GetModelList(BSTR, SAFEARRAY** models)
{
    if (!models)
        return E_POINTER;
    *models = nullptr;
    std::vector<PhoneEntry> phones;
    HRESULT hr = PhoneConfig().List(phones);
    if (FAILED(hr))
        return hr;
    // Every suite's phones are its product's: the product asked for does not narrow them.
    std::vector<std::wstring> list;
    for (const PhoneEntry& phone : phones) {
        for (const std::wstring& model : ModelsOf(phone, LinkOf(phone)->KnownCapability().model)) {
            if (std::find(list.begin(), list.end(), model) == list.end())
                list.push_back(model);
        }
    }
    return MakeStringArray(list, models);
}

STDMETHODIMP DeviceInfo::GetModelValue(BSTR, BSTR, BSTR* value)
{
    if (!value)
        return E_POINTER;
    // No model value is known for OBEX phones; an empty one is "none".
    return ReturnBstr(L"", value);
}

STDMETHODIMP DeviceInfo::GetDeviceValue(BSTR device, BSTR key, LONG, BSTR* value)
{
    if (!value)
        return E_POINTER;
    *value = nullptr;
    // Unknown devices and keys answer an empty text, as a phone that never reported them.
    std::wstring answer;
    PhoneEntry phone;
    const std::wstring name = Text(key);
    if (SUCCEEDED(FindByImei(Text(device), phone))) {
        if (_wcsicmp(name.c_str(), L"Model") == 0)
            answer = ModelsOf(phone, CapabilityOf(phone).model).front();
        else if (_wcsicmp(name.c_str(), L"Manufacturer") == 0)
            answer = CapabilityOf(phone).manufacturer;
        else if (_wcsicmp(name.c_str(), L"Alias") == 0)
            answer = phone.alias;
    }
    return ReturnBstr(answer, value);
}

STDMETHODIMP DeviceInfo::GetMemoryValue(BSTR first, BSTR second, BSTR* value)
{
    if (!value)
        return E_POINTER;
    *value = nullptr;
    // first: the phone's IMEI; second: a memory type ("DEV") or drive ("C:").
    PhoneEntry phone;
    HRESULT hr = FindByImei(Text(first), phone);
    if (FAILED(hr))
        return hr;
    const CapabilityInfo capability = CapabilityOf(phone);
    const std::wstring wanted = Text(second);
    for (const CapabilityMemory& memory : capability.memories) {
        // One memory is the one a drive or any type names.
        const bool matches = _wcsicmp(memory.memType.c_str(), wanted.c_str()) == 0 || capability.memories.size() == 1;
        if (matches && !memory.freeBytes.empty())
            return ReturnBstr(memory.freeBytes, value);
    }
    // The phone does not say: the free memory is unknown.
    return suite_error::NotFound;
}

} // namespace obex
