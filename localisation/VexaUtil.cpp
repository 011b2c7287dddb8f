#include "VexaUtil.h"

#include "LanguageResources.h"
#include "ResourceFile.h"

#include <cwchar>
#include <new>

CVexaUtil::CVexaUtil() = default;

CVexaUtil::~CVexaUtil()
{
    ReleaseCurrentLanguage();
}

HMODULE CVexaUtil::LoadLanguage(const wchar_t* path)
{
    ReleaseCurrentLanguage();
    critical_section_lock hold(m_lock);
    // A path that does not fit the file name buffer is refused, not cut.
    if (!path || !*path || wcslen(path) >= kNameLength)
        return nullptr;
    m_module.reset(localisation::MapResourceFile(path));
    if (!m_module)
        return nullptr;
    m_currentFile = path;
    wchar_t name[kNameLength] = {};
    if (LoadStringW(m_module.get(), localisation::kLanguageNameId, name, static_cast<int>(kNameLength)) > 0)
        m_currentLanguageName = name;
    return m_module.get();
}

const wchar_t* CVexaUtil::GetString(UINT id, const wchar_t* defaultText)
{
    critical_section_lock hold(m_lock);
    if (!m_module)
        return defaultText;
    auto cached = m_strings.find(id);
    if (cached != m_strings.end())
        return cached->second.c_str();
    try {
        std::wstring text(kStringLength, L'\0');
        ++m_stringReads;
        int length = LoadStringW(m_module.get(), id, &text[0], kStringLength);
        if (length <= 0)
            return defaultText;
        text.resize(static_cast<size_t>(length));
        return m_strings.emplace(id, std::move(text)).first->second.c_str();
    } catch (const std::bad_alloc&) {
        return defaultText;
    }
}

const wchar_t* CVexaUtil::GetStringOrEmpty(UINT id)
{
    return GetString(id, L"");
}

bool CVexaUtil::ReleaseCurrentLanguage()
{
    critical_section_lock hold(m_lock);
    if (!m_module)
        return false;
    m_strings.clear();
    m_currentLanguageName.clear();
    m_currentFile.clear();
    m_module.reset();
    return true;
}
