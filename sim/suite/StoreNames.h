// Naming in the phone store: phone names are kept in PC folder and file names
// through an escaping of their own, and phone paths are split into their parts.
#pragma once

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

// A phone path: "" (all phones), "ALIAS:a" (a phone), "ALIAS:a\C:" (a memory),
// "ALIAS:a\C:\x\y" (items below).
struct PhonePath {
    enum class Level { Root, Phone, Memory, Item };
    Level level = Level::Root;
    std::wstring alias;
    wchar_t drive = 0; // upper-case letter
    std::vector<std::wstring> names;

    // The path of the item's parent; for an item directly in a memory the memory.
    PhonePath Parent() const;
    std::wstring Text() const;
};

// False for a path that is not of the forms above.
bool ParsePhonePath(const std::wstring& text, PhonePath& path);

} // namespace store_names
