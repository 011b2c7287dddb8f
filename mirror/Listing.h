// One phone folder listing as the phone file system returns it, parsed into
// entries, and the listing's date text.
#pragma once

#include "phone/VFSItem.h"

#include <windows.h>
#include <oleauto.h>

#include <vector>

namespace mirror {

using phone::VFSItem;

// Parses listing text into its files and folders (both emptied first). Folders
// get PC names that fit below pcFolderPath and are unique among them.
// E_FAIL when the text does not load as XML (a document type is taken out
// first); 0x8007007B when a name is no single phone name (a separator, "." or
// ".."), 0x800700CE when it is too long for its field: such a listing is refused whole.
HRESULT GetFilesAndFolders(BSTR listing, std::vector<VFSItem>& files, std::vector<VFSItem>& folders,
                           const wchar_t* pcFolderPath);

// Listing date text YYYYMMDDTHHMMSS to DATE; 0.0 for anything that is not a valid date.
DATE BSTR2Date(const wchar_t* text);

} // namespace mirror
