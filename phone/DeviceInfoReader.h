// Client of the outside device-information component: a phone's model, the
// models of a product, model values, memory figures and device selection.
#pragma once

#include "common/ComPtr.h"
#include "common/Resource.h"

#include <PhoneComponents.h>

#include <memory>
#include <optional>

class CDeviceInfoReader
{
public:
    // The result buffer: 10000 bytes.
    static constexpr size_t kBufferLength = 5000;

    // Default component.
    explicit CDeviceInfoReader(bool connect);
    // Named source: the component is told where to read before connecting.
    CDeviceInfoReader(const wchar_t* source, bool connect);
    CDeviceInfoReader(const CDeviceInfoReader&) = delete;
    CDeviceInfoReader& operator=(const CDeviceInfoReader&) = delete;
    ~CDeviceInfoReader();

    bool IsValid() const { return m_valid && m_catalog && m_properties; }
    // True when this reader initialised COM for its thread (undone on destruction).
    bool InitialisedCom() const { return m_apartment && SUCCEEDED(m_apartment->result()); }

    // Answers live in the reader's buffer until its next call. Null on an
    // invalid reader; the empty string when the component fails.
    const wchar_t* GetModel(const wchar_t* device);
    const wchar_t* GetModelValue(const wchar_t* model, const wchar_t* key);
    const wchar_t* GetMemoryValue(const wchar_t* first, const wchar_t* second);
    // Consecutive NUL-terminated strings ending with an empty one; null on an
    // invalid reader or a failed call.
    const wchar_t* GetModelList(const wchar_t* product);
    HRESULT SelectDevice(const wchar_t* imei);

private:
    void Open(const wchar_t* source, bool connect);
    void Close();
    const wchar_t* StoreAnswer(HRESULT hr, BSTR answer);

    bool m_valid = false;
    // Declared before the interfaces: they are released before COM is left.
    std::optional<com_apartment> m_apartment;
    com_ptr<IDeviceCatalog> m_catalog;
    com_ptr<IDeviceProperties> m_properties;
    std::unique_ptr<wchar_t[]> m_buffer;
};
