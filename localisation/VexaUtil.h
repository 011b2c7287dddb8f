// The language string loader: maps a language file (a resource-only library)
// and reads its strings once each through a cache. One loaded file serves its
// owner's requests on every thread: the cache is guarded by a lock.
#pragma once

#include "common/Resource.h"

#include <windows.h>

#include <map>
#include <string>

class CVexaUtil
{
public:
    static constexpr size_t kNameLength = 256;
    static constexpr int kStringLength = 1024;

    CVexaUtil();
    CVexaUtil(const CVexaUtil&) = delete;
    CVexaUtil& operator=(const CVexaUtil&) = delete;
    virtual ~CVexaUtil();

    // Releases any loaded file first; the module, or null on failure. A path
    // longer than the file name buffer (kNameLength) is refused.
    HMODULE LoadLanguage(const wchar_t* path);
    // The string of the loaded file, or the default when nothing is loaded or
    // the file lacks it. Valid until the file is released.
    const wchar_t* GetString(UINT id, const wchar_t* defaultText);
    const wchar_t* GetStringOrEmpty(UINT id);
    // True when a file was loaded and is now freed.
    bool ReleaseCurrentLanguage();
    bool IsLoaded() const { return static_cast<bool>(m_module); }

    const std::wstring& CurrentFile() const { return m_currentFile; }
    const std::wstring& CurrentLanguageName() const { return m_currentLanguageName; }
    // How often a string was read from the file rather than the cache.
    unsigned StringReads() const { return m_stringReads; }

private:
    std::wstring m_currentFile;
    std::wstring m_currentLanguageName;
    unique_hmodule m_module;
    // A map keeps each string in place while others are added, so the texts
    // handed out stay valid.
    std::map<UINT, std::wstring> m_strings;
    unsigned m_stringReads = 0;
    critical_section m_lock;
};
