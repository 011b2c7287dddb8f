// A small reader of XML description files such as "Folder.xml".
#pragma once

#include "common/ComPtr.h"

#include <msxml2.h>

namespace mirror {

// Result codes of CXmlFile: plain numbers, not HRESULTs.
constexpr long kXmlNoSuchElement = 0x6200;
constexpr long kXmlNoItem = 0x6201;
constexpr long kXmlNoParent = 0x6205;
constexpr long kXmlNotLoaded = 0x6207;

// Description files hold a few elements; a larger file is refused unread.
constexpr ULONGLONG kMaxXmlFileBytes = 64 * 1024;

class CXmlFile
{
public:
    explicit CXmlFile(const wchar_t* path);
    CXmlFile(const CXmlFile&) = delete;
    CXmlFile& operator=(const CXmlFile&) = delete;

    bool Exists() const { return m_exists; }
    int IsLoaded() const { return m_loaded ? 1 : 0; }
    // Makes the first element of that name in the document the current one.
    long SelectElement(const wchar_t* name);
    // Text of the first child of that name of the current element's parent,
    // cut to size - 1 characters.
    long GetText(const wchar_t* name, wchar_t* buffer, size_t size);

private:
    bool m_exists = false;
    bool m_loaded = false;
    com_ptr<IXMLDOMDocument2> m_document;
    com_ptr<IXMLDOMNode> m_current;
};

} // namespace mirror
