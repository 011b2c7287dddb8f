#include "DeviceInfoReader.h"

#include "common/Resource.h"
#include "common/Trace.h"
#include "mirror/Configuration.h"

#include <algorithm>
#include <cwchar>
#include <new>

CDeviceInfoReader::CDeviceInfoReader(bool connect)
{
    Open(nullptr, connect);
}

CDeviceInfoReader::CDeviceInfoReader(const wchar_t* source, bool connect)
{
    Open(source, connect);
}

CDeviceInfoReader::~CDeviceInfoReader()
{
    Close();
    if (m_comInitialised)
        CoUninitialize();
}

void CDeviceInfoReader::Open(const wchar_t* source, bool connect)
{
    m_buffer.reset(new (std::nothrow) wchar_t[kBufferLength]());
    if (!m_buffer)
        return;
    const DWORD context = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
    HRESULT hr = CoCreateInstance(CLSID_DeviceInformation, nullptr, context, IID_IDeviceCatalog, m_catalog.put_void());
    if (hr == CO_E_NOTINITIALIZED) {
        if (SUCCEEDED(CoInitialize(nullptr))) {
            m_comInitialised = true;
            hr = CoCreateInstance(CLSID_DeviceInformation, nullptr, context, IID_IDeviceCatalog, m_catalog.put_void());
        }
    }
    if (FAILED(hr) || !m_catalog) {
        QTRACE(L"CDeviceInfoReader(): CoCreateInstance failed: 0x%X\n", hr);
        m_catalog.reset();
        return;
    }
    if (FAILED(m_catalog.query(m_properties, IID_IDeviceProperties)) || !m_properties) {
        Close();
        return;
    }
    m_valid = true;
    if (source && *source) {
        unique_bstr text(source);
        if (FAILED(m_properties->SetSource(text.get()))) {
            Close();
            return;
        }
    }
    if (connect && FAILED(m_catalog->Connect()))
        Close();
}

void CDeviceInfoReader::Close()
{
    m_valid = false;
    m_properties.reset();
    m_catalog.reset();
}

const wchar_t* CDeviceInfoReader::StoreAnswer(HRESULT hr, BSTR answer)
{
    unique_bstr owned(answer);
    m_buffer[0] = L'\0';
    if (SUCCEEDED(hr)) {
        // A longer answer is cut at the buffer's end rather than overrunning it.
        size_t length = std::min<size_t>(owned.length(), kBufferLength - 1);
        wmemcpy(m_buffer.get(), owned.c_str(), length);
        m_buffer[length] = L'\0';
    }
    return m_buffer.get();
}

const wchar_t* CDeviceInfoReader::GetModel(const wchar_t* device)
{
    if (!IsValid())
        return nullptr;
    unique_bstr deviceText(device);
    unique_bstr key(L"Model");
    BSTR answer = nullptr;
    HRESULT hr = m_properties->GetDeviceValue(deviceText.get(), key.get(), 0, &answer);
    return StoreAnswer(hr, answer);
}

const wchar_t* CDeviceInfoReader::GetModelValue(const wchar_t* model, const wchar_t* key)
{
    if (!IsValid())
        return nullptr;
    unique_bstr modelText(model);
    unique_bstr keyText(key);
    BSTR answer = nullptr;
    HRESULT hr = m_catalog->GetModelValue(modelText.get(), keyText.get(), &answer);
    return StoreAnswer(hr, answer);
}

const wchar_t* CDeviceInfoReader::GetMemoryValue(const wchar_t* first, const wchar_t* second)
{
    if (!IsValid())
        return nullptr;
    unique_bstr firstText(first);
    unique_bstr secondText(second);
    BSTR answer = nullptr;
    HRESULT hr = m_properties->GetMemoryValue(firstText.get(), secondText.get(), &answer);
    return StoreAnswer(hr, answer);
}

const wchar_t* CDeviceInfoReader::GetModelList(const wchar_t* product)
{
    if (!IsValid())
        return nullptr;
    unique_bstr productText(product);
    unique_safearray models;
    HRESULT hr = m_catalog->GetModelList(productText.get(), models.put());
    if (FAILED(hr))
        return nullptr;
    wmemset(m_buffer.get(), L'\0', kBufferLength);
    VARTYPE type = VT_EMPTY;
    LONG lower = 0;
    LONG upper = -1;
    if (!models || SafeArrayGetDim(models.get()) != 1 || FAILED(SafeArrayGetVartype(models.get(), &type)) ||
        type != VT_BSTR || FAILED(SafeArrayGetLBound(models.get(), 1, &lower)) ||
        FAILED(SafeArrayGetUBound(models.get(), 1, &upper)))
        return m_buffer.get();
    // The last character stays the list's terminating empty string.
    size_t used = 0;
    const size_t room = kBufferLength - 1;
    for (LONG index = lower; index <= upper && used + 1 < room; ++index) {
        BSTR element = nullptr;
        if (FAILED(SafeArrayGetElement(models.get(), &index, &element)))
            continue;
        unique_bstr owned(element);
        // An empty entry would end the list early and hide the ones after it.
        if (owned.empty())
            continue;
        size_t length = std::min<size_t>(owned.length(), room - used - 1);
        wmemcpy(m_buffer.get() + used, owned.c_str(), length);
        used += length + 1;
    }
    return m_buffer.get();
}

HRESULT CDeviceInfoReader::SelectDevice(const wchar_t* imei)
{
    if (!IsValid())
        return E_FAIL;
    unique_bstr imeiText(imei);
    return m_properties->SelectDevice(imeiText.get(), 0);
}

namespace mirror {

std::unique_ptr<CDeviceInfoReader> OpenDeviceInfoReader()
{
    const wchar_t* vendor = VendorName();
    if (wcscmp(vendor, kDefaultVendorName) != 0)
        return std::unique_ptr<CDeviceInfoReader>(new (std::nothrow) CDeviceInfoReader(vendor, true));
    return std::unique_ptr<CDeviceInfoReader>(new (std::nothrow) CDeviceInfoReader(true));
}

bool GetModelValue(const wchar_t* device, const wchar_t* key, wchar_t* value, size_t length)
{
    if (!value || length == 0)
        return false;
    value[0] = L'\0';
    std::unique_ptr<CDeviceInfoReader> reader = OpenDeviceInfoReader();
    if (!reader)
        return false;
    const wchar_t* model = reader->GetModel(device);
    if (!model || !*model)
        return false;
    wchar_t modelName[32];
    wcsncpy(modelName, model, 31);
    modelName[31] = L'\0';
    const wchar_t* answer = reader->GetModelValue(modelName, key);
    if (!answer || !*answer)
        return false;
    wcsncpy(value, answer, length - 1);
    value[length - 1] = L'\0';
    return true;
}

int GetModelNumber(const wchar_t* device, const wchar_t* key)
{
    wchar_t value[32];
    if (!GetModelValue(device, key, value, 32))
        return -1;
    return _wtoi(value);
}

} // namespace mirror
