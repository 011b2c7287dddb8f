// The error box and the question box: their texts and styles, and real boxes
// found and answered from another thread as a user would.
#include "LocalisationFixture.h"
#include "common/Trace.h"
#include "localisation/MessageBoxes.h"
#include "localisation/VexaUtil.h"
#include "Windows.h"

using namespace testing_support;

namespace {

// A language file loaded for a test's boxes; an empty path loads none.
struct LoadedLanguage : CVexaUtil {
    explicit LoadedLanguage(const std::wstring& file) { LoadLanguage(file.c_str()); }
};

class ErrorBox : public LanguageTest
{
protected:
    void SetUp() override
    {
        LanguageTest::SetUp();
        ASSERT_TRUE(localisation::LoadDisplayStrings(EnglishFile().c_str()));
    }
};

TEST_F(ErrorBox, TextComesFromTheStringOfTheErrorCodeOrTheGenericText)
{
    const std::wstring english = EnglishFile(), test = TestFile(), none;
    const std::wstring generic = L"An error occurred while communicating with the phone.";
    const std::optional<std::wstring> off = L"0", on = L"1", absent = std::nullopt;
    struct Case {
        std::optional<std::wstring> trace;
        const std::wstring& file;
        HRESULT hr;
        std::wstring text;
    };
    const Case cases[] = {
        {off, english, S_OK, L""},
        {off, english, static_cast<HRESULT>(0x8004434D), L"The name is too long."},
        {off, english, static_cast<HRESULT>(0x8004600E),
         L"The file could not be converted.\nCheck the file and try again."},
        {off, english, static_cast<HRESULT>(0x80070005), generic},
        {off, english, static_cast<HRESULT>(0x80043205 + 0x1000), generic},
        // The test file lacks 77 and 244; the generic text stays the English one.
        {absent, test, static_cast<HRESULT>(0x80044003), generic},
        {absent, test, static_cast<HRESULT>(0x8004434D), L"Name too long (test)."},
        {absent, test, static_cast<HRESULT>(0x8004600E), L"First line (test).\n"},
        {absent, none, static_cast<HRESULT>(0x8004600E), L"\n"},
        {on, english, E_FAIL, generic + L"\nHRESULT: 0x80004005, Error code: 0x4005"},
        {on, english, E_ABORT, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(HexResult(c.hr) + " " + Narrow(c.file) + " trace " + Narrow(c.trace.value_or(L"absent")));
        RegistryOverride traceSwitch(HKEY_CURRENT_USER, ::trace::kTraceKey, L"Trace", c.trace);
        LoadedLanguage language(c.file);
        EXPECT_EQ(c.text, localisation::ErrorBoxText(c.hr, language));
    }
    localisation::ResetLanguageStateForTesting();
    RegistryOverride traceSwitch(HKEY_CURRENT_USER, ::trace::kTraceKey, L"Trace", std::nullopt);
    LoadedLanguage noFile(none);
    EXPECT_EQ(L"", localisation::ErrorBoxText(static_cast<HRESULT>(0x8004434D), noFile));
}

TEST_F(LanguageTest, QuestionBoxAnswers)
{
    // One loaded file serves every box; its strings are read once.
    LoadedLanguage english(EnglishFile());
    for (const auto& [button, answer] : {std::pair{IDNO, 0}, std::pair{IDYES, 1}}) {
        SCOPED_TRACE(button);
        auto box = AnswerDialog(L"Ostrelle", button);
        EXPECT_EQ(answer, localisation::AskQuestion(nullptr, L"Replace the file?", english));
        EXPECT_EQ(L"Replace the file?", box.get().value_or(L"<no box>"));
    }
    EXPECT_EQ(1u, english.StringReads());
}

TEST_F(ErrorBox, NoBoxForSuccessCancelOrAQuestionWithoutLanguageFile)
{
    auto errorBox = AnswerDialog(L"Ostrelle", IDOK, 65535, 1500);
    auto questionBox = AnswerDialog(L"Zentrel Ostrelle", IDNO, 65535, 1500);
    LoadedLanguage english(EnglishFile());
    LoadedLanguage none(L"");
    EXPECT_EQ(0, localisation::ShowErrorBox(S_OK, nullptr, english));
    EXPECT_EQ(0, localisation::ShowErrorBox(E_ABORT, nullptr, english));
    EXPECT_EQ(1, localisation::AskQuestion(nullptr, L"Replace the file?", none));
    EXPECT_FALSE(errorBox.get());
    EXPECT_FALSE(questionBox.get());
}

TEST_F(LanguageTest, HebrewLanguageFileGivesRightToLeftBoxesInHebrew)
{
    SetExecutablePathForTesting(ProductDir() + L"\\Server.exe");
    SetInstallationValue(L"Current Language", std::wstring(L"heb"));
    std::wstring file = localisation::LocateLanguageFile(kVendor, L"Ostrelle");
    ASSERT_EQ(HebrewFile(), file);
    ASSERT_TRUE(localisation::LoadDisplayStrings(file.c_str()));

    const std::wstring hebrewName = L"\x05D0\x05D5\x05E1\x05D8\x05E8\x05DC";
    // A real box: the product name as its title, the text of the error code.
    auto box = AnswerDialog(hebrewName, IDOK);
    LoadedLanguage hebrew(file);
    EXPECT_EQ(IDOK, localisation::ShowErrorBox(static_cast<HRESULT>(0x80044252), nullptr, hebrew));
    EXPECT_EQ(L"\x05D4\x05E4\x05E2\x05D5\x05DC\x05D4 \x05D1\x05D5\x05D8\x05DC\x05D4.",
              box.get().value_or(L"<no box>").substr(0, 13));

    auto question = AnswerDialog(hebrewName, IDNO);
    EXPECT_EQ(0, localisation::AskQuestion(nullptr, L"?", hebrew));
    EXPECT_TRUE(question.get());
}

} // namespace
