#include "XmlDocument.h"

#include "common/Resource.h"

#include <algorithm>
#include <cwchar>

namespace {
// Far deeper than any listing or description file nests.
constexpr long kMaxElementDepth = 256;
} // namespace

namespace mirror {

HRESULT CreateXmlDocument(com_ptr<IXMLDOMDocument2>& document)
{
    static const wchar_t* const progIds[] = {L"Msxml2.DOMDocument.4.0", L"Msxml2.DOMDocument.6.0",
                                             L"Msxml2.DOMDocument.3.0"};
    HRESULT hr = REGDB_E_CLASSNOTREG;
    for (const wchar_t* progId : progIds) {
        CLSID clsid;
        hr = CLSIDFromProgID(progId, &clsid);
        if (FAILED(hr))
            continue;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IXMLDOMDocument2,
                              document.put_void());
        if (SUCCEEDED(hr))
            break;
    }
    if (FAILED(hr))
        return hr;
    hr = document->put_validateOnParse(VARIANT_FALSE);
    if (SUCCEEDED(hr))
        hr = document->put_resolveExternals(VARIANT_FALSE);
    if (FAILED(hr)) {
        document.reset();
        return hr;
    }
    // Where the parser knows them: no document type at all, and no nesting deep
    // enough to exhaust its stack. Older parsers refuse the names; that is no error.
    unique_bstr prohibitDtd(L"ProhibitDTD"), maxDepth(L"MaxElementDepth");
    VARIANT on{}, depth{};
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    depth.vt = VT_I4;
    depth.lVal = kMaxElementDepth;
    if (prohibitDtd)
        document->setProperty(prohibitDtd.get(), on);
    if (maxDepth)
        document->setProperty(maxDepth.get(), depth);
    return S_OK;
}

std::wstring WithoutDocumentType(const wchar_t* text, size_t length)
{
    std::wstring out(text ? text : L"", text ? length : 0);
    const auto at = [&out](size_t i, const wchar_t* s) { return out.compare(i, wcslen(s), s) == 0; };
    size_t i = 0;
    for (;;) {
        while (i < out.size() && out[i] != L'<')
            ++i;
        const wchar_t* close = at(i, L"<?") ? L"?>" : at(i, L"<!--") ? L"-->" : nullptr;
        if (close) {
            const size_t end = out.find(close, i);
            if (end == std::wstring::npos)
                return out; // unterminated: the parser refuses it
            i = end + wcslen(close);
            continue;
        }
        if (!at(i, L"<!DOCTYPE"))
            return out; // the first element, or the end
        // To its end: quoted texts and the internal subset may hold ">".
        size_t j = i + 9;
        int depth = 0;
        for (wchar_t quote = 0; j < out.size(); ++j) {
            const wchar_t c = out[j];
            if (!quote && at(j, L"<!--")) {
                j = std::min(out.find(L"-->", j + 4), out.size()) + 2;
                continue;
            }
            if (quote)
                quote = c == quote ? 0 : quote;
            else if (c == L'"' || c == L'\'')
                quote = c;
            else if (c == L'[')
                ++depth;
            else if (c == L']')
                --depth;
            else if (c == L'>' && depth <= 0)
                break;
        }
        // An unterminated document type leaves nothing the parser would accept.
        if (j >= out.size())
            return std::wstring();
        out.erase(i, j + 1 - i);
    }
}

bool RemoveComments(std::wstring& text)
{
    size_t start = text.find(L"<!--");
    if (start == std::wstring::npos)
        return true;
    std::wstring kept(text, 0, start);
    while (start != std::wstring::npos) {
        const size_t hyphens = text.find(L"--", start + 4);
        if (hyphens == std::wstring::npos || text.compare(hyphens, 3, L"-->") != 0)
            return false;
        const size_t next = text.find(L"<!--", hyphens + 3);
        kept.append(text, hyphens + 3, next == std::wstring::npos ? std::wstring::npos : next - (hyphens + 3));
        start = next;
    }
    text.swap(kept);
    return true;
}

} // namespace mirror
