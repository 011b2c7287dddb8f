#include "StoreNames.h"

#include <cwchar>
#include <cwctype>

namespace store_names {
namespace {

const wchar_t kAliasPrefix[] = L"ALIAS:";
const size_t kAliasPrefixLength = 6;

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

PhonePath PhonePath::Parent() const
{
    PhonePath parent = *this;
    if (!parent.names.empty()) {
        parent.names.pop_back();
        if (parent.names.empty())
            parent.level = Level::Memory;
    } else if (level == Level::Memory) {
        parent.level = Level::Phone;
        parent.drive = 0;
    } else {
        parent = PhonePath{};
    }
    return parent;
}

std::wstring PhonePath::Text() const
{
    if (level == Level::Root)
        return L"";
    std::wstring text = kAliasPrefix + alias;
    if (level == Level::Phone)
        return text;
    text += L'\\';
    text += drive;
    text += L':';
    for (const std::wstring& name : names)
        text += L'\\' + name;
    return text;
}

bool ParsePhonePath(const std::wstring& text, PhonePath& path)
{
    path = PhonePath{};
    if (text.empty())
        return true;
    if (text.size() <= kAliasPrefixLength || _wcsnicmp(text.c_str(), kAliasPrefix, kAliasPrefixLength) != 0)
        return false;
    std::vector<std::wstring> parts;
    size_t start = kAliasPrefixLength;
    for (;;) {
        size_t end = text.find(L'\\', start);
        parts.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    // One trailing backslash names the same folder.
    if (parts.size() > 1 && parts.back().empty())
        parts.pop_back();
    for (const std::wstring& part : parts) {
        if (part.empty())
            return false;
    }
    path.alias = parts[0];
    path.level = PhonePath::Level::Phone;
    if (parts.size() == 1)
        return true;
    const std::wstring& memory = parts[1];
    if (memory.size() != 2 || memory[1] != L':' || !iswalpha(memory[0]) || memory[0] > 0x7F)
        return false;
    path.drive = static_cast<wchar_t>(towupper(memory[0]));
    path.level = PhonePath::Level::Memory;
    path.names.assign(parts.begin() + 2, parts.end());
    if (!path.names.empty())
        path.level = PhonePath::Level::Item;
    return true;
}

} // namespace store_names
