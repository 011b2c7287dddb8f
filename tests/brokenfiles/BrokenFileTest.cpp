// Broken PC-side files: every file the server reads from the PC (shortcut files,
// folder shortcuts, "Folder.xml", "IMEI", language and graphics files) truncated,
// empty, garbage, huge or locked by another process. Each request that reads one
// answers a clear error for its item, or the defined fallback, and the rest is
// still served.
#include "ServerRig.h"
#include "localisation/ResourceFile.h"
#include "localisation/VexaUtil.h"
#include "shortcut/VFSShortcut.h"

#include <gtest/gtest.h>

#include <random>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

namespace {

enum Damage { kIntact, kTruncated, kEmpty, kGarbage, kHuge, kLocked, kDamages };
const char* const kDamageNames[kDamages] = {"intact", "truncated", "empty", "garbage", "huge", "locked"};
constexpr LONGLONG kHugeBytes = 300ll * 1024 * 1024;
constexpr HRESULT kLockedResult = HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
constexpr HRESULT kTooLarge = shortcut::kShortcutTooLarge, kNothing = shortcut::kShortcutNamesNothing;

// Damages a good file in place. A huge file is its content followed by hundreds of
// megabytes of zeros (sparse, made at once); a locked one stays open without
// sharing as long as the returned handle lives.
unique_file Spoil(const std::wstring& path, Damage damage)
{
    Bytes bytes = ReadBytes(path);
    if (damage == kTruncated)
        bytes.resize(bytes.size() / 2 & ~size_t(1));
    if (damage == kEmpty)
        bytes.clear();
    std::mt19937 random(18);
    for (unsigned char& byte : bytes)
        byte = damage == kGarbage ? static_cast<unsigned char>(random()) : byte;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteBytes(path, bytes);
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file);
    LARGE_INTEGER end{};
    end.QuadPart = kHugeBytes;
    if (damage == kHuge) {
        EXPECT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()));
    }
    return damage == kLocked ? std::move(file) : unique_file();
}

void CopyOf(const std::wstring& from, const std::wstring& to)
{
    ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE));
}

// End to end: one phone whose memory holds x.bin, y.bin and Sub\z.bin.
const wchar_t kRoot[] = L"C:\\QuelvarBrokenFileTests";
const std::wstring kPhone = std::wstring(kRoot) + L"\\Brk", kMemory = kPhone + L"\\Phone memory (C)";
const std::wstring kOnPhone = L"ALIAS:Brk\\C:\\";
const Bytes kX(1000, 'x'), kY(1500, 'y'), kZ(700, 'z');

class BrokenFiles : public SharedRig<>
{
protected:
    static void SetUpTestSuite()
    {
        rig_ = std::make_unique<ServerRig>(kRoot, L"Brk", L"350000000000181");
        rig_->phones.MakeFolder(kOnPhone + L"Sub");
        for (auto [name, bytes] : {std::pair{L"x.bin", &kX}, {L"y.bin", &kY}, {L"Sub\\z.bin", &kZ}})
            rig_->phones.PutBytes(kOnPhone + name, *bytes);
    }

    // The memory folder and Sub as a refresh makes them, whatever was there.
    static void Heal()
    {
        for (const std::wstring& folder : {kPhone, kMemory, kMemory + L"\\Sub"})
            EXPECT_EQ(S_OK, q()->RefreshFolder(Bstr(folder).get(), VARIANT_TRUE));
    }
    // One file downloaded as a client does; a file of the memory folder must arrive whole.
    static HRESULT Download(const std::wstring& item, IQuelvar* quelvar = q())
    {
        unique_variant data;
        const HRESULT hr =
            quelvar->DownloadVFSFile(Bstr(kMemory + L"\\" + item + L".vfslnk").get(), 0, 1, 1500, 0, data.put());
        const Bytes expected = item == L"y.bin" ? kY : item == L"x.bin" ? kX : kZ;
        EXPECT_EQ(SUCCEEDED(hr) ? expected : Bytes(), BytesOf(*data.get())) << Narrow(item);
        return hr;
    }
};

TEST_F(BrokenFiles, ADamagedShortcutFailsItsOwnItemOnly)
{
    const HRESULT file[kDamages] = {S_OK, S_OK, kNothing, kNothing, kTooLarge, kLockedResult};
    const HRESULT folder[kDamages] = {S_OK, S_OK, S_OK, S_OK, kTooLarge, kLockedResult};
    const std::wstring shortcutFile = kMemory + L"\\x.bin.vfslnk";
    for (int damage = kIntact; damage < kDamages; ++damage) {
        SCOPED_TRACE(kDamageNames[damage]);
        Heal();
        {
            const unique_file lock = Spoil(shortcutFile, static_cast<Damage>(damage));
            EXPECT_EQ(HexResult(file[damage]), HexResult(Download(L"x.bin")));
            if (FAILED(file[damage])) {
                // Neither the phone's folder nor the mirror item is touched.
                EXPECT_EQ(
                    HexResult(file[damage]),
                    HexResult(SendFileOperation(q(), FO_DELETE, FOF_SILENT | FOF_NOCONFIRMATION, {shortcutFile})));
                EXPECT_TRUE(FileExists(shortcutFile));
                EXPECT_TRUE(rig_->phones.Has(kOnPhone + L"x.bin"));
            }
            EXPECT_EQ(S_OK, Download(L"y.bin"));
            // The refresh rewrites what it can and never shows an item twice.
            q()->RefreshFolder(Bstr(kMemory).get(), VARIANT_TRUE);
            EXPECT_EQ((std::vector<std::wstring>{L"Sub\\", L"folder.vfsfolder", L"x.bin.vfslnk", L"y.bin.vfslnk"}),
                      NamesIn(kMemory));
            EXPECT_EQ(HexResult(damage == kLocked ? kLockedResult : S_OK), HexResult(Download(L"x.bin")));
        }
        {
            const unique_file lock = Spoil(kMemory + L"\\Sub\\folder.vfsfolder", static_cast<Damage>(damage));
            EXPECT_EQ(HexResult(folder[damage]), HexResult(Download(L"Sub\\z.bin")));
            EXPECT_EQ(HexResult(folder[damage]),
                      HexResult(q()->RefreshFolder(Bstr(kMemory + L"\\Sub").get(), VARIANT_TRUE)));
            EXPECT_EQ(S_OK, Download(L"y.bin"));
        }
    }
    Heal();
    EXPECT_EQ(S_OK, Download(L"Sub\\z.bin"));
}

TEST_F(BrokenFiles, ADamagedImeiOrFolderDescriptionStillLetsThePhoneConnect)
{
    const std::wstring imei = kPhone + L"\\IMEI", description = kPhone + L"\\Contacts\\Folder.xml";
    const Bytes imeiBytes = ReadBytes(imei), descriptionBytes = ReadBytes(description);
    ASSERT_FALSE(imeiBytes.empty() || descriptionBytes.empty());
    for (int damage = kIntact; damage < kDamages; ++damage) {
        SCOPED_TRACE(kDamageNames[damage]);
        rig_->phones.Disconnect(L"Brk");
        {
            const unique_file imeiLock = Spoil(imei, static_cast<Damage>(damage));
            const unique_file descriptionLock = Spoil(description, static_cast<Damage>(damage));
            rig_->phones.Connect(L"Brk");
            Heal();
            EXPECT_EQ(S_OK, Download(L"y.bin"));
        }
        WriteBytes(imei, imeiBytes);
        WriteBytes(description, descriptionBytes);
    }
}

TEST_F(BrokenFiles, ADamagedLanguageOrGraphicsFileLeavesTheDefaults)
{
    for (int damage = kIntact; damage < kDamages; ++damage) {
        SCOPED_TRACE(kDamageNames[damage]);
        TempDir dir;
        CopyOf(ProductDir() + L"\\Lang\\Ostrelle_enu.vexa", dir / L"Ostrelle_brk.vexa");
        CopyOf(ProductDir() + L"\\Resource\\Ostrelle_std.mosk", dir / L"Ostrelle_brk.mosk");
        const unique_file languageLock = Spoil(dir / L"Ostrelle_brk.vexa", static_cast<Damage>(damage));
        const unique_file graphicsLock = Spoil(dir / L"Ostrelle_brk.mosk", static_cast<Damage>(damage));
        // The server would serve as well with a damaged file mapped whole: the readers refuse it.
        EXPECT_EQ(damage == kIntact, CVexaUtil().LoadLanguage((dir / L"Ostrelle_brk.vexa").c_str()) != nullptr);
        EXPECT_EQ(damage == kIntact,
                  static_cast<bool>(unique_hmodule(localisation::MapResourceFile(dir / L"Ostrelle_brk.mosk"))));
        const RegistryOverride settings[] = {InstallationSetting(contract::kCurrentLanguageValue, L"brk"),
                                             InstallationSetting(contract::kLanguagePathValue, dir.path()),
                                             InstallationSetting(contract::kCurrentResourceValue, L"brk"),
                                             InstallationSetting(contract::kResourcePathValue, dir.path())};
        // A new main object reads both files; its download shows the progress animation.
        const com_ptr<IQuelvar> quelvar = CreateLocal<IQuelvar>(CLSID_Quelvar, IID_IQuelvar);
        ASSERT_TRUE(quelvar);
        Heal(); // the last object's Terminate emptied the mirror folder
        EXPECT_EQ(S_OK, quelvar->RefreshFolder(Bstr(kMemory).get(), VARIANT_TRUE));
        EXPECT_EQ(S_OK, Download(L"y.bin", quelvar.get()));
        // Without it the object would keep listening, and the server running.
        EXPECT_EQ(S_OK, quelvar->Terminate());
    }
    Heal();
    EXPECT_EQ(S_OK, Download(L"x.bin"));
}

} // namespace
