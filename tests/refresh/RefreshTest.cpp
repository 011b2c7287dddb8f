// The mirror refresh in process, with the listings a scripted phone component
// answers: the tree a refresh leaves, change by change, against trees recorded
// from the refresh that deleted and rewrote every shortcut file; and that what
// did not change is not written again.
#include "mirror/Configuration.h"
#include "mirror/DeviceMapping.h"
#include "mirror/MirrorRefresh.h"
#include "phone/PhoneFileSystem.h"
#include "shortcut/ShortcutFiles.h"

#include "RegistryOverride.h"
#include "ScriptedComponent.h"
#include "TestSupport.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace testing_support;
using Tree = std::vector<std::wstring>;

namespace {

std::wstring Listing(std::initializer_list<std::wstring> entries)
{
    std::wstring xml = L"<?xml version=\"1.0\"?><folder-listing version=\"1.0\">";
    for (const std::wstring& entry : entries)
        xml += entry;
    return xml + L"</folder-listing>";
}

// A phone file; its name is XML text already.
std::wstring File(const std::wstring& name, long size, const wchar_t* modified = L"20260301T101500")
{
    return L"<file name=\"" + name + L"\" size=\"" + std::to_wstring(size) + L"\" modified=\"" + modified +
           L"\" created=\"20260101T090000\" user-perm=\"RWD\" type=\"image/jpeg\"/>";
}

std::wstring Folder(const std::wstring& name)
{
    return L"<folder name=\"" + name + L"\" created=\"20250505T050505\" user-perm=\"RW\"/>";
}

// FNV-1a: a short exact fingerprint of a file's bytes.
unsigned long long Fingerprint(const std::vector<unsigned char>& bytes)
{
    unsigned long long hash = 14695981039346656037ull;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 1099511628211ull;
    return hash;
}

// Every item below folder, sorted: folders as "name\", files as "name ATTRS fingerprint"
// with the read-only, hidden and system bits as R, H and S.
void CollectTree(const std::wstring& folder, const std::wstring& prefix, Tree& tree)
{
    for (const std::wstring& name : NamesIn(folder)) {
        if (name.back() == L'\\') {
            tree.push_back(prefix + name);
            CollectTree(folder + L"\\" + name.substr(0, name.size() - 1), prefix + name, tree);
            continue;
        }
        const std::wstring path = folder + L"\\" + name;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        std::wstring bits;
        bits += attributes & FILE_ATTRIBUTE_READONLY ? L'R' : L'-';
        bits += attributes & FILE_ATTRIBUTE_HIDDEN ? L'H' : L'-';
        bits += attributes & FILE_ATTRIBUTE_SYSTEM ? L'S' : L'-';
        wchar_t fingerprint[20];
        swprintf(fingerprint, 20, L"%016llx", Fingerprint(ReadBytes(path)));
        tree.push_back(prefix + name + L" " + bits + L" " + fingerprint);
    }
}

Tree TreeOf(const std::wstring& folder)
{
    Tree tree;
    CollectTree(folder, L"", tree);
    return tree;
}

// Expected items by their fingerprints: a shortcut file, a folder with its folder
// shortcut; Of sorts the parts as TreeOf lists them.
Tree Lnk(const std::wstring& name, const wchar_t* print)
{
    return {name + L".vfslnk --- " + print};
}
Tree Dir(const std::wstring& name, const wchar_t* print)
{
    return {name + L"\\", name + L"\\folder.vfsfolder -HS " + print};
}
Tree Of(std::initializer_list<Tree> parts)
{
    Tree tree;
    for (const Tree& part : parts)
        tree.insert(tree.end(), part.begin(), part.end());
    std::sort(tree.begin(), tree.end());
    return tree;
}

using Prepare = std::function<void(const std::wstring& folder)>;

struct Step {
    std::wstring listing;
    Tree expected;
    Prepare prepare = nullptr; // changes on the PC before the refresh
    VARIANT_BOOL files = VARIANT_TRUE;
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;
};

// A phone's mirror folder with memory C: below it, refreshed from whatever
// listing the scripted component is given.
class Refresh : public testing::Test
{
protected:
    void SetUp() override
    {
        mirror::ResetConfigurationForTesting();
        mirror::DeviceMapping row;
        ASSERT_EQ(S_OK, mirror::MakeMapping(root_.path().c_str(), L"Phone1", row));
        table_.AppendMapping(row);
        LayFolders();
    }
    void TearDown() override { mirror::ResetConfigurationForTesting(); }

    // The phone's top folder with its IMEI file and memory C: in "Mem", nothing else.
    void LayFolders()
    {
        RemoveFolderTree(phone1_);
        MakeFolders(phone1_, {L"", L"\\Mem"});
        WriteText(phone1_ + L"\\IMEI", "350000000000001");
        phone::VFSItem memory{};
        phone::CopyField(memory.phoneName, L"C:");
        ASSERT_EQ(S_OK, shortcut::CreateFolderShortcut(memory_, memory));
    }

    HRESULT RefreshWith(const std::wstring& folder, const std::wstring& listing, VARIANT_BOOL files = VARIANT_TRUE)
    {
        component_->listing = listing;
        phone::PhoneFileSystem phoneFs(component_.get(), nullptr);
        return mirror::RefreshFolder(phoneFs, table_, folder.c_str(), files, nullptr);
    }

    TempDir root_;
    RegistryOverride rootValue_ = MirrorRootSetting(root_.path());
    mirror::DeviceMappingTable table_;
    const std::wstring phone1_ = root_ / L"Phone1";
    const std::wstring memory_ = phone1_ + L"\\Mem";
    com_ptr<ScriptedComponent> component_ = ScriptedComponent::Create();
};

// Files a.jpg, b.txt and folder Album, as most cases start.
const std::wstring kStart = Listing({File(L"a.jpg", 1000), File(L"b.txt", 5), Folder(L"Album")});
} // namespace

TEST_F(Refresh, LeavesTheTreeARewriteOfEveryShortcutFileGives)
{
    const Tree top = {L"folder.vfsfolder -HS 18308d2319697f51"}, album = Dir(L"Album", L"ba7e7e62483ee0e3"),
               a = Lnk(L"a.jpg", L"b5d94f8c5800acbc"), b = Lnk(L"b.txt", L"9686cef2ff3fe246");
    const Tree started = Of({top, album, a, b});                                                   // what kStart gives
    const auto X = [](const std::wstring& path) { return Tree{path + L" --- af63f54c86021707"}; }; // holds "x"
    const Prepare readOnlyAndShown = [](const std::wstring& folder) {
        SetFileAttributesW((folder + L"\\a.jpg.vfslnk").c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW((folder + L"\\b.txt.vfslnk").c_str(), FILE_ATTRIBUTE_HIDDEN);
        SetFileAttributesW((folder + L"\\Album\\folder.vfsfolder").c_str(), FILE_ATTRIBUTE_NORMAL);
    };
    const Prepare staleReadOnly = [](const std::wstring& folder) {
        WriteText(folder + L"\\b.txt.vfslnk", "stale");
        SetFileAttributesW((folder + L"\\b.txt.vfslnk").c_str(), FILE_ATTRIBUTE_READONLY);
    };
    const Prepare strayFiles = [](const std::wstring& folder) {
        for (const wchar_t* name : {L"\\notes.doc", L"\\A.TXT.VFSLNK", L"\\old.jpg.vfslnk", L"\\stray.vfslnk.bak"})
            WriteText(folder + name, "x");
    };
    const Prepare lostFolders = [](const std::wstring& folder) {
        MakeFolders(folder, {L"\\ALBUM", L"\\Gone", L"\\Gone\\Deeper", L"\\Old", L"\\Old\\Contacts", L"\\Kept"});
        for (const wchar_t* name : {L"\\Gone\\folder.vfsfolder", L"\\Gone\\Deeper\\b.jpg.vfslnk", L"\\Kept\\mine.doc",
                                    L"\\Old\\Contacts\\Folder.xml"})
            WriteText(folder + name, "x");
    };
    const Tree kept =
        Of({{L"Kept\\", L"Old\\", L"Old\\Contacts\\"}, X(L"Kept\\mine.doc"), X(L"Old\\Contacts\\Folder.xml")});
    const std::wstring later = Listing({File(L"a.jpg", 1001), Folder(L"Album2")});
    const Tree laterWithoutFiles = Of({top, Dir(L"Album2", L"35cc856e5704b579"), a, b});
    const std::vector<Scenario> scenarios = {
        {"added and removed",
         {{kStart, started},
          {Listing({File(L"a.jpg", 1000), File(L"b.txt", 5), File(L"c.mp3", 9), Folder(L"Album"), Folder(L"Zoo")}),
           Of({started, Dir(L"Zoo", L"a5a8472bb6699a36"), Lnk(L"c.mp3", L"11017ad9f4b084fd")})},
          {Listing({File(L"a.jpg", 1000)}), Of({a, top})}}},
        // One change after another: each step changes each item in one way only.
        {"re-dated, letter case changed, resized",
         {{kStart, started},
          {Listing({File(L"a.jpg", 1000, L"20260301T101501"), File(L"b.txt", 5), Folder(L"Album")}),
           Of({top, album, b, Lnk(L"a.jpg", L"18e303ef79d628b5")})},
          {Listing({File(L"a.jpg", 1000), File(L"B.txt", 5), Folder(L"ALBUM")}),
           Of({top, a, Dir(L"Album", L"ccec07b2f94230e3"), Lnk(L"B.txt", L"a8ab079fb23ead26")})},
          {Listing({File(L"a.jpg", 1001), File(L"b.txt", 5), Folder(L"Album")}),
           Of({top, album, b, Lnk(L"a.jpg", L"2f8d3a9498a670bd")})}}},
        {"colliding names",
         {{Listing(
               {File(L"x?y.txt", 1), File(L"x*y.txt", 2), File(L"X|Y.TXT", 3), File(L"Readme", 4), File(L"README", 5)}),
           Of({top, Lnk(L"README(2)", L"da732b715845b8c8"), Lnk(L"Readme", L"a897d96e0bc0bbe9"),
               Lnk(L"X_Y(3).TXT", L"fbb0fcd91100865f"), Lnk(L"x_y(2).txt", L"fd4a0bc6e90e1eb8"),
               Lnk(L"x_y.txt", L"e2eb201ceb0783c6")})},
          {Listing({File(L"x*y.txt", 2), File(L"X|Y.TXT", 3), File(L"README", 5)}),
           Of({top, Lnk(L"README", L"da732b715845b8c8"), Lnk(L"X_Y(2).TXT", L"fbb0fcd91100865f"),
               Lnk(L"x_y.txt", L"fd4a0bc6e90e1eb8")})}}},
        {"folder became a file and back, file became a folder",
         {{kStart, started},
          {Listing({File(L"a.jpg", 1000), File(L"b.txt", 5), File(L"Album", 3)}),
           Of({top, a, b, Lnk(L"Album", L"76d77544765ee06b")})},
          {Listing({File(L"a.jpg", 1000), Folder(L"b.txt"), Folder(L"Album")}),
           Of({top, album, a, Dir(L"b.txt", L"00d514fe126383c0")})}}},
        {"hidden, read-only and stale",
         {{kStart, started}, {kStart, started, readOnlyAndShown}, {kStart, started, staleReadOnly}}},
        {"other files",
         {{Listing({File(L"a.txt", 1), File(L"old.jpg", 2)}),
           Of({top, X(L"A.TXT.VFSLNK"), X(L"notes.doc"), Lnk(L"a(2).txt", L"59782497ac52e6d1"),
               Lnk(L"old.jpg", L"a0d16b07190f6b51")}),
           strayFiles}}},
        {"folders the phone lost",
         {{Listing({Folder(L"Album"), Folder(L"Old")}),
           Of({top, kept, Dir(L"ALBUM", L"ba7e7e62483ee0e3"), {L"Old\\folder.vfsfolder -HS 2e22307d6007930b"}}),
           lostFolders},
          {Listing({File(L"a.jpg", 1000)}), Of({top, kept, a})}}},
        // Only VARIANT_TRUE asks for the files.
        {"without files",
         {{kStart, started},
          {later, laterWithoutFiles, nullptr, VARIANT_FALSE},
          {later, laterWithoutFiles, nullptr, VARIANT_BOOL(1)}}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        LayFolders();
        for (size_t i = 0; i < scenario.steps.size(); ++i) {
            const Step& step = scenario.steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1));
            if (step.prepare)
                step.prepare(memory_);
            ASSERT_EQ(S_OK, RefreshWith(memory_, step.listing, step.files));
            EXPECT_EQ(step.expected, TreeOf(memory_));
        }
    }
}

TEST_F(Refresh, WritesOnlyTheShortcutsWhoseBytesChanged)
{
    const std::wstring before = Listing({File(L"a.jpg", 1000), File(L"b.txt", 5), File(L"c.mp3", 7), Folder(L"Album")});
    const std::wstring after = Listing({File(L"a.jpg", 1000), File(L"b.txt", 6), File(L"c.mp3", 7), Folder(L"Album")});
    const std::vector<std::wstring> shortcuts = {L"a.jpg.vfslnk", L"b.txt.vfslnk", L"c.mp3.vfslnk",
                                                 L"Album\\folder.vfsfolder"};
    ASSERT_EQ(S_OK, RefreshWith(memory_, before));
    const DATE old = 36892.5; // 2001-01-01 12:00
    for (const std::wstring& name : shortcuts)
        ASSERT_TRUE(SetLastWriteDate(memory_ + L"\\" + name, old)) << Narrow(name);

    ASSERT_EQ(S_OK, RefreshWith(memory_, before));
    for (const std::wstring& name : shortcuts)
        EXPECT_EQ(old, LastWriteDate(memory_ + L"\\" + name)) << Narrow(name);

    ASSERT_EQ(S_OK, RefreshWith(memory_, after));
    for (const std::wstring& name : shortcuts)
        EXPECT_EQ(name != L"b.txt.vfslnk", LastWriteDate(memory_ + L"\\" + name) == old) << Narrow(name);
    EXPECT_EQ(6, shortcut::GetShortcutDetails(memory_ + L"\\b.txt.vfslnk").size);
}
