// A phone's folder listing made into the listing the server reads.
#pragma once

#include <windows.h>

#include <string>

namespace obex {

// Reads the raw folder-listing object (UTF-8) leniently and writes it anew as
// well-formed XML: a "folder-listing" root holding the "file" and "folder"
// elements with all their attributes, in their order. Names that the peer left
// unescaped keep their true text; an XML declaration, a document type and
// comments are skipped. Times with a trailing "Z" (UTC) become local times
// "YYYYMMDDTHHMMSS", other values stay as the phone wrote them. Input that is
// no listing (not UTF-8, no root, cut short, broken markup) is kBadListing.
HRESULT NormaliseFolderListing(const std::string& raw, std::wstring& listing);

} // namespace obex
