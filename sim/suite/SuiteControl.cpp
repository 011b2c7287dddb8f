#include "SuiteControl.h"

#include "CraftedListings.h"
#include "DataLayer.h"
#include "DataLayerFolders.h"

#include "SuiteErrors.h"
#include "common/ByteArray.h"
#include "common/Resource.h"

#include <cmath>
#include <cstring>
#include <vector>

using store_names::ParsePhonePath;
using store_names::PhonePath;

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

HRESULT ParseItem(BSTR text, PhonePath& path)
{
    if (!ParsePhonePath(Text(text), path) || path.level != PhonePath::Level::Item)
        return suite_error::BadPath;
    return S_OK;
}

} // namespace

HRESULT SuiteControl::SetStore(BSTR folder)
{
    return PhoneStore::Configure(Text(folder));
}

HRESULT SuiteControl::GetStore(BSTR* folder)
{
    if (!folder)
        return E_POINTER;
    return ReturnBstr(PhoneStore::ConfiguredRoot(), folder);
}

HRESULT SuiteControl::AddPhone(BSTR alias, BSTR imei, BSTR model)
{
    return suite::Store().AddPhone(Text(alias), Text(imei), Text(model));
}

HRESULT SuiteControl::AddMemory(BSTR alias, BSTR drive, BSTR label, BSTR memType, double quota)
{
    std::wstring letter = Text(drive);
    if (letter.size() == 2 && letter[1] == L':')
        letter.pop_back();
    if (letter.size() != 1 || !(quota >= 0) || quota > 9.0e15 || quota != std::floor(quota))
        return E_INVALIDARG;
    PhoneMemory memory;
    memory.drive = letter[0];
    memory.label = Text(label);
    memory.memType = Text(memType);
    memory.quota = static_cast<unsigned long long>(quota);
    return suite::Store().AddMemory(Text(alias), memory);
}

HRESULT SuiteControl::RemovePhone(BSTR alias)
{
    PhoneStore store = suite::Store();
    PhoneInfo phone;
    HRESULT hr = store.FindPhone(Text(alias), phone);
    if (FAILED(hr))
        return hr;
    hr = store.RemovePhone(phone.alias);
    if (SUCCEEDED(hr) && phone.connected)
        suite::NotifySinks(false, phone.imei, phone.alias);
    return hr;
}

HRESULT SuiteControl::SetConnected(BSTR alias, bool connected)
{
    PhoneInfo phone;
    HRESULT hr = suite::Store().SetConnected(Text(alias), connected, phone);
    if (FAILED(hr))
        return hr;
    if (connected)
        suite::WriteDataLayerFolders(phone);
    suite::NotifySinks(connected, phone.imei, phone.alias);
    return S_OK;
}

HRESULT SuiteControl::ConnectPhone(BSTR alias)
{
    return SetConnected(alias, true);
}

HRESULT SuiteControl::DisconnectPhone(BSTR alias)
{
    return SetConnected(alias, false);
}

HRESULT SuiteControl::PutFile(BSTR phonePath, VARIANT data, DATE modified)
{
    PhonePath path;
    HRESULT hr = ParseItem(phonePath, path);
    if (FAILED(hr))
        return hr;
    const VARIANT* value = &data;
    if (value->vt == (VT_VARIANT | VT_BYREF) && value->pvarVal)
        value = value->pvarVal;
    std::vector<unsigned char> bytes;
    if (value->vt == VT_BSTR) {
        // Text is stored as UTF-8, so the command line can fill a file directly.
        std::wstring text = Text(value->bstrVal);
        int size =
            WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        bytes.resize(size);
        if (size)
            WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                reinterpret_cast<char*>(bytes.data()), size, nullptr, nullptr);
    } else if (value->vt != VT_EMPTY) {
        hr = ReadByteArray(*value, bytes);
        if (FAILED(hr))
            return hr;
    }
    return suite::Store().PutFile(path, bytes, modified);
}

HRESULT SuiteControl::GetFile(BSTR phonePath, VARIANT* data)
{
    if (!data)
        return E_POINTER;
    PhonePath path;
    HRESULT hr = ParseItem(phonePath, path);
    if (FAILED(hr))
        return hr;
    std::vector<unsigned char> bytes;
    hr = suite::Store().GetFile(path, bytes);
    if (FAILED(hr))
        return hr;
    return MakeByteArray(bytes, data);
}

HRESULT SuiteControl::MakeFolder(BSTR phonePath)
{
    PhonePath path;
    HRESULT hr = ParseItem(phonePath, path);
    if (FAILED(hr))
        return hr;
    return suite::Store().MakeFolder(path);
}

HRESULT SuiteControl::SetTransferDelay(LONG milliseconds)
{
    if (milliseconds < 0 || milliseconds > 60000)
        return E_INVALIDARG;
    suite::Transfers().delayMs = static_cast<DWORD>(milliseconds);
    return S_OK;
}

HRESULT SuiteControl::SetChunkSize(LONG bytes)
{
    if (bytes <= 0)
        return E_INVALIDARG;
    suite::Transfers().chunkSize = static_cast<DWORD>(bytes);
    return S_OK;
}

HRESULT SuiteControl::SetFault(BSTR operation, LONG code, LONG count)
{
    return suite::SetFault(Text(operation), static_cast<HRESULT>(code), count);
}

HRESULT SuiteControl::ClearFaults()
{
    suite::ClearFaults();
    suite::EndSilentSyncs();
    crafted_listings::Clear();
    return S_OK;
}

HRESULT SuiteControl::SetListing(BSTR phonePath, BSTR pcFile)
{
    return crafted_listings::Set(Text(phonePath), Text(pcFile));
}

HRESULT SuiteControl::SetModelList(BSTR product, BSTR models)
{
    return suite::Store().SetModelList(Text(product), Text(models));
}

HRESULT SuiteControl::SetModelValue(BSTR model, BSTR key, BSTR value)
{
    return suite::Store().SetModelValue(Text(model), Text(key), Text(value));
}

HRESULT SuiteControl::ListPhones(BSTR* listing)
{
    if (!listing)
        return E_POINTER;
    *listing = nullptr;
    std::vector<PhoneInfo> phones;
    PhoneStore store = suite::Store();
    HRESULT hr = store.ListPhones(phones);
    if (FAILED(hr))
        return hr;
    // One line per phone: alias, IMEI, model, state, then each memory as
    // drive:label:type:used/quota, separated by tabs.
    std::wstring text;
    for (const PhoneInfo& phone : phones) {
        text += phone.alias + L"\t" + phone.imei + L"\t" + phone.model + L"\t" +
                (phone.connected ? L"connected" : L"disconnected");
        for (const PhoneMemory& memory : phone.memories) {
            unsigned long long used = 0;
            store.MemoryUsed(phone, memory.drive, used);
            text += L"\t" + std::wstring(1, memory.drive) + L":" + memory.label + L":" + memory.memType + L":" +
                    std::to_wstring(used) + L"/" + std::to_wstring(memory.quota);
        }
        text += L"\r\n";
    }
    return ReturnBstr(text, listing);
}

HRESULT SuiteControl::GetProcessId(LONG* processId)
{
    if (!processId)
        return E_POINTER;
    *processId = static_cast<LONG>(GetCurrentProcessId());
    return S_OK;
}

HRESULT SuiteControl::Kill(LONG* processId)
{
    if (!processId)
        return E_POINTER;
    *processId = static_cast<LONG>(GetCurrentProcessId());
    suite::TerminateSoon();
    return S_OK;
}

HRESULT SuiteControl::GetSinkCount(LONG* count)
{
    if (!count)
        return E_POINTER;
    *count = suite::SinkCount();
    return S_OK;
}

HRESULT SuiteControl::GetAddCount(LONG* count)
{
    if (!count)
        return E_POINTER;
    *count = suite::AddCount();
    return S_OK;
}

HRESULT SuiteControl::GetFileSystemCount(LONG* alive, LONG* made)
{
    if (!alive || !made)
        return E_POINTER;
    *alive = suite::FileSystemCount();
    *made = suite::FileSystemsMade();
    return S_OK;
}

HRESULT SuiteControl::TakeLastCall(BSTR operation, BSTR* arguments)
{
    if (!arguments)
        return E_POINTER;
    std::wstring text;
    bool called = suite::TakeRecordedCall(Text(operation), text);
    HRESULT hr = ReturnBstr(text, arguments);
    return FAILED(hr) ? hr : called ? S_OK : S_FALSE;
}

HRESULT SuiteControl::SetSyncPace(LONG intervalMs, LONG ongoingCount, VARIANT_BOOL keepCallback)
{
    if (intervalMs < 1 || ongoingCount < 0)
        return E_INVALIDARG;
    suite::SetSyncPace(static_cast<DWORD>(intervalMs), ongoingCount, keepCallback != VARIANT_FALSE);
    return S_OK;
}
