#include "DeviceInformation.h"

#include "SuiteErrors.h"
#include "common/ByteArray.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <cwchar>

namespace {

const wchar_t kModelKey[] = L"Model";

std::wstring Text(BSTR value)
{
    return value ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

HRESULT ReturnBstr(const std::wstring& text, BSTR* out)
{
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

HRESULT DeviceInformation::Connect()
{
    return suite::TakeFault(L"Connect");
}

HRESULT DeviceInformation::GetModelList(BSTR product, SAFEARRAY** models)
{
    if (models)
        *models = nullptr;
    HRESULT hr = suite::TakeFault(L"GetModelList");
    if (hr != S_OK)
        return hr;
    if (!models)
        return E_POINTER;
    std::vector<std::wstring> list;
    hr = suite::Store().ModelList(Text(product), list);
    if (FAILED(hr))
        return hr;
    return MakeStringArray(list, models);
}

HRESULT DeviceInformation::GetModelValue(BSTR model, BSTR key, BSTR* value)
{
    if (value)
        *value = nullptr;
    HRESULT hr = suite::TakeFault(L"GetModelValue");
    if (hr != S_OK)
        return hr;
    if (!value)
        return E_POINTER;
    std::wstring answer;
    hr = suite::Store().ModelValue(Text(model), Text(key), answer);
    if (FAILED(hr))
        return hr;
    return ReturnBstr(answer, value);
}

HRESULT DeviceInformation::SelectDevice(BSTR imei, LONG)
{
    HRESULT hr = suite::TakeFault(L"SelectDevice");
    if (hr != S_OK)
        return hr;
    selectedDevice_ = Text(imei);
    QTRACE(L"SelectDevice(%ls)\n", selectedDevice_.c_str());
    return S_OK;
}

HRESULT DeviceInformation::GetDeviceValue(BSTR device, BSTR key, LONG, BSTR* value)
{
    if (value)
        *value = nullptr;
    HRESULT hr = suite::TakeFault(L"GetDeviceValue");
    if (hr != S_OK)
        return hr;
    if (!value)
        return E_POINTER;
    // Unknown devices and keys answer an empty text, as a phone that never reported them.
    std::wstring answer;
    PhoneInfo phone;
    if (SUCCEEDED(suite::Store().FindPhoneByImei(Text(device), phone))) {
        if (_wcsicmp(Text(key).c_str(), kModelKey) == 0)
            answer = phone.model;
        else if (_wcsicmp(Text(key).c_str(), L"Alias") == 0)
            answer = phone.alias;
    }
    return ReturnBstr(answer, value);
}

HRESULT DeviceInformation::GetMemoryValue(BSTR first, BSTR second, BSTR* value)
{
    if (value)
        *value = nullptr;
    HRESULT hr = suite::TakeFault(L"GetMemoryValue");
    if (hr != S_OK)
        return hr;
    if (!value)
        return E_POINTER;
    // first: the phone's IMEI; second: a memory type ("PHONE") or drive ("C:").
    PhoneStore store = suite::Store();
    PhoneInfo phone;
    hr = store.FindPhoneByImei(Text(first), phone);
    if (FAILED(hr))
        return hr;
    std::wstring wanted = Text(second);
    const PhoneMemory* memory = nullptr;
    for (const PhoneMemory& candidate : phone.memories) {
        bool driveMatches =
            (wanted.size() == 1 || (wanted.size() == 2 && wanted[1] == L':')) && towupper(wanted[0]) == candidate.drive;
        if (_wcsicmp(candidate.memType.c_str(), wanted.c_str()) == 0 || driveMatches) {
            memory = &candidate;
            break;
        }
    }
    if (!memory)
        return suite_error::NotFound;
    unsigned long long used = 0;
    hr = store.MemoryUsed(phone, memory->drive, used);
    if (FAILED(hr))
        return hr;
    unsigned long long freeBytes = used < memory->quota ? memory->quota - used : 0;
    return ReturnBstr(std::to_wstring(freeBytes), value);
}

HRESULT DeviceInformation::SetSource(BSTR source)
{
    suite::RecordCall(L"SetSource", Text(source));
    HRESULT hr = suite::TakeFault(L"SetSource");
    if (hr != S_OK)
        return hr;
    source_ = Text(source);
    return S_OK;
}
