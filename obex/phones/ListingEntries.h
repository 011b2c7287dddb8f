// The items of a folder listing as the OBEX client normalised it, and the
// few changes the suite makes to it before the server reads it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace obex {

struct ListingEntry {
    bool folder = false;
    std::wstring name;
    long long size = 0;
    std::wstring modified; // local time "YYYYMMDDTHHMMSS", or as the phone wrote it
    std::wstring label;
    std::wstring memType;
};

// Reads the elements of a normalised listing (one element a line, attribute
// values escaped); kBadListing for text not in that form.
HRESULT ReadListingEntries(const std::wstring& listing, std::vector<ListingEntry>& entries);

// The entry of that name, exactly as the phone spells it; null when none.
const ListingEntry* FindEntry(const std::vector<ListingEntry>& entries, const std::wstring& name);

// Gives every item without a memory type that of the memory holding it, so
// that a copy into any folder learns which memory it fills.
std::wstring WithMemoryType(const std::wstring& listing, const std::wstring& memType);

// "YYYYMMDDTHHMMSS" (anything after the seconds ignored) as a DATE; 0 when the
// text is no such time.
DATE ListingDate(const std::wstring& text);

} // namespace obex
