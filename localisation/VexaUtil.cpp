#include "VexaUtil.h"

#include <cwchar>
#include <new>

namespace {
// The text of one cache entry in a movable, zero-initialised global block, kept
// locked while the entry lives.
class LockedGlobalText
{
public:
    explicit LockedGlobalText(const wchar_t* text, size_t length)
    {
        m_block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (length + 1) * sizeof(wchar_t));
        if (!m_block)
            return;
        m_text = static_cast<wchar_t*>(GlobalLock(m_block));
        if (!m_text) {
            GlobalFree(m_block);
            m_block = nullptr;
            return;
        }
        wmemcpy(m_text, text, length);
    }
    LockedGlobalText(const LockedGlobalText&) = delete;
    LockedGlobalText& operator=(const LockedGlobalText&) = delete;
    ~LockedGlobalText()
    {
        if (m_block) {
            GlobalUnlock(m_block);
            GlobalFree(m_block);
        }
    }
    const wchar_t* text() const { return m_text; }

private:
    HGLOBAL m_block = nullptr;
    wchar_t* m_text = nullptr;
};

const wchar_t kEmpty[] = L"";
} // namespace

struct CVexaUtil::CacheEntry {
    CacheEntry(UINT id, const wchar_t* text, size_t length) : id(id), text(text, length) {}
    UINT id;
    LockedGlobalText text;
    CacheEntry* previous = nullptr;
    CacheEntry* next = nullptr;
};

CVexaUtil::CVexaUtil() : m_currentFile(new wchar_t[kNameLength]()), m_currentLanguageName(new wchar_t[kNameLength]()) {}

CVexaUtil::~CVexaUtil()
{
    ReleaseCurrentLanguage();
}

HMODULE CVexaUtil::LoadLanguage(const wchar_t* path)
{
    if (m_module)
        ReleaseCurrentLanguage();
    // A path that does not fit the file name buffer is refused, not cut.
    if (path && *path && wcslen(path) < kNameLength)
        m_module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m_module) {
        ReportError(L"CVexaUtil::LoadLanguage, LoadLibraryEx (#2) returned NULL");
        ReportError(L"(CVexaUtil::LoadLanguage) Can't load required language file.");
        return nullptr;
    }
    wcscpy(m_currentFile.get(), path);
    if (LoadStringW(m_module, 1, m_currentLanguageName.get(), static_cast<int>(kNameLength)) <= 0)
        m_currentLanguageName[0] = L'\0';
    return m_module;
}

const wchar_t* CVexaUtil::GetString(UINT id, const wchar_t* defaultText)
{
    if (!m_module)
        return defaultText;
    for (CacheEntry* entry = m_head; entry; entry = entry->next) {
        if (entry->id == id)
            return entry->text.text();
    }
    std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[kStringLength]());
    if (!text)
        return defaultText;
    ++m_stringReads;
    int length = LoadStringW(m_module, id, text.get(), kStringLength);
    if (length <= 0) {
        ReportError(L"CVexaUtil::GetString, LoadString failed");
        return defaultText;
    }
    auto* entry = new (std::nothrow) CacheEntry(id, text.get(), static_cast<size_t>(length));
    if (!entry)
        return defaultText;
    if (!entry->text.text()) {
        delete entry;
        return defaultText;
    }
    entry->previous = m_tail;
    if (m_tail)
        m_tail->next = entry;
    else
        m_head = entry;
    m_tail = entry;
    return entry->text.text();
}

const wchar_t* CVexaUtil::GetStringOrEmpty(UINT id)
{
    return GetString(id, kEmpty);
}

bool CVexaUtil::ReleaseCurrentLanguage()
{
    if (!m_module)
        return false;
    FreeCache();
    m_currentLanguageName[0] = L'\0';
    m_currentFile[0] = L'\0';
    bool freed = FreeLibrary(m_module) != FALSE;
    if (!freed)
        ReportError(L"CVexaUtil::ReleaseCurrentLanguage, FreeLibrary failed");
    m_module = nullptr;
    return freed;
}

void CVexaUtil::FreeCache()
{
    while (m_head) {
        CacheEntry* next = m_head->next;
        delete m_head;
        m_head = next;
    }
    m_tail = nullptr;
}

void CVexaUtil::ReportError(const wchar_t* text)
{
    // The hook is kept for the texts it names; it writes nothing.
    (void)text;
}
