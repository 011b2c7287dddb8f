// Naming in the phone store: phone names are kept in PC folder and file names
// through an escaping of their own, and phone paths are split into their parts.
#pragma once

#include "phone/PhonePath.h"

#include <string>
#include <vector>

namespace store_names {

// A PC-safe form of any phone name: '%' and every character a PC name cannot hold
// become %XX; a leading dot or blank, trailing dots and blanks are escaped too, and
// so is the first letter of a reserved device name ("con.txt" -> "%63on.txt").
// Empty for an empty name.
std::wstring EscapeName(const std::wstring& name);
// The reverse; a '%' not followed by two hex digits stays as it is.
std::wstring UnescapeName(const std::wstring& escaped);
// The escaping for values of the settings files: keeps them one line, unquoted and untrimmed.
std::wstring EscapeValue(const std::wstring& value);

bool IsReservedDeviceName(const std::wstring& name);

// Phone paths are those every suite shares.
using phone::ParsePhonePath;
using phone::PhonePath;

} // namespace store_names
