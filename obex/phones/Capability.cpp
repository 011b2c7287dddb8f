#include "Capability.h"

#include <windows.h>

#include <cwctype>

namespace obex {
namespace {

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty() || utf8.size() > 0x7FFFFFFF)
        return L"";
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &text[0], length);
    return text;
}

std::wstring Trimmed(const std::wstring& text)
{
    size_t first = 0, last = text.size();
    while (first < last && iswspace(text[first]))
        ++first;
    while (last > first && iswspace(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

std::wstring Unescaped(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        static const struct {
            const wchar_t* entity;
            wchar_t c;
        } entities[] = {{L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
        bool replaced = false;
        for (const auto& e : entities) {
            const size_t length = wcslen(e.entity);
            if (text.compare(i, length, e.entity) == 0) {
                out += e.c;
                i += length - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += text[i];
    }
    return out;
}

// The text of the first <NAME>...</NAME> in [from, to); npos-safe.
std::wstring ElementText(const std::wstring& text, const wchar_t* name, size_t from, size_t to)
{
    const std::wstring open = std::wstring(L"<") + name + L">";
    const std::wstring close = std::wstring(L"</") + name + L">";
    const size_t start = text.find(open, from);
    if (start == std::wstring::npos || start >= to)
        return L"";
    const size_t end = text.find(close, start + open.size());
    if (end == std::wstring::npos || end > to)
        return L"";
    return Trimmed(Unescaped(text.substr(start + open.size(), end - start - open.size())));
}

} // namespace

CapabilityInfo ReadCapability(const std::string& utf8)
{
    CapabilityInfo info;
    const std::wstring text = Wide(utf8);
    size_t generalEnd = text.find(L"</General>");
    if (generalEnd == std::wstring::npos)
        generalEnd = text.size();
    info.manufacturer = ElementText(text, L"Manufacturer", 0, generalEnd);
    info.model = ElementText(text, L"Model", 0, generalEnd);
    for (size_t at = text.find(L"<Memory>"); at != std::wstring::npos && at < generalEnd;
         at = text.find(L"<Memory>", at + 1)) {
        size_t end = text.find(L"</Memory>", at);
        if (end == std::wstring::npos)
            break;
        info.memories.push_back({ElementText(text, L"MemType", at, end), ElementText(text, L"Free", at, end)});
    }
    return info;
}

} // namespace obex
