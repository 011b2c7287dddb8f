// Locating the language and graphics files, the loader, the display strings
// and the right-to-left handling.
#include "LocalisationFixture.h"
#include "localisation/MessageBoxes.h"
#include "localisation/VexaUtil.h"

using namespace testing_support;

namespace {

constexpr DWORD kRtl = 0x400000;

TEST_F(LanguageTest, LanguageFileIsLookedUpInOrder)
{
    TempDir dir;
    // <dir>\Install\Bin\Server.exe: candidate 1 is Bin\Lang, candidate 2 <dir>\Lang.
    const std::wstring bin = dir / L"Install\\Bin";
    MakeFolders(dir.path(), {L"\\Install", L"\\Install\\Bin", L"\\Install\\Bin\\Lang", L"\\Lang", L"\\Elsewhere"});
    SetExecutablePathForTesting(bin + L"\\Server.exe");
    const std::wstring first = bin + L"\\Lang\\Ostrelle_tst.vexa";
    const std::wstring second = dir / L"Lang\\Ostrelle_tst.vexa";
    const std::wstring configured = dir / L"Elsewhere\\Ostrelle_tst.vexa";

    struct Case {
        const char* name;
        bool inFirst;
        bool inSecond;
        std::optional<std::wstring> languagePath;
        std::wstring result;
    };
    const Case cases[] = {
        {"executable folder first", true, true, dir / L"Elsewhere", first},
        {"then two levels up", false, true, dir / L"Elsewhere", second},
        {"then the configured folder, existing or not", false, false, dir / L"Elsewhere", configured},
        {"configured folder with a backslash", false, false, dir / L"Elsewhere\\", configured},
        {"no configured folder leaves candidate 2", false, false, std::wstring(), second},
    };
    SetInstallationValue(L"Current Language", std::wstring(L"tst"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(first.c_str());
        DeleteFileW(second.c_str());
        if (c.inFirst)
            WriteText(first, "x");
        if (c.inSecond)
            WriteText(second, "x");
        RegistryOverride path(HKEY_LOCAL_MACHINE, kInstallationKey, L"Language Path", c.languagePath);
        EXPECT_EQ(c.result, localisation::LocateLanguageFile(kVendor, L"Ostrelle"));
        EXPECT_EQ(L"tst", localisation::CurrentLanguage());
    }
    // Nothing without a language code or without the installation key.
    SetInstallationValue(L"Current Language", std::wstring());
    EXPECT_EQ(L"", localisation::LocateLanguageFile(kVendor, L"Ostrelle"));
    EXPECT_EQ(L"", localisation::LocateLanguageFile(L"NoSuchVendor", L"Ostrelle"));
}

// The lookup order is the language file's; the graphics file has its own settings.
TEST_F(LanguageTest, GraphicsFileIsLookedUpWithItsOwnSettings)
{
    TempDir dir;
    SetExecutablePathForTesting(dir / L"Server.exe");
    SetInstallationValue(L"Current Language", std::wstring(L"enu"));
    SetInstallationValue(L"Current Resource", std::wstring(L"std"));
    SetInstallationValue(L"Resource Path", dir / L"Configured");
    EXPECT_EQ(dir / L"Configured\\Ostrelle_std.mosk", localisation::LocateGraphicsFile(kVendor, L"Ostrelle"));
    // The graphics code does not become the current language.
    EXPECT_EQ(L"", localisation::CurrentLanguage());
    EXPECT_EQ(L"", localisation::LocateGraphicsFile(L"NoSuchVendor", L"Ostrelle"));
    EXPECT_EQ(nullptr, localisation::LoadGraphicsLibrary(L"NoSuchVendor"));
}

// Damaged language files: see the broken-file tests.
TEST_F(LanguageTest, LoaderRefusesFilesItCannotMapAndDropsTheFileItHad)
{
    CVexaUtil language;
    const std::wstring tooLong = L"C:\\" + std::wstring(260, L'x') + L".vexa";
    for (const std::wstring& path : {std::wstring(), TestProgramDir() + L"\\missing.vexa", tooLong}) {
        SCOPED_TRACE(Narrow(path));
        ASSERT_NE(nullptr, language.LoadLanguage(EnglishFile().c_str()));
        EXPECT_STREQ(L"Gallery", language.GetString(128, L"fallback"));
        EXPECT_EQ(nullptr, language.LoadLanguage(path.c_str())); // the English file is gone too
        EXPECT_STREQ(L"fallback", language.GetString(128, L"fallback"));
    }
}

TEST_F(LanguageTest, EveryObjectLoadsTheStringsAgainAndKeepsWhatTheFileLacks)
{
    // The folder names in the order of kPredefinedFolders.
    const std::wstring tokens = L"predefgallery|predefphotos|predefgraphics|predeftones|predefvideos|"
                                L"predefalert_tones|predefrecordings|predefmusic|";
    const std::wstring test = L"Pictures|Snapshots|Drawings|Ringers|predefvideos|Alarms|Voice notes|Songs|";
    const std::wstring english = L"Gallery|Photos|Graphics|Tones|Videos|Alert tones|Recordings|Music|";
    const std::wstring wrapped = L"\x202DOstrelle\x202C", testError = L"Generic failure (test).";
    const std::wstring englishError = L"An error occurred while communicating with the phone.";
    struct Step {
        std::wstring file;
        DWORD rightToLeft;
        bool loaded;
        std::wstring folders, product, generic;
    };
    // One load per main object, in this order: a value the file lacks (the test
    // file has no 214 and no 17340) stays as the object before left it.
    const Step steps[] = {
        {L"", 0, false, tokens, L"Ostrelle", L""},
        {TestFile(), 0, true, test, L"Ostrelle", testError},
        {TestFile(), kRtl, true, test, wrapped, testError},
        {EnglishFile(), kRtl, true, english, wrapped, englishError},
        {TestFile(), kRtl, true, L"Pictures|Snapshots|Drawings|Ringers|Videos|Alarms|Voice notes|Songs|", wrapped,
         testError},
    };
    int number = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(++number);
        localisation::SetRightToLeftFlag(step.rightToLeft);
        EXPECT_EQ(step.loaded, localisation::LoadDisplayStrings(step.file.c_str()));
        std::wstring folders;
        for (const std::wstring& name : localisation::PredefinedFolderDisplayNames())
            folders += name + L"|";
        EXPECT_EQ(step.folders, folders);
        EXPECT_EQ(step.product, localisation::ProductDisplayName());
        EXPECT_EQ(step.generic, localisation::GenericErrorText());
    }
}

TEST_F(LanguageTest, HebrewAndArabicAreRightToLeftAndTheirBoxesAlignRight)
{
    TempDir dir;
    SetExecutablePathForTesting(dir / L"Server.exe");
    const std::pair<std::wstring, UINT> cases[] = {
        {L"heb", 0x191030}, {L"ARA", 0x191030}, {L"enu", 0x11030}, {L"hebr", 0x11030}};
    for (const auto& [code, style] : cases) {
        SCOPED_TRACE(Narrow(code));
        RegistryOverride language(HKEY_LOCAL_MACHINE, kInstallationKey, L"Current Language", code);
        RegistryOverride path(HKEY_LOCAL_MACHINE, kInstallationKey, L"Language Path", dir.path());
        EXPECT_EQ(dir / (L"Ostrelle_" + code + L".vexa"), localisation::LocateLanguageFile(kVendor, L"Ostrelle"));
        EXPECT_EQ(style, localisation::MessageBoxStyle(localisation::kErrorBoxStyle));
    }
}

} // namespace
