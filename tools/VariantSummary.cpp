#include "VariantSummary.h"

#include "common/ByteArray.h"

#include <cwchar>
#include <vector>

namespace client {

namespace {

struct TypeName {
    VARTYPE type;
    const wchar_t* name;
};

const TypeName kTypeNames[] = {
    {VT_EMPTY, L"VT_EMPTY"},     {VT_NULL, L"VT_NULL"},
    {VT_I2, L"VT_I2"},           {VT_I4, L"VT_I4"},
    {VT_R4, L"VT_R4"},           {VT_R8, L"VT_R8"},
    {VT_CY, L"VT_CY"},           {VT_DATE, L"VT_DATE"},
    {VT_BSTR, L"VT_BSTR"},       {VT_DISPATCH, L"VT_DISPATCH"},
    {VT_ERROR, L"VT_ERROR"},     {VT_BOOL, L"VT_BOOL"},
    {VT_VARIANT, L"VT_VARIANT"}, {VT_UNKNOWN, L"VT_UNKNOWN"},
    {VT_I1, L"VT_I1"},           {VT_UI1, L"VT_UI1"},
    {VT_UI2, L"VT_UI2"},         {VT_UI4, L"VT_UI4"},
    {VT_I8, L"VT_I8"},           {VT_UI8, L"VT_UI8"},
    {VT_INT, L"VT_INT"},         {VT_UINT, L"VT_UINT"},
};

std::wstring Hex(unsigned value, int digits)
{
    wchar_t text[16];
    _snwprintf(text, 16, L"%0*X", digits, value);
    text[15] = L'\0';
    return text;
}

// The text as a C string literal would show it, so that line breaks and
// control characters stay on one line.
std::wstring Escaped(const wchar_t* text, size_t length)
{
    std::wstring out;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        switch (c) {
        case L'\r':
            out += L"\\r";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\t':
            out += L"\\t";
            break;
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        default:
            if (c < 0x20 || c == 0x7F)
                out += L"\\x" + Hex(c, 2);
            else
                out += c;
        }
    }
    return out;
}

} // namespace

std::wstring VariantTypeName(VARTYPE type)
{
    std::wstring prefix;
    if (type & VT_ARRAY)
        prefix += L"VT_ARRAY|";
    if (type & VT_BYREF)
        prefix += L"VT_BYREF|";
    const VARTYPE base = type & VT_TYPEMASK;
    for (const TypeName& known : kTypeNames) {
        if (known.type == base && (type & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) == 0)
            return prefix + known.name;
    }
    return L"vt 0x" + Hex(type, 4);
}

std::wstring SummariseVariant(const VARIANT& value)
{
    std::wstring summary = VariantTypeName(value.vt);
    if (value.vt == VT_BSTR) {
        const size_t length = SysStringLen(value.bstrVal);
        const size_t shown = length < kSummaryCharacters ? length : kSummaryCharacters;
        summary += L", " + std::to_wstring(length) + L" characters: \"" + Escaped(value.bstrVal, shown) + L"\"";
        if (shown < length)
            summary += L"...";
    } else if ((value.vt & ~VT_BYREF) == (VT_ARRAY | VT_UI1)) {
        std::vector<unsigned char> bytes;
        if (FAILED(ReadByteArray(value, bytes)))
            return summary + L", unreadable";
        summary += L", " + std::to_wstring(bytes.size()) + L" bytes";
        for (size_t i = 0; i < bytes.size() && i < kSummaryBytes; ++i)
            summary += (i == 0 ? L": " : L" ") + Hex(bytes[i], 2);
        if (bytes.size() > kSummaryBytes)
            summary += L" ...";
    }
    return summary;
}

} // namespace client
