// Creation of the platform's XML document object, safe for untrusted text.
#pragma once

#include "common/ComPtr.h"

#include <msxml2.h>

namespace mirror {

// Creates an MSXML DOM document: version 4.0 as the product expects, else 6.0,
// else 3.0 (current Windows has no MSXML 4). Validation and external resolution
// are switched off, so a document type or external entity is never fetched.
HRESULT CreateXmlDocument(com_ptr<IXMLDOMDocument2>& document);

} // namespace mirror
