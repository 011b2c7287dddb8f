#include "DeviceInfoReader.h"

#include "common/Resource.h"
#include "common/Trace.h"

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
}

void CDeviceInfoReader::Open(const wchar_t* source, bool connect)
{
    m_buffer.reset(new (std::nothrow) wchar_t[kBufferLength]());
    if (!m_buffer)
        return;
    const DWORD context = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
    HRESULT hr = CoCreateInstance(CLSID_DeviceInformation, nullptr, context, IID_IDeviceCatalog, m_catalog.put_void());
    if (hr == CO_E_NOTINITIALIZED) {
        m_apartment.emplace();
        if (SUCCEEDED(m_apartment->result())) {
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
