#include "XmlDocument.h"

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
    if (FAILED(hr))
        document.reset();
    return hr;
}

} // namespace mirror
