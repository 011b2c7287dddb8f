#include "XmlFile.h"

#include "XmlDocument.h"
#include "common/Resource.h"

#include <cwchar>

#include <initguid.h>

// MinGW declares the MSXML interface identifiers but ships no library holding them.
DEFINE_GUID(IID_IXMLDOMDocument2, 0x2933bf95, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60);

namespace mirror {

CXmlFile::CXmlFile(const wchar_t* path)
{
    if (!path)
        return;
    WIN32_FILE_ATTRIBUTE_DATA data;
    m_exists =
        GetFileAttributesExW(path, GetFileExInfoStandard, &data) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!m_exists || data.nFileSizeHigh || data.nFileSizeLow > kMaxXmlFileBytes ||
        FAILED(CreateXmlDocument(m_document)))
        return;
    unique_bstr source(path);
    VARIANT location;
    VariantInit(&location);
    location.vt = VT_BSTR;
    location.bstrVal = source.get();
    VARIANT_BOOL success = VARIANT_FALSE;
    m_loaded = SUCCEEDED(m_document->load(location, &success)) && success == VARIANT_TRUE;
}

long CXmlFile::SelectElement(const wchar_t* name)
{
    if (!m_loaded)
        return kXmlNotLoaded;
    if (!name)
        return E_HANDLE;
    m_current.reset();
    unique_bstr tag(name);
    com_ptr<IXMLDOMNodeList> elements;
    if (FAILED(m_document->getElementsByTagName(tag.get(), elements.put())) || !elements)
        return kXmlNoSuchElement;
    com_ptr<IXMLDOMNode> first;
    if (elements->get_item(0, first.put()) != S_OK || !first)
        return kXmlNoItem;
    m_current = first;
    return 0;
}

long CXmlFile::GetText(const wchar_t* name, wchar_t* buffer, size_t size)
{
    if (!m_loaded)
        return kXmlNotLoaded;
    if (!m_current)
        return kXmlNoItem;
    if (!name || !buffer || size == 0)
        return E_HANDLE;
    buffer[0] = L'\0';
    com_ptr<IXMLDOMNode> parent;
    if (m_current->get_parentNode(parent.put()) != S_OK || !parent)
        return kXmlNoParent;
    unique_bstr query(name);
    com_ptr<IXMLDOMNodeList> children;
    if (FAILED(parent->selectNodes(query.get(), children.put())) || !children)
        return kXmlNoSuchElement;
    com_ptr<IXMLDOMNode> first;
    if (children->get_item(0, first.put()) != S_OK || !first)
        return kXmlNoItem;
    unique_bstr text;
    if (FAILED(first->get_text(text.put())) || !text)
        return kXmlNoSuchElement;
    wcsncpy(buffer, text.c_str(), size - 1);
    buffer[size - 1] = L'\0';
    return 0;
}

} // namespace mirror
