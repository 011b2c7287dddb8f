// Client of the outside device-information component: a phone's model, the
// models of a product, model values, memory figures and device selection.
#pragma once

#include "common/ComPtr.h"

#include <PhoneComponents.h>

#include <memory>

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
    bool InitialisedCom() const { return m_comInitialised; }

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
    bool m_comInitialised = false;
    com_ptr<IDeviceCatalog> m_catalog;
    com_ptr<IDeviceProperties> m_properties;
    std::unique_ptr<wchar_t[]> m_buffer;
};

namespace mirror {

// A reader of the maker's own source when the vendor name is not the default,
// else of the default component; connected. May be invalid, never null unless
// out of memory.
std::unique_ptr<CDeviceInfoReader> OpenDeviceInfoReader();
// The device's model's value of the key, cut to `length` characters.
bool GetModelValue(const wchar_t* device, const wchar_t* key, wchar_t* value, size_t length);
// The same as a decimal number (non-numeric text gives 0); -1 when there is none.
int GetModelNumber(const wchar_t* device, const wchar_t* key);

} // namespace mirror
