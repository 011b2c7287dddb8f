#include "FolderListing.h"

#include "ObexResults.h"
#include "common/Trace.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

namespace obex {

namespace {

using Attribute = std::pair<std::wstring, std::wstring>;

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool IsNameCharacter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' || c == L'_' ||
           c == L'.' || c == L':';
}

bool SameText(const std::wstring& a, const wchar_t* b)
{
    return _wcsicmp(a.c_str(), b) == 0;
}

// The markup reader: a position in the text and the few steps it needs.
class Reader
{
public:
    explicit Reader(const std::wstring& text) : text_(text) {}

    bool End() const { return at_ >= text_.size(); }
    bool At(const wchar_t* s) const { return text_.compare(at_, wcslen(s), s) == 0; }
    void SkipSpace()
    {
        while (!End() && IsSpace(text_[at_]))
            ++at_;
    }
    bool SkipPast(const wchar_t* s)
    {
        const size_t found = text_.find(s, at_);
        if (found == std::wstring::npos)
            return false;
        at_ = found + wcslen(s);
        return true;
    }
    std::wstring Name()
    {
        const size_t start = at_;
        while (!End() && IsNameCharacter(text_[at_]))
            ++at_;
        return text_.substr(start, at_ - start);
    }
    // A document type, with an internal subset and quoted texts.
    bool SkipDocumentType()
    {
        int depth = 0;
        for (wchar_t quote = 0; !End(); ++at_) {
            const wchar_t c = text_[at_];
            if (quote) {
                quote = c == quote ? 0 : quote;
            } else if (c == L'"' || c == L'\'') {
                quote = c;
            } else if (c == L'[') {
                ++depth;
            } else if (c == L']') {
                --depth;
            } else if (c == L'>' && depth <= 0) {
                ++at_;
                return true;
            }
        }
        return false;
    }
    // Declarations, processing instructions, comments and text between elements.
    bool SkipMisc()
    {
        for (;;) {
            while (!End() && text_[at_] != L'<')
                ++at_;
            if (At(L"<?")) {
                if (!SkipPast(L"?>"))
                    return false;
            } else if (At(L"<!--")) {
                if (!SkipPast(L"-->"))
                    return false;
            } else if (At(L"<!DOCTYPE")) {
                if (!SkipDocumentType())
                    return false;
            } else {
                return true;
            }
        }
    }
    // The attributes of a start tag up to its end; `empty` when it closes itself.
    bool Attributes(std::vector<Attribute>& attributes, bool& empty)
    {
        attributes.clear();
        for (;;) {
            SkipSpace();
            if (At(L"/>") || At(L">")) {
                empty = At(L"/>");
                at_ += empty ? 2 : 1;
                return true;
            }
            std::wstring name = Name();
            SkipSpace();
            if (name.empty() || !At(L"="))
                return false;
            ++at_;
            SkipSpace();
            std::wstring value;
            if (!Value(value))
                return false;
            // XML allows a name once; the server takes the last value.
            for (auto a = attributes.begin(); a != attributes.end(); ++a) {
                if (a->first == name) {
                    attributes.erase(a);
                    break;
                }
            }
            attributes.emplace_back(std::move(name), std::move(value));
        }
    }

private:
    // A quoted value. Peers that leave quotes unescaped are read by taking as
    // the end the first quote that a tag end or another attribute follows.
    bool Value(std::wstring& value)
    {
        if (End() || (text_[at_] != L'"' && text_[at_] != L'\''))
            return false;
        const wchar_t quote = text_[at_];
        const size_t start = ++at_;
        for (size_t close = text_.find(quote, start); close != std::wstring::npos;
             close = text_.find(quote, close + 1)) {
            if (EndsValue(close + 1)) {
                value = Decode(text_.substr(start, close - start));
                at_ = close + 1;
                return true;
            }
        }
        return false;
    }
    bool EndsValue(size_t next) const
    {
        size_t i = next;
        while (i < text_.size() && IsSpace(text_[i]))
            ++i;
        if (i == text_.size() || text_[i] == L'>' || text_.compare(i, 2, L"/>") == 0)
            return true;
        if (i == next || i == text_.size() || !IsNameCharacter(text_[i]))
            return false; // another attribute needs space before its name
        while (i < text_.size() && IsNameCharacter(text_[i]))
            ++i;
        while (i < text_.size() && IsSpace(text_[i]))
            ++i;
        return i < text_.size() && text_[i] == L'=';
    }
    // Entity and character references; an "&" that starts none is itself.
    static std::wstring Decode(const std::wstring& raw)
    {
        static const std::pair<const wchar_t*, wchar_t> kEntities[] = {
            {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}};
        std::wstring out;
        for (size_t i = 0; i < raw.size(); ++i) {
            const size_t semicolon = raw[i] == L'&' ? raw.find(L';', i) : std::wstring::npos;
            if (semicolon == std::wstring::npos || semicolon - i > 10) {
                out += raw[i];
                continue;
            }
            const std::wstring name = raw.substr(i + 1, semicolon - i - 1);
            unsigned long code = 0;
            for (const auto& entity : kEntities) {
                if (name == entity.first)
                    code = entity.second;
            }
            if (!code && name.size() > 1 && name[0] == L'#') {
                const bool hex = name[1] == L'x';
                const wchar_t* digits = name.c_str() + (hex ? 2 : 1);
                wchar_t* stop = nullptr;
                code = *digits && iswxdigit(*digits) ? wcstoul(digits, &stop, hex ? 16 : 10) : 0;
                if (!stop || *stop || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                    code = 0;
            }
            if (!code) {
                out += raw[i];
                continue;
            }
            if (code > 0xFFFF) {
                code -= 0x10000;
                out += static_cast<wchar_t>(0xD800 + (code >> 10));
                out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
            } else {
                out += static_cast<wchar_t>(code);
            }
            i = semicolon;
        }
        return out;
    }

    const std::wstring& text_;
    size_t at_ = 0;
};

// "YYYYMMDDTHHMMSSZ" as the phone-local "YYYYMMDDTHHMMSS". The server turns
// listing times into file times with the platform's local-to-UTC file-time
// conversion: the reverse of that conversion gives the file's true UTC time back.
bool UtcToLocal(const std::wstring& value, std::wstring& local)
{
    if (value.size() != 16 || value[8] != L'T' || value[15] != L'Z')
        return false;
    for (size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14}) {
        if (value[i] < L'0' || value[i] > L'9')
            return false;
    }
    SYSTEMTIME utc{};
    utc.wYear = static_cast<WORD>(std::stoi(value.substr(0, 4)));
    utc.wMonth = static_cast<WORD>(std::stoi(value.substr(4, 2)));
    utc.wDay = static_cast<WORD>(std::stoi(value.substr(6, 2)));
    utc.wHour = static_cast<WORD>(std::stoi(value.substr(9, 2)));
    utc.wMinute = static_cast<WORD>(std::stoi(value.substr(11, 2)));
    utc.wSecond = static_cast<WORD>(std::stoi(value.substr(13, 2)));
    FILETIME utcFile, localFile;
    SYSTEMTIME time;
    if (!SystemTimeToFileTime(&utc, &utcFile) || !FileTimeToLocalFileTime(&utcFile, &localFile) ||
        !FileTimeToSystemTime(&localFile, &time))
        return false;
    wchar_t text[32];
    swprintf(text, 32, L"%04u%02u%02uT%02u%02u%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
             time.wSecond);
    local = text;
    return true;
}

// Appends the value as attribute text; false for characters XML cannot hold.
bool AppendEscaped(const std::wstring& value, std::wstring& out)
{
    for (wchar_t c : value) {
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
        case L'\t':
        case L'\n':
        case L'\r':
            out += L"&#" + std::to_wstring(static_cast<int>(c)) + L";";
            break;
        default:
            if (c < 0x20 || c == 0xFFFE || c == 0xFFFF)
                return false;
            out += c;
        }
    }
    return true;
}

void AppendElement(const std::wstring& name, const std::vector<Attribute>& attributes, std::wstring& out)
{
    std::wstring element = L"<" + name;
    for (const Attribute& attribute : attributes) {
        std::wstring value = attribute.second;
        std::wstring local;
        if ((SameText(attribute.first, L"modified") || SameText(attribute.first, L"created") ||
             SameText(attribute.first, L"accessed")) &&
            UtcToLocal(value, local))
            value = local;
        element += L" " + attribute.first + L"=\"";
        if (!AppendEscaped(value, element)) {
            // One name no XML can carry must not hide the rest of the folder.
            QTRACE(L"(): an entry with control characters is left out\n");
            return;
        }
        element += L"\"";
    }
    out += element + L"/>\n";
}

bool ToWide(const std::string& raw, std::wstring& text)
{
    if (raw.empty() || raw.size() > 0x7FFFFFFF)
        return false;
    const int size = static_cast<int>(raw.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, raw.data(), size, nullptr, 0);
    if (length <= 0)
        return false;
    text.resize(static_cast<size_t>(length));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, raw.data(), size, &text[0], length) == length;
}

} // namespace

HRESULT NormaliseFolderListing(const std::string& raw, std::wstring& listing)
{
    listing.clear();
    std::wstring text;
    if (!ToWide(raw, text))
        return kBadListing;
    Reader reader(text);
    std::vector<Attribute> attributes;
    bool closed = false; // the root closes itself: an empty folder
    if (!reader.SkipMisc() || !reader.SkipPast(L"<") || reader.Name() != L"folder-listing" ||
        !reader.Attributes(attributes, closed))
        return kBadListing;

    std::wstring out = L"<folder-listing version=\"1.0\">\n";
    while (!closed) {
        if (!reader.SkipMisc() || reader.End())
            return kBadListing; // cut short: a listing without its end may lack files
        if (reader.At(L"</folder-listing"))
            break;
        if (reader.At(L"</")) {
            if (!reader.SkipPast(L">"))
                return kBadListing;
            continue;
        }
        reader.SkipPast(L"<");
        const std::wstring name = reader.Name();
        bool empty = false;
        if (name.empty() || !reader.Attributes(attributes, empty))
            return kBadListing;
        // The server reads only these two; parent-folder and others go.
        if (name == L"file" || name == L"folder")
            AppendElement(name, attributes, out);
    }
    listing = out + L"</folder-listing>\n";
    return S_OK;
}

} // namespace obex
