// Creation of the platform's XML document object, safe for untrusted text.
#pragma once

#include "common/ComPtr.h"

#include <msxml2.h>

#include <string>

namespace mirror {

// Creates an MSXML DOM document: version 4.0 as the product expects, else 6.0,
// else 3.0 (current Windows has no MSXML 4). Validation and external resolution
// are switched off, so a document type or external entity is never fetched.
HRESULT CreateXmlDocument(com_ptr<IXMLDOMDocument2>& document);

// Text from outside (a phone's listing) without its document type: some
// parsers read a document type's external subset or expand the entities it
// declares whatever their settings say, so none reaches the parser. A text that
// uses such entities no longer loads. Text after the first element is left as it is.
std::wstring WithoutDocumentType(const wchar_t* text, size_t length);

// Takes every comment out of the text; false when one is malformed ("--" inside
// it, or no end). Comments say nothing a listing needs, and the platform's parser
// takes time growing with the square of a malformed comment's length.
bool RemoveComments(std::wstring& text);

} // namespace mirror
