// Listings crafted to hurt, for tests: the store cannot hold every name a
// hostile phone may send (control characters, separators, names too long for a
// PC path), so a test hands the suite the text a folder's readdir answers.
#pragma once

#include <windows.h>

#include <string>

namespace crafted_listings {

// From now on readdir of phonePath answers the text of pcFile, read at each
// call (UTF-16 with its byte-order mark, else UTF-8). A phonePath ending in
// "\*" answers for that folder and every path below it. An empty pcFile
// forgets the path.
HRESULT Set(const std::wstring& phonePath, const std::wstring& pcFile);
// Forgets every crafted listing (with the injected faults).
void Clear();
// S_FALSE when no crafted listing answers for phonePath; else the file's text
// and S_OK, or the failure to read it.
HRESULT Find(const std::wstring& phonePath, std::wstring& text);

} // namespace crafted_listings
