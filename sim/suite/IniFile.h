// A small settings file: sections of key=value lines, kept as UTF-16 with a
// byte-order mark. Section and key names compare without regard to case.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class IniFile
{
public:
    using Entries = std::vector<std::pair<std::wstring, std::wstring>>;

    // False when the file cannot be read; a missing file reads as empty.
    bool Load(const std::wstring& path);
    bool Save(const std::wstring& path) const;

    std::wstring Get(const std::wstring& section, const std::wstring& key,
                     const std::wstring& fallback = std::wstring()) const;
    void Set(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    // The entries of a section in file order; empty when there is none.
    Entries Section(const std::wstring& section) const;
    std::vector<std::wstring> SectionNames() const;
    void RemoveSection(const std::wstring& section);

private:
    std::vector<std::pair<std::wstring, Entries>> sections_;
};
