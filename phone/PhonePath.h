// What every phone suite shares about its phone paths and the listings of the
// levels above a memory: "" (all phones), "ALIAS:a" (a phone), "ALIAS:a\C:" (a
// memory), "ALIAS:a\C:\x\y" (items below).
#pragma once

#include <string>
#include <vector>

namespace phone {

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

// Attribute text for a listing; XmlCanCarry first, since XML 1.0 cannot carry
// most control characters, not even as references.
std::wstring XmlAttribute(const std::wstring& text);
bool XmlCanCarry(const std::wstring& text);

// The listings of the root (one folder per phone) and of a phone (one folder
// per memory), in the form every suite gives them.
std::wstring ListingBegin();
std::wstring ListingEnd();
// Empty for an alias the listing cannot carry.
std::wstring PhoneFolderElement(const std::wstring& alias);
std::wstring MemoryFolderElement(wchar_t drive, const std::wstring& label, const std::wstring& memType);

} // namespace phone
