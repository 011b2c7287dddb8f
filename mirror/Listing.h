// One phone folder listing as the phone file system returns it, parsed into
// entries, and the date conversions between listing text, DATE and file times.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <vector>

namespace mirror {

// Field widths of a listing entry, in characters with the terminator.
constexpr size_t kNameWidth = MAX_PATH;
constexpr size_t kUserPermWidth = 16;
constexpr size_t kLabelWidth = MAX_PATH;
constexpr size_t kMemTypeWidth = 16;
constexpr size_t kMimeTypeWidth = 128;

// One entry of a phone folder listing. Value-initialise it (VFSItem item{}):
// texts empty, numbers and dates 0.
struct VFSItem {
    wchar_t phoneName[kNameWidth];
    wchar_t pcName[kNameWidth]; // folders only; files get theirs when their shortcut is written
    LONG size;
    DATE created;
    DATE modified;
    wchar_t userPerm[kUserPermWidth];
    wchar_t label[kLabelWidth];
    wchar_t memType[kMemTypeWidth];
    wchar_t mimeType[kMimeTypeWidth];
};

// Copies text into a fixed field, cut to the field's width minus one.
template <size_t Width> void CopyField(wchar_t (&field)[Width], const wchar_t* text)
{
    size_t i = 0;
    for (; text && text[i] && i < Width - 1; ++i)
        field[i] = text[i];
    field[i] = L'\0';
}

// Parses listing text into its files and folders (both emptied first). Folders
// get PC names that fit below pcFolderPath and are unique among them.
// E_FAIL when the text does not load as XML.
HRESULT GetFilesAndFolders(BSTR listing, std::vector<VFSItem>& files, std::vector<VFSItem>& folders,
                           const wchar_t* pcFolderPath);

// Listing date text YYYYMMDDTHHMMSS to DATE; 0.0 for anything that is not a valid date.
DATE BSTR2Date(const wchar_t* text);

// DATE to calendar form, rounded to the nearest second. False outside the
// years 100 to 9999 (DATE -657434.0 to 2958465.0).
bool DateToSystemTime(DATE date, SYSTEMTIME& time);

// Phone time (local DATE) to a PC file time (UTC), and back.
HRESULT DateToFileTime(DATE date, FILETIME& fileTime);
HRESULT FileTimeToDate(const FILETIME& fileTime, DATE& date);

} // namespace mirror
