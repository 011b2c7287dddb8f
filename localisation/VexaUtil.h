// The language string loader: maps a language file (a resource-only library)
// and reads its strings once each through a cache.
#pragma once

#include <windows.h>

#include <memory>

class CVexaUtil
{
public:
    static constexpr size_t kNameLength = 256;
    static constexpr int kStringLength = 1024;

    CVexaUtil();
    CVexaUtil(const CVexaUtil&) = delete;
    CVexaUtil& operator=(const CVexaUtil&) = delete;
    virtual ~CVexaUtil();

    // Releases any loaded file first; the module, or null on failure.
    HMODULE LoadLanguage(const wchar_t* path);
    // The string of the loaded file, or the default when nothing is loaded or
    // the file lacks it. Valid until the file is released.
    const wchar_t* GetString(UINT id, const wchar_t* defaultText);
    const wchar_t* GetStringOrEmpty(UINT id);
    // True when a file was loaded and freed.
    bool ReleaseCurrentLanguage();

    const wchar_t* CurrentFile() const { return m_currentFile.get(); }
    const wchar_t* CurrentLanguageName() const { return m_currentLanguageName.get(); }
    HMODULE Module() const { return m_module; }
    // How often a string was read from the file rather than the cache.
    unsigned StringReads() const { return m_stringReads; }

private:
    struct CacheEntry;

    void FreeCache();
    // Diagnostic texts of failures; nothing is written anywhere.
    void ReportError(const wchar_t* text);

    std::unique_ptr<wchar_t[]> m_currentFile;
    std::unique_ptr<wchar_t[]> m_currentLanguageName;
    HMODULE m_module = nullptr;
    CacheEntry* m_head = nullptr;
    CacheEntry* m_tail = nullptr;
    unsigned m_stringReads = 0;
};
