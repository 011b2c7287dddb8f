#include "PhonePath.h"

#include <cwchar>
#include <cwctype>

namespace phone {
namespace {

const wchar_t kAliasPrefix[] = L"ALIAS:";
const size_t kAliasPrefixLength = 6;

} // namespace

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

std::wstring XmlAttribute(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            out += L"&amp;";
            break;
        case L'<':
            out += L"&lt;";
            break;
        case L'>':
            out += L"&gt;";
            break;
        case L'"':
            out += L"&quot;";
            break;
        case L'\'':
            out += L"&apos;";
            break;
        case L'\t':
            out += L"&#x9;";
            break;
        case L'\n':
            out += L"&#xA;";
            break;
        case L'\r':
            out += L"&#xD;";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

bool XmlCanCarry(const std::wstring& text)
{
    for (wchar_t c : text) {
        if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c == 0xFFFE || c == 0xFFFF)
            return false;
    }
    return true;
}

std::wstring ListingBegin()
{
    return L"<?xml version=\"1.0\"?>\r\n<folder-listing version=\"1.0\">\r\n";
}

std::wstring ListingEnd()
{
    return L"</folder-listing>\r\n";
}

std::wstring PhoneFolderElement(const std::wstring& alias)
{
    if (!XmlCanCarry(alias))
        return L"";
    return L"<folder name=\"" + XmlAttribute(alias) + L"\" user-perm=\"R\"/>\r\n";
}

std::wstring MemoryFolderElement(wchar_t drive, const std::wstring& label, const std::wstring& memType)
{
    return L"<folder name=\"" + std::wstring(1, drive) + L":\" label=\"" + XmlAttribute(label) + L"\" mem-type=\"" +
           XmlAttribute(memType) + L"\" user-perm=\"RW\"/>\r\n";
}

} // namespace phone
