#include "MessageBoxes.h"

#include "LanguageResources.h"
#include "VexaUtil.h"
#include "common/Trace.h"

#include <cwchar>

namespace localisation {
namespace {

struct CodeRange {
    WORD first;
    WORD last;
    UINT stringId;
};

// Error codes (low word of the HRESULT) with a text of their own.
const CodeRange kErrorStrings[] = {
    {0x4003, 0x4003, 77},  {0x4202, 0x4202, 77},   {0x4353, 0x4353, 77},  {0x4601, 0x4601, 77},  {0x3208, 0x3208, 78},
    {0x4204, 0x4204, 78},  {0x4250, 0x4250, 78},   {0x434A, 0x434A, 78},  {0x6001, 0x6001, 78},  {0x6010, 0x6010, 78},
    {0x4203, 0x4203, 79},  {0x4253, 0x4253, 80},   {0x4354, 0x4354, 80},  {0x600B, 0x600B, 80},  {0x4341, 0x4343, 83},
    {0x4346, 0x4346, 83},  {0x600C, 0x600C, 83},   {0x6013, 0x6013, 83},  {0x6012, 0x6012, 156}, {0x3201, 0x3204, 157},
    {0x3207, 0x3207, 157}, {0x3209, 0x3209, 157},  {0x320C, 0x3211, 157}, {0x4000, 0x4002, 157}, {0x4200, 0x4201, 157},
    {0x4251, 0x4251, 157}, {0x4600, 0x4600, 157},  {0x4602, 0x4602, 157}, {0x6011, 0x6011, 157}, {0x434D, 0x434D, 185},
    {0x600F, 0x600F, 197}, {0x4361, 0x4361, 229},  {0x4360, 0x4360, 231}, {0x6017, 0x6017, 231}, {0x434E, 0x434E, 232},
    {0x434C, 0x434C, 234}, {0x4252, 0x4252, 235},  {0x6007, 0x6008, 244}, {0x600D, 0x600D, 244}, {0x6014, 0x6014, 244},
    {0x4344, 0x4344, 246}, {0x4334, 0x4334, 247},  {0x434F, 0x434F, 248}, {0x4345, 0x4345, 249}, {0x4348, 0x4349, 249},
    {0x00FB, 0x00FB, 255}, {0x6005, 0x6005, 5037},
};

constexpr WORD kConversionErrorCode = 0x600E;
constexpr UINT kConversionErrorFirstId = 243;
constexpr UINT kConversionErrorSecondId = 244;

} // namespace

UINT MessageBoxStyle(UINT style)
{
    return IsRightToLeftLanguage() ? style | kRightToLeftBoxStyle : style;
}

int ShowMessageBox(HWND owner, const wchar_t* text, UINT style)
{
    return MessageBoxW(owner, text ? text : L"", ProductDisplayName().c_str(), MessageBoxStyle(style));
}

UINT ErrorStringId(WORD code)
{
    for (const CodeRange& range : kErrorStrings) {
        if (code >= range.first && code <= range.last)
            return range.stringId;
    }
    return 0;
}

std::wstring ErrorBoxText(HRESULT hr, CVexaUtil& language)
{
    if (hr == S_OK || hr == E_ABORT)
        return {};
    const WORD code = LOWORD(hr);
    std::wstring text;
    if (code == kConversionErrorCode) {
        text = std::wstring(language.GetStringOrEmpty(kConversionErrorFirstId)) + L"\n" +
               language.GetStringOrEmpty(kConversionErrorSecondId);
    } else if (UINT id = ErrorStringId(code)) {
        const wchar_t* found = language.GetString(id, nullptr);
        text = found ? found : GenericErrorText();
    } else {
        text = GenericErrorText();
    }
    if (trace::IsTraceOn()) {
        wchar_t line[64];
        _snwprintf(line, 64, L"\nHRESULT: 0x%X, Error code: 0x%X", static_cast<unsigned>(hr),
                   static_cast<unsigned>(code));
        line[63] = L'\0';
        text += line;
    }
    if (text.size() > kErrorTextLength - 1)
        text.resize(kErrorTextLength - 1);
    return text;
}

int ShowErrorBox(HRESULT hr, HWND owner, CVexaUtil& language)
{
    if (hr == S_OK || hr == E_ABORT)
        return 0;
    return ShowMessageBox(owner, ErrorBoxText(hr, language).c_str(), kErrorBoxStyle);
}

int AskQuestion(HWND owner, const wchar_t* text, CVexaUtil& language)
{
    if (!language.IsLoaded())
        return 1;
    const int answer =
        MessageBoxW(owner, text ? text : L"", language.GetString(kProductNameId, kQuestionBoxDefaultTitle),
                    MessageBoxStyle(kQuestionBoxStyle));
    return answer == IDNO ? 0 : 1;
}

} // namespace localisation
