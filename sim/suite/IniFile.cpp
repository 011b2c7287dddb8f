#include "IniFile.h"

#include "common/Resource.h"

namespace {

std::wstring Trim(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return std::wstring();
    size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

bool IniFile::Load(const std::wstring& path)
{
    sections_.clear();
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr));
    if (!file)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE || size % 2 != 0)
        return false;
    std::wstring text(size / 2, L'\0');
    DWORD read = 0;
    if (size && (!ReadFile(file.get(), &text[0], size, &read, nullptr) || read != size))
        return false;
    if (!text.empty() && text[0] == 0xFEFF)
        text.erase(0, 1);

    std::wstring section;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == L';')
            continue;
        if (line[0] == L'[' && line.back() == L']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        size_t equals = line.find(L'=');
        if (equals == std::wstring::npos)
            continue;
        Set(section, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }
    return true;
}

bool IniFile::Save(const std::wstring& path) const
{
    std::wstring text(1, static_cast<wchar_t>(0xFEFF));
    for (const auto& section : sections_) {
        text += L"[" + section.first + L"]\r\n";
        for (const auto& entry : section.second)
            text += entry.first + L"=" + entry.second + L"\r\n";
    }
    // Written beside the file and moved over it, so that a failed write leaves the old settings.
    std::wstring temporary = path + L".new";
    {
        unique_file file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file)
            return false;
        DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), bytes, &written, nullptr) || written != bytes)
            return false;
    }
    return MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

std::wstring IniFile::Get(const std::wstring& section, const std::wstring& key, const std::wstring& fallback) const
{
    for (const auto& entry : Section(section)) {
        if (_wcsicmp(entry.first.c_str(), key.c_str()) == 0)
            return entry.second;
    }
    return fallback;
}

void IniFile::Set(const std::wstring& section, const std::wstring& key, const std::wstring& value)
{
    for (auto& existing : sections_) {
        if (_wcsicmp(existing.first.c_str(), section.c_str()) != 0)
            continue;
        for (auto& entry : existing.second) {
            if (_wcsicmp(entry.first.c_str(), key.c_str()) == 0) {
                entry.second = value;
                return;
            }
        }
        existing.second.emplace_back(key, value);
        return;
    }
    sections_.emplace_back(section, Entries{{key, value}});
}

IniFile::Entries IniFile::Section(const std::wstring& section) const
{
    for (const auto& existing : sections_) {
        if (_wcsicmp(existing.first.c_str(), section.c_str()) == 0)
            return existing.second;
    }
    return Entries();
}

std::vector<std::wstring> IniFile::SectionNames() const
{
    std::vector<std::wstring> names;
    for (const auto& section : sections_)
        names.push_back(section.first);
    return names;
}

void IniFile::RemoveSection(const std::wstring& section)
{
    for (auto it = sections_.begin(); it != sections_.end(); ++it) {
        if (_wcsicmp(it->first.c_str(), section.c_str()) == 0) {
            sections_.erase(it);
            return;
        }
    }
}
