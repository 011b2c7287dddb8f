// Locating the language and graphics files, the string cache, the display
// strings and the right-to-left handling.
#include "LocalisationFixture.h"
#include "localisation/MessageBoxes.h"
#include "localisation/VexaUtil.h"
#include "common/Resource.h"

#include <commctrl.h>

#include <memory>

using namespace testing_support;

namespace {

TEST_F(LanguageTest, LanguageFileIsLookedUpInOrder)
{
    TempDir dir;
    // <dir>\Install\Bin\Server.exe: candidate 1 is Bin\Lang, candidate 2 <dir>\Lang.
    const std::wstring bin = dir / L"Install\\Bin";
    for (const wchar_t* folder : {L"Install", L"Install\\Bin", L"Install\\Bin\\Lang", L"Lang", L"Elsewhere"})
        CreateDirectoryW((dir / folder).c_str(), nullptr);
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
        {"no value leaves candidate 2", false, false, std::nullopt, second},
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
        EXPECT_STREQ(L"tst", localisation::CurrentLanguage());
    }
    // A file in the configured folder is read from there.
    ASSERT_TRUE(CopyFileW(TestFile().c_str(), configured.c_str(), FALSE));
    RegistryOverride path(HKEY_LOCAL_MACHINE, kInstallationKey, L"Language Path", dir / L"Elsewhere");
    EXPECT_TRUE(localisation::LoadDisplayStrings(localisation::LocateLanguageFile(kVendor, L"Ostrelle").c_str()));
    EXPECT_STREQ(L"Pictures", localisation::DisplayNameForToken(L"predefgallery"));
}

TEST_F(LanguageTest, GraphicsFileIsLookedUpInTheResourceFolders)
{
    TempDir dir;
    const std::wstring bin = dir / L"Install\\Bin";
    for (const wchar_t* folder : {L"Install", L"Install\\Bin", L"Install\\Bin\\Resource", L"Resource"})
        CreateDirectoryW((dir / folder).c_str(), nullptr);
    SetExecutablePathForTesting(bin + L"\\Server.exe");
    SetInstallationValue(L"Current Language", std::wstring(L"enu"));
    SetInstallationValue(L"Current Resource", std::wstring(L"std"));
    SetInstallationValue(L"Resource Path", dir / L"Configured");

    EXPECT_EQ(dir / L"Configured\\Ostrelle_std.mosk", localisation::LocateGraphicsFile(kVendor, L"Ostrelle"));
    WriteText(dir / L"Resource\\Ostrelle_std.mosk", "x");
    EXPECT_EQ(dir / L"Resource\\Ostrelle_std.mosk", localisation::LocateGraphicsFile(kVendor, L"Ostrelle"));
    WriteText(bin + L"\\Resource\\Ostrelle_std.mosk", "x");
    EXPECT_EQ(bin + L"\\Resource\\Ostrelle_std.mosk", localisation::LocateGraphicsFile(kVendor, L"Ostrelle"));
    // The graphics code does not become the current language.
    EXPECT_STREQ(L"", localisation::CurrentLanguage());
}

TEST_F(LanguageTest, NothingIsLocatedWithoutCurrentLanguageOrKey)
{
    TempDir dir;
    SetExecutablePathForTesting(dir / L"Server.exe");
    {
        SetInstallationValue(L"Current Language", std::wstring());
        SetInstallationValue(L"Language Path", dir.path());
        EXPECT_EQ(L"", localisation::LocateLanguageFile(kVendor, L"Ostrelle"));
        TearDownOverrides();
    }
    EXPECT_EQ(L"", localisation::LocateLanguageFile(L"NoSuchVendor", L"Ostrelle"));
    EXPECT_EQ(L"", localisation::LocateGraphicsFile(L"NoSuchVendor", L"Ostrelle"));
    EXPECT_EQ(nullptr, localisation::LoadGraphicsLibrary(L"NoSuchVendor"));
}

TEST_F(LanguageTest, GraphicsLibraryHoldsBothAnimations)
{
    if (!FileExists(ProductDir() + L"\\Resource\\Ostrelle_std.mosk"))
        GTEST_SKIP() << "graphics file not built";
    SetExecutablePathForTesting(ProductDir() + L"\\Server.exe");
    SetInstallationValue(L"Current Resource", std::wstring(L"std"));
    unique_hmodule graphics(localisation::LoadGraphicsLibrary(kVendor));
    ASSERT_TRUE(graphics);
    // The shell's animation control finds and plays both clips, and no third.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_ANIMATE_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    HWND animation = CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_POPUP, 0, 0, 64, 16, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, animation);
    for (int id : {6106, 6107}) {
        EXPECT_TRUE(SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(graphics.get()),
                                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(id))))
            << id;
        EXPECT_TRUE(SendMessageW(animation, ACM_PLAY, 1, MAKELONG(0, -1))) << id;
    }
    EXPECT_FALSE(SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(graphics.get()),
                              reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(6108))));
    DestroyWindow(animation);
}

TEST_F(LanguageTest, StringIsReadFromTheFileOnce)
{
    CVexaUtil language;
    ASSERT_NE(nullptr, language.LoadLanguage(EnglishFile().c_str()));
    EXPECT_EQ(EnglishFile(), language.CurrentFile());
    EXPECT_STREQ(L"English", language.CurrentLanguageName());
    EXPECT_STREQ(L"Gallery", language.GetString(128, L"default"));
    EXPECT_STREQ(L"Gallery", language.GetString(128, L"default"));
    EXPECT_STREQ(L"Photos", language.GetStringOrEmpty(213));
    EXPECT_EQ(2u, language.StringReads());
    EXPECT_STREQ(L"default", language.GetString(4242, L"default"));
    EXPECT_STREQ(L"", language.GetStringOrEmpty(4242));
    EXPECT_EQ(4u, language.StringReads()); // missing strings are not cached

    EXPECT_TRUE(language.ReleaseCurrentLanguage());
    EXPECT_FALSE(language.ReleaseCurrentLanguage());
    EXPECT_STREQ(L"", language.CurrentFile());
    EXPECT_STREQ(L"default", language.GetString(128, L"default"));
}

TEST_F(LanguageTest, FilesThatCannotBeMappedAreRefused)
{
    TempDir dir;
    WriteText(dir / L"text.vexa", "not a library");
    const std::wstring tooLong = L"C:\\" + std::wstring(260, L'x') + L".vexa";
    for (const std::wstring& path : {std::wstring(), dir / L"missing.vexa", dir / L"text.vexa", tooLong}) {
        SCOPED_TRACE(Narrow(path));
        CVexaUtil language;
        EXPECT_EQ(nullptr, language.LoadLanguage(path.c_str()));
        EXPECT_STREQ(L"fallback", language.GetString(128, L"fallback"));
    }
}

TEST_F(LanguageTest, DisplayStringsFallBackPerString)
{
    ASSERT_TRUE(localisation::LoadDisplayStrings(TestFile().c_str()));
    struct Case {
        const wchar_t* token;
        const wchar_t* name;
    };
    const Case cases[] = {
        {L"predefgallery", L"Pictures"},   {L"predeftones", L"Ringers"},          {L"predefmusic", L"Songs"},
        {L"predefgraphics", L"Drawings"},  {L"predefphotos", L"Snapshots"},       {L"predefvideos", L"predefvideos"},
        {L"predefalert_tones", L"Alarms"}, {L"predefrecordings", L"Voice notes"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(c.name, localisation::DisplayNameForToken(c.token)) << Narrow(c.token);
    EXPECT_STREQ(L"Ostrelle", localisation::ProductDisplayName());
    EXPECT_STREQ(L"Generic failure (test).", localisation::GenericErrorText());
}

TEST_F(LanguageTest, DefaultsStayWithoutALanguageFile)
{
    TempDir dir;
    for (const std::wstring& file : {std::wstring(), dir / L"Ostrelle_enu.vexa"}) {
        SCOPED_TRACE(Narrow(file));
        EXPECT_FALSE(localisation::LoadDisplayStrings(file.c_str()));
        for (const localisation::PredefinedFolder& folder : localisation::kPredefinedFolders)
            EXPECT_STREQ(folder.token, localisation::DisplayNameForToken(folder.token));
        EXPECT_STREQ(L"Ostrelle", localisation::ProductDisplayName());
        EXPECT_STREQ(L"", localisation::GenericErrorText());
    }
}

TEST_F(LanguageTest, HebrewAndArabicAreRightToLeftAndTheirBoxesAlignRight)
{
    TempDir dir;
    SetExecutablePathForTesting(dir / L"Server.exe");
    struct Case {
        const wchar_t* code;
        bool rightToLeft;
        UINT errorStyle;
        UINT questionStyle;
    };
    const Case cases[] = {{L"heb", true, 0x191030, 0x191034},
                          {L"ara", true, 0x191030, 0x191034},
                          {L"ARA", true, 0x191030, 0x191034},
                          {L"enu", false, 0x11030, 0x11034},
                          {L"hebr", false, 0x11030, 0x11034}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.code));
        RegistryOverride code(HKEY_LOCAL_MACHINE, kInstallationKey, L"Current Language", std::wstring(c.code));
        RegistryOverride path(HKEY_LOCAL_MACHINE, kInstallationKey, L"Language Path", dir.path());
        EXPECT_EQ(dir / (L"Ostrelle_" + std::wstring(c.code) + L".vexa"),
                  localisation::LocateLanguageFile(kVendor, L"Ostrelle"));
        EXPECT_EQ(c.rightToLeft, localisation::IsRightToLeftLanguage());
        EXPECT_EQ(c.errorStyle, localisation::MessageBoxStyle(localisation::kErrorBoxStyle));
        EXPECT_EQ(c.questionStyle, localisation::MessageBoxStyle(localisation::kQuestionBoxStyle));
    }
}

TEST_F(LanguageTest, LeftToRightMarksWrapOnlyLatinTextOnARightToLeftDesktop)
{
    struct Case {
        const char* name;
        DWORD flag;
        std::wstring text;
        size_t size;
        bool wrapped;
        std::wstring result;
    };
    const std::wstring hebrew = L"\x05D0\x05D5\x05E1\x05D8\x05E8\x05DC";
    const Case cases[] = {
        {"latin on rtl desktop", 0x400000, L"Ostrelle", 260, true, L"\x202DOstrelle\x202C"},
        {"latin on ltr desktop", 0, L"Ostrelle", 260, false, L"Ostrelle"},
        {"hebrew stays", 0x400000, hebrew, 260, false, hebrew},
        {"arabic presentation form stays", 0x400000, L"A\xFE8D", 260, false, L"A\xFE8D"},
        {"no room", 0x400000, L"Ostrelle", 10, false, L"Ostrelle"},
        {"just room", 0x400000, L"Ostrelle", 11, true, L"\x202DOstrelle\x202C"},
        {"wrapped once only", 0x400000, L"\x202DOstrelle\x202C", 260, false, L"\x202DOstrelle\x202C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        localisation::SetRightToLeftFlag(c.flag);
        std::vector<wchar_t> buffer(c.size, L'\0');
        std::copy(c.text.begin(), c.text.end(), buffer.begin());
        EXPECT_EQ(c.wrapped, localisation::AddLeftToRightMarks(buffer.data(), c.size));
        EXPECT_EQ(c.result, std::wstring(buffer.data()));
    }
}

TEST_F(LanguageTest, ProductNameIsWrappedWhenTheDesktopIsRightToLeft)
{
    localisation::SetRightToLeftFlag(0x400000);
    ASSERT_TRUE(localisation::LoadDisplayStrings(EnglishFile().c_str()));
    EXPECT_EQ(std::wstring(L"\x202DOstrelle\x202C"), localisation::ProductDisplayName());
    ASSERT_TRUE(localisation::LoadDisplayStrings(HebrewFile().c_str()));
    EXPECT_EQ(std::wstring(L"\x05D0\x05D5\x05E1\x05D8\x05E8\x05DC"), localisation::ProductDisplayName());
    EXPECT_STREQ(L"\x05D2\x05DC\x05E8\x05D9\x05D4", localisation::DisplayNameForToken(L"predefgallery"));
}

} // namespace
