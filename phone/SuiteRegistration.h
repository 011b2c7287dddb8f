// Per-machine registration of a phone suite: the phone components' classes, their
// ProgIDs and type libraries, served by the calling executable. Every suite
// registers the same classes, so registering one replaces the other.
#pragma once

#include <windows.h>

#include <vector>

namespace suite_registration {

struct ClassEntry {
    const CLSID* clsid;
    const wchar_t* description;
    const wchar_t* progId;
    const GUID* libid;
};

// The components the server drives, as every suite registers them.
std::vector<ClassEntry> PhoneComponentClasses();

// Registers the executable's TYPELIB resources 1..typeLibraries and the classes
// as its local server.
HRESULT Register(const std::vector<ClassEntry>& classes, int typeLibraries);
// Removes the classes and the named type libraries (version 1.0); a library
// that was never registered is no failure.
HRESULT Unregister(const std::vector<ClassEntry>& classes, const std::vector<const GUID*>& libraries);

} // namespace suite_registration
