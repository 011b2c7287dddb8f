#include "StoreNames.h"

#include <cwchar>
#include <cwctype>

namespace store_names {
namespace {

bool IsUnsafeCharacter(wchar_t c)
{
    return c < 0x20 || c == 0x7F || wcschr(L"<>:\"/\\|?*%", c) != nullptr;
}

void AppendEscaped(std::wstring& out, wchar_t c)
{
    wchar_t text[8];
    swprintf(text, 8, L"%%%02X", static_cast<unsigned>(c & 0xFF));
    out += text;
}

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

} // namespace

bool IsReservedDeviceName(const std::wstring& name)
{
    // The platform reserves these base names whatever follows the first dot.
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    static const wchar_t* const reserved[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* word : reserved) {
        if (_wcsicmp(base.c_str(), word) == 0)
            return true;
    }
    if (base.size() == 4 && (_wcsnicmp(base.c_str(), L"COM", 3) == 0 || _wcsnicmp(base.c_str(), L"LPT", 3) == 0))
        return base[3] >= L'1' && base[3] <= L'9';
    return false;
}

std::wstring EscapeName(const std::wstring& name)
{
    std::wstring out;
    const bool reserved = IsReservedDeviceName(name);
    size_t trailing = name.size();
    while (trailing > 0 && (name[trailing - 1] == L'.' || name[trailing - 1] == L' '))
        --trailing;
    for (size_t i = 0; i < name.size(); ++i) {
        wchar_t c = name[i];
        bool escape = IsUnsafeCharacter(c) || i >= trailing;
        if (i == 0 && (reserved || c == L'.' || c == L' '))
            escape = true;
        if (escape)
            AppendEscaped(out, c);
        else
            out += c;
    }
    return out;
}

std::wstring UnescapeName(const std::wstring& escaped)
{
    std::wstring out;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == L'%' && i + 2 < escaped.size() && HexDigit(escaped[i + 1]) >= 0 &&
            HexDigit(escaped[i + 2]) >= 0) {
            out += static_cast<wchar_t>(HexDigit(escaped[i + 1]) * 16 + HexDigit(escaped[i + 2]));
            i += 2;
        } else {
            out += escaped[i];
        }
    }
    return out;
}

std::wstring EscapeValue(const std::wstring& value)
{
    std::wstring out;
    for (size_t i = 0; i < value.size(); ++i) {
        wchar_t c = value[i];
        bool edgeBlank = (i == 0 || i + 1 == value.size()) && (c == L' ' || c == L'\t');
        if (c < 0x20 || c == L'%' || c == L'"' || c == L'\'' || edgeBlank)
            AppendEscaped(out, c);
        else
            out += c;
    }
    return out;
}

} // namespace store_names
