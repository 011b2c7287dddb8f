// One entry of a phone folder listing, in the fixed fields the shortcut files
// and the mirror code share.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace phone {

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

} // namespace phone
