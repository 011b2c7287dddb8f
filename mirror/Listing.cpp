#include "Listing.h"

#include "PcNameFit.h"
#include "XmlDocument.h"
#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <cstdlib>
#include <cwchar>
#include <new>

namespace mirror {

using phone::CopyField;

namespace {

// Listed folders get PC names of at most this many characters.
constexpr int kFolderNameLimit = 30;

constexpr double kSecondsPerDay = 86400.0;

constexpr HRESULT kBadPhoneName = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);

// Decimal value of count characters at text[offset], read as _wtoi reads them
// (leading blanks, a sign, digits up to the first other character), kept in 16 bits.
unsigned short DecimalAt(const wchar_t* text, size_t offset, size_t count)
{
    const wchar_t* c = text + offset;
    const wchar_t* const end = c + count;
    while (c < end && (*c == L' ' || (*c >= L'\t' && *c <= L'\r')))
        ++c;
    bool negative = false;
    if (c < end && (*c == L'+' || *c == L'-'))
        negative = *c++ == L'-';
    int value = 0;
    for (; c < end && *c >= L'0' && *c <= L'9'; ++c)
        value = value * 10 + (*c - L'0');
    return static_cast<unsigned short>(negative ? -value : value);
}

// Attribute names are ASCII keywords; the comparison folds ASCII letters only,
// as the C library's case-insensitive comparison does.
bool IsAttribute(const wchar_t* name, const wchar_t* keyword)
{
    for (; *keyword; ++name, ++keyword) {
        wchar_t c = *name;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != *keyword)
            return false;
    }
    return *name == L'\0';
}

// A phone name is one component of a phone path: a name with a separator or a
// dot entry would address another item, and a name cut to its field a different one.
HRESULT CheckPhoneName(const wchar_t* name)
{
    if (wcslen(name) >= phone::kNameWidth)
        return kPathTooLong;
    if (wcschr(name, L'\\') || wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0)
        return kBadPhoneName;
    return S_OK;
}

HRESULT ApplyAttribute(VFSItem& item, const wchar_t* name, const wchar_t* value)
{
    if (IsAttribute(name, L"name")) {
        RETURN_IF_FAILED(CheckPhoneName(value));
        CopyField(item.phoneName, value);
    } else if (IsAttribute(name, L"size"))
        item.size = _wtoi(value);
    else if (IsAttribute(name, L"created"))
        item.created = BSTR2Date(value);
    else if (IsAttribute(name, L"modified"))
        item.modified = BSTR2Date(value);
    else if (IsAttribute(name, L"user-perm"))
        CopyField(item.userPerm, value);
    else if (IsAttribute(name, L"label"))
        CopyField(item.label, value);
    else if (IsAttribute(name, L"mem-type"))
        CopyField(item.memType, value);
    else if (IsAttribute(name, L"type"))
        CopyField(item.mimeType, value);
    return S_OK;
}

// Fills a fresh (zeroed) entry from the attributes of one element, in document order.
HRESULT ReadItem(IXMLDOMNode* element, VFSItem& item)
{
    com_ptr<IXMLDOMNamedNodeMap> attributes;
    RETURN_IF_FAILED(element->get_attributes(attributes.put()));
    if (!attributes)
        return S_OK;
    long count = 0;
    RETURN_IF_FAILED(attributes->get_length(&count));
    for (long i = 0; i < count; ++i) {
        com_ptr<IXMLDOMNode> attribute;
        RETURN_IF_FAILED(attributes->get_item(i, attribute.put()));
        if (!attribute)
            continue;
        unique_bstr name;
        RETURN_IF_FAILED(attribute->get_nodeName(name.put()));
        // The value as the phone wrote it: the text property trims blanks, and a
        // name without its blanks is another phone item.
        unique_variant value;
        RETURN_IF_FAILED(attribute->get_nodeValue(value.put()));
        const VARIANT& text = *value.get();
        RETURN_IF_FAILED(ApplyAttribute(item, name.c_str(), text.vt == VT_BSTR && text.bstrVal ? text.bstrVal : L""));
    }
    return S_OK;
}

HRESULT ElementsNamed(IXMLDOMDocument2* document, const wchar_t* name, com_ptr<IXMLDOMNodeList>& elements)
{
    unique_bstr tag(name);
    if (!tag)
        return E_OUTOFMEMORY;
    RETURN_IF_FAILED(document->getElementsByTagName(tag.get(), elements.put()));
    return elements ? S_OK : E_UNEXPECTED;
}

// The next element of the list whose name is exactly name (the parser may also
// match prefixed names), or null at the end.
HRESULT NextElement(IXMLDOMNodeList* elements, const wchar_t* name, com_ptr<IXMLDOMNode>& element)
{
    for (;;) {
        RETURN_IF_FAILED(elements->nextNode(element.put()));
        if (!element)
            return S_OK;
        unique_bstr nodeName;
        RETURN_IF_FAILED(element->get_nodeName(nodeName.put()));
        if (wcscmp(nodeName.c_str(), name) == 0)
            return S_OK;
    }
}

void Reserve(IXMLDOMNodeList* elements, std::vector<VFSItem>& items)
{
    long count = 0;
    if (SUCCEEDED(elements->get_length(&count)) && count > 0)
        items.reserve(static_cast<size_t>(count));
}

} // namespace

HRESULT GetFilesAndFolders(BSTR listing, std::vector<VFSItem>& files, std::vector<VFSItem>& folders,
                           const wchar_t* pcFolderPath)
{
    files.clear();
    folders.clear();
    com_ptr<IXMLDOMDocument2> document;
    HRESULT hr = CreateXmlDocument(document);
    if (FAILED(hr))
        return hr;

    // A NUL ends the text for some parsers and not for others: no XML holds one.
    const size_t length = listing ? SysStringLen(listing) : 0;
    const bool holdsNul = listing && wcslen(listing) != length;
    std::wstring text = WithoutDocumentType(listing, length);
    const bool commentsWellFormed = RemoveComments(text);
    unique_bstr xml(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (!xml)
        return E_OUTOFMEMORY;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = holdsNul || !commentsWellFormed ? E_FAIL : document->loadXML(xml.get(), &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE) {
        QTRACE(L"(): loadXML failed!\n");
        return E_FAIL;
    }

    const std::wstring folderPath = pcFolderPath ? pcFolderPath : L"";
    PcNameSet folderNames;
    com_ptr<IXMLDOMNodeList> elements;
    RETURN_IF_FAILED(ElementsNamed(document.get(), L"folder", elements));
    Reserve(elements.get(), folders);
    com_ptr<IXMLDOMNode> element;
    for (;;) {
        RETURN_IF_FAILED(NextElement(elements.get(), L"folder", element));
        if (!element)
            break;
        // Entries are filled where they will stay: they are large.
        folders.emplace_back();
        VFSItem& item = folders.back();
        RETURN_IF_FAILED(ReadItem(element.get(), item));
        if (!item.phoneName[0]) {
            folders.pop_back();
            continue;
        }
        std::wstring pcName = item.phoneName;
        FitPcName(pcName, folderPath, kFolderNameLimit, true, folderNames);
        CopyField(item.pcName, pcName.c_str());
        folderNames.Add(item.pcName);
        QTRACE(L"(): phone path=\t%ls\n", item.phoneName);
        QTRACE(L"(): Pc path=\t%ls\n", item.pcName);
    }

    RETURN_IF_FAILED(ElementsNamed(document.get(), L"file", elements));
    Reserve(elements.get(), files);
    for (;;) {
        RETURN_IF_FAILED(NextElement(elements.get(), L"file", element));
        if (!element)
            break;
        files.emplace_back();
        RETURN_IF_FAILED(ReadItem(element.get(), files.back()));
    }
    return S_OK;
}

DATE BSTR2Date(const wchar_t* text)
{
    if (!text || wcslen(text) < 15)
        return 0.0;
    const unsigned year = DecimalAt(text, 0, 4);
    const unsigned month = DecimalAt(text, 4, 2);
    const unsigned day = DecimalAt(text, 6, 2);
    const unsigned hour = DecimalAt(text, 9, 2);
    const unsigned minute = DecimalAt(text, 11, 2);
    const unsigned second = DecimalAt(text, 13, 2);

    if (year > 9999 || month == 0 || month > 12) {
        QTRACE(L"(): Invalid date!\n");
        return 0.0;
    }
    static const unsigned monthStart[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    const bool leapYear = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    unsigned monthLength = monthStart[month] - monthStart[month - 1];
    if (leapYear && month == 2)
        ++monthLength;
    if (day < 1 || day > monthLength || hour > 23 || minute > 59 || second > 59) {
        QTRACE(L"(): Invalid date or time!\n");
        return 0.0;
    }

    long days = static_cast<long>(year * 365 + year / 4 - year / 100 + year / 400 + monthStart[month - 1] + day);
    if (leapYear && month <= 2)
        --days;
    const long serial = days - 693959;
    double fraction = (hour * 3600 + minute * 60 + second) / kSecondsPerDay;
    if (serial < 0)
        fraction = -fraction;
    return serial + fraction;
}

} // namespace mirror
