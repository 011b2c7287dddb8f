#include "ByteArray.h"

#include "Resource.h"

#include <climits>
#include <cstring>

HRESULT ByteArraySize(SAFEARRAY* array, size_t& size)
{
    size = 0;
    if (!array)
        return E_POINTER;
    if (SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != 1)
        return E_INVALIDARG;
    // An array made without its element type on record has only its size to show.
    VARTYPE type = VT_UI1;
    if (SUCCEEDED(SafeArrayGetVartype(array, &type)) && type != VT_UI1)
        return E_INVALIDARG;
    const SAFEARRAYBOUND& bound = array->rgsabound[0];
    if (static_cast<long long>(bound.lLbound) + bound.cElements - 1 > LONG_MAX)
        return E_INVALIDARG;
    size = bound.cElements;
    return S_OK;
}

HRESULT MakeByteArray(const std::vector<unsigned char>& bytes, VARIANT* out)
{
    if (!out)
        return E_POINTER;
    unique_safearray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    if (!array)
        return E_OUTOFMEMORY;
    if (!bytes.empty()) {
        safearray_data data(array.get());
        if (FAILED(data.result()))
            return data.result();
        memcpy(data.get(), bytes.data(), bytes.size());
    }
    VariantClear(out);
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = array.release();
    return S_OK;
}

HRESULT ReadByteArray(const VARIANT& data, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    const VARIANT* value = &data;
    if (value->vt == (VT_VARIANT | VT_BYREF) && value->pvarVal)
        value = value->pvarVal;
    SAFEARRAY* array = nullptr;
    if (value->vt == (VT_ARRAY | VT_UI1))
        array = value->parray;
    else if (value->vt == (VT_ARRAY | VT_UI1 | VT_BYREF) && value->pparray)
        array = *value->pparray;
    else
        return E_INVALIDARG;
    if (!array)
        return S_OK;
    size_t size = 0;
    const HRESULT hr = ByteArraySize(array, size);
    if (FAILED(hr) || size == 0)
        return hr;
    safearray_data access(array);
    if (FAILED(access.result()))
        return access.result();
    const unsigned char* first = static_cast<const unsigned char*>(access.get());
    bytes.assign(first, first + size);
    return S_OK;
}

HRESULT MakeStringArray(const std::vector<std::wstring>& texts, SAFEARRAY** array)
{
    *array = nullptr;
    unique_safearray made(SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size())));
    if (!made)
        return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        unique_bstr text(texts[i].c_str());
        // SafeArrayPutElement copies the string.
        const HRESULT hr = SafeArrayPutElement(made.get(), &i, text.get());
        if (FAILED(hr))
            return hr;
    }
    *array = made.release();
    return S_OK;
}
