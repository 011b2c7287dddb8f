// The server drives ObexPhones.exe against an OBEX FTP server nobody on this team
// wrote (obexftpd, see ObexRig.h): what the mirror shows and what the transfers
// move is compared with the served folder on the Linux side.
#include "ObexRig.h"
#include "PhoneConfig.h"
#include "ServerRig.h"
#include "Windows.h"
#include "common/ByteArray.h"
#include "common/Dates.h"
#include "shortcut/VFSShortcut.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

namespace {

const wchar_t kMirrorRoot[] = L"C:\\QuelvarObexTests";
const wchar_t kAlias[] = L"Obex1";
const wchar_t kFromPhone[] = L"Copying from phone...";
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
const size_t kBigSize = 5 * 1024 * 1024 + 17;
// Large enough that a download is still running when its dialog has been found and clicked.
const size_t kSlowSize = 24 * 1024 * 1024;

Bytes Pattern(size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 131 + seed * 7 + (i >> 12)) & 0xFF);
    return bytes;
}

std::wstring Served(const std::wstring& path)
{
    return ObexPeer::Dir() + L"\\" + path;
}

// What the mirror shows of one phone item.
struct Shown {
    bool folder;
    long long size;
    DATE modified;
};

// What the mirror shows of the phone below a PC folder, by phone path: folders
// through their folder shortcuts, files through their shortcut files.
void MirrorTree(const std::wstring& pcFolder, const std::wstring& phonePath, std::map<std::wstring, Shown>& out)
{
    for (const std::wstring& entry : NamesIn(pcFolder)) {
        const bool folder = entry.back() == L'\\';
        const std::wstring name = folder ? entry.substr(0, entry.size() - 1) : entry;
        shortcut::VFSShortcut shortcut;
        const bool isLink = name.size() > 7 && name.compare(name.size() - 7, 7, L".vfslnk") == 0;
        if ((!folder && !isLink) ||
            FAILED(shortcut.Load(pcFolder + L"\\" + name +
                                 (folder ? L"\\" + std::wstring(shortcut::kFolderShortcutName) : L""))))
            continue;
        unique_bstr phoneName;
        LONG size = 0;
        DATE modified = 0;
        shortcut.get_Name(phoneName.put());
        shortcut.get_Size(&size);
        shortcut.get_Modified(&modified);
        const std::wstring path = phonePath + phoneName.c_str();
        out[path] = {folder, folder ? 0 : size, modified};
        if (folder)
            MirrorTree(pcFolder + L"\\" + name, path + L"\\", out);
    }
}

class ObexServer : public SharedRig<ObexServerRig>
{
protected:
    static void SetUpTestSuite()
    {
        // The tree as a PC program and the Linux side make it: names a PC cannot hold too.
        MakeFolders(ObexPeer::Dir(), {L"\\tree", L"\\tree\\Ordner \u00C4\u00DF", L"\\tree\\Ordner \u00C4\u00DF\\deep",
                                      L"\\tree\\empty folder"});
        WriteBytes(Served(L"tree\\Ordner \u00C4\u00DF\\deep\\f.txt"), Pattern(100, 1));
        WriteBytes(Served(L"tree\\a & b.txt"), Pattern(7, 2));
        WriteBytes(Served(L"tree\\big.bin"), Pattern(kBigSize, 3));
        WriteBytes(Served(L"slow.bin"), Pattern(kSlowSize, 4));
        ASSERT_TRUE(ObexPeer::MakeFile(L"tree/<lt> \"quoted\" \u00E9.txt", 500));
        rig_ = std::make_unique<ObexServerRig>(kMirrorRoot, kAlias, L"350000000000091");
        ASSERT_TRUE(DirectoryExists(Memory())) << "the phone connected and shows its one memory";
    }
    static std::wstring Memory() { return std::wstring(kMirrorRoot) + L"\\" + kAlias + L"\\Phone memory (C)"; }
    static HRESULT Refresh(const std::wstring& folder) { return q()->RefreshFolder(Bstr(folder).get(), VARIANT_TRUE); }
    // Code 12 runs on the calling thread, the others on a worker. OBEX tells nothing
    // of free memory: a copy to the phone asks first, and the test answers yes.
    static HRESULT Send(UINT code, const std::vector<std::wstring>& sources, const std::wstring& target,
                        bool toPhone = false)
    {
        auto answered =
            toPhone ? AnswerDialog(L"Ostrelle", IDYES, 65535, 60000) : std::future<std::optional<std::wstring>>();
        const HRESULT hr = SendFileOperation(q(), code, kQuiet, sources,
                                             target.empty() ? std::vector<std::wstring>{} : std::vector{target});
        EXPECT_TRUE(!toPhone || answered.get()) << "the question before a copy to the phone";
        return hr;
    }
    static void ExpectDownload(const std::wstring& link, const Bytes& expected)
    {
        unique_variant data;
        ASSERT_EQ(S_OK, q()->DownloadVFSFile(Bstr(Memory() + link).get(), 0, 1, 0, 0, data.put()));
        EXPECT_TRUE(BytesOf(*data.get()) == expected);
    }
    TempDir pc_;
};

} // namespace

TEST_F(ObexServer, TheMirrorShowsTheServedTreeWithItsNamesSizesAndTimes)
{
    ASSERT_EQ(S_OK, Refresh(Memory()));
    // Each folder level is refreshed as a user opens it.
    std::vector<std::wstring> folders{Memory()};
    for (size_t i = 0; i < folders.size(); ++i) {
        ASSERT_EQ(S_OK, Refresh(folders[i]));
        for (const std::wstring& entry : NamesIn(folders[i])) {
            if (entry.back() == L'\\')
                folders.push_back(folders[i] + L"\\" + entry.substr(0, entry.size() - 1));
        }
    }
    std::map<std::wstring, Shown> mirror;
    MirrorTree(Memory() + L"\\tree", L"tree\\", mirror);
    std::map<std::wstring, ObexPeer::Item> served;
    for (const auto& [path, item] : ObexPeer::Manifest()) {
        if (path.compare(0, 5, L"tree\\") == 0)
            served[path] = item;
    }
    ASSERT_EQ(7u, served.size());
    EXPECT_TRUE(served.count(L"tree\\<lt> \"quoted\" \u00E9.txt"));
    EXPECT_EQ(kBigSize, static_cast<size_t>(served[L"tree\\big.bin"].size));
    EXPECT_TRUE(served[L"tree\\empty folder"].folder);
    for (const auto& [path, item] : served) {
        ASSERT_TRUE(mirror.count(path)) << Narrow(path);
        EXPECT_EQ(item.folder, mirror[path].folder) << Narrow(path);
        EXPECT_EQ(item.folder ? 0 : item.size, mirror[path].size) << Narrow(path);
        // The phone's UTC time, shown in local time.
        const ULONGLONG ticks = (static_cast<ULONGLONG>(item.modified) + 11644473600ULL) * 10000000ULL;
        DATE local = 0;
        EXPECT_EQ(S_OK, FileTimeToDate({static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}, local));
        EXPECT_NEAR(local, mirror[path].modified, 0.5 / 86400) << Narrow(path);
    }
    EXPECT_EQ(served.size(), mirror.size());
}

TEST_F(ObexServer, CopiesAreByteExactBothWaysAndPhoneItemsAreMadeRenamedAndDeleted)
{
    ASSERT_EQ(S_OK, Refresh(Memory()));
    ASSERT_EQ(S_OK, Refresh(Memory() + L"\\tree"));
    ExpectDownload(L"\\tree\\big.bin.vfslnk", ReadBytes(Served(L"tree\\big.bin")));

    // The peer can write only into folders it made.
    ASSERT_EQ(S_OK, q()->CreateFolder(Bstr(Memory() + L"\\up").get()));
    ASSERT_TRUE(DirectoryExists(Served(L"up")));
    unique_variant bytes;
    ASSERT_EQ(S_OK, MakeByteArray(Pattern(300000, 5), bytes.get()));
    ASSERT_EQ(S_OK, q()->UploadVFSFile(*bytes.get(), Bstr(Memory() + L"\\up\\new.bin").get(), 0, 0, 0));
    EXPECT_TRUE(ReadBytes(Served(L"up\\new.bin")) == Pattern(300000, 5));

    // The shell's copy of a PC folder to the phone.
    MakeFolders(pc_.path(), {L"\\pcdir", L"\\pcdir\\sub"});
    WriteBytes(pc_ / L"pcdir\\one.bin", Pattern(70000, 6));
    WriteBytes(pc_ / L"pcdir\\sub\\two.txt", Pattern(10, 7));
    ASSERT_EQ(S_OK, Send(12, {pc_ / L"pcdir"}, Memory() + L"\\up", true));
    EXPECT_TRUE(ReadBytes(Served(L"up\\pcdir\\one.bin")) == Pattern(70000, 6));
    EXPECT_TRUE(ReadBytes(Served(L"up\\pcdir\\sub\\two.txt")) == Pattern(10, 7));
    ASSERT_TRUE(FileExists(Memory() + L"\\up\\pcdir\\one.bin.vfslnk"));

    // Rename and delete of phone files.
    ASSERT_EQ(S_OK, Refresh(Memory() + L"\\up"));
    EXPECT_EQ(S_OK, Send(FO_RENAME, {Memory() + L"\\up\\new.bin.vfslnk"}, Memory() + L"\\up\\renamed.bin"));
    EXPECT_FALSE(FileExists(Served(L"up\\new.bin")));
    EXPECT_TRUE(ReadBytes(Served(L"up\\renamed.bin")) == Pattern(300000, 5));
    EXPECT_EQ(S_OK, Send(FO_DELETE, {Memory() + L"\\up\\pcdir\\one.bin.vfslnk"}, L""));
    EXPECT_FALSE(FileExists(Served(L"up\\pcdir\\one.bin")));

    // The phone folder moves to the PC: copied, then its folders removed on the phone.
    MakeFolders(pc_.path(), {L"\\back"});
    ASSERT_EQ(S_OK, Send(FO_MOVE, {Memory() + L"\\up\\pcdir"}, pc_ / L"back"));
    ASSERT_TRUE(PumpUntil([&] { return !DirectoryExists(Served(L"up\\pcdir")); }, 120000));
    EXPECT_TRUE(ReadBytes(pc_ / L"back\\pcdir\\sub\\two.txt") == Pattern(10, 7));
    EXPECT_FALSE(FileExists(pc_ / L"back\\pcdir\\one.bin"));

    // A phone folder deleted with what it holds, folders below it too.
    ASSERT_EQ(S_OK, q()->CreateFolder(Bstr(Memory() + L"\\up\\inner").get()));
    ASSERT_EQ(S_OK, q()->UploadVFSFile(*bytes.get(), Bstr(Memory() + L"\\up\\inner\\deep.bin").get(), 0, 0, 0));
    EXPECT_EQ(S_OK, Send(FO_DELETE, {Memory() + L"\\up"}, L""));
    EXPECT_TRUE(PumpUntil([&] { return !DirectoryExists(Served(L"up")); }, 120000));
    EXPECT_FALSE(DirectoryExists(Memory() + L"\\up"));
}

TEST_F(ObexServer, ACancelledDownloadAndAPeerStoppedMidMoveKeepTheSourceAndThePhoneComesBack)
{
    ASSERT_EQ(S_OK, Refresh(Memory()));
    {
        SCOPED_TRACE("Cancel on the progress dialog");
        auto cancelled = AnswerDialog(kFromPhone, IDCANCEL, 65535, 60000);
        unique_variant data;
        EXPECT_EQ(E_ABORT, q()->DownloadVFSFile(Bstr(Memory() + L"\\slow.bin.vfslnk").get(), 0, 1, 0, 0, data.put()));
        EXPECT_TRUE(cancelled.get());
    }
    ASSERT_EQ(S_OK, Refresh(Memory())) << "the peer serves on";
    SCOPED_TRACE("The peer stopped during a move");
    const std::wstring phoneFolder = std::wstring(kMirrorRoot) + L"\\" + kAlias;
    MakeFolders(pc_.path(), {L"\\target"});
    ASSERT_EQ(S_OK, Send(FO_MOVE, {Memory() + L"\\slow.bin.vfslnk"}, pc_ / L"target"));
    ASSERT_TRUE(WaitForDialog(kFromPhone, 60000));
    ASSERT_TRUE(ObexPeer::Stop());
    HWND box = WaitForDialog(L"Ostrelle", 120000);
    ASSERT_TRUE(box) << "the worker tells its failure";
    // A connection lost inside a packet ends the transfer; one lost between
    // requests is tried once more, and nothing answers there. Where the peer
    // stopped decides which the user reads.
    const std::wstring told = ControlText(box, 65535);
    EXPECT_TRUE(told == L"The connection to the phone was lost." ||
                told == L"The phone did not answer. Check the connection and try again.")
        << Narrow(told);
    ClickButton(box, IDOK);
    EXPECT_EQ(kSlowSize, ReadBytes(Served(L"slow.bin")).size()) << "the source stays";
    EXPECT_TRUE(PumpUntil([&] { return HiddenSystemOf(phoneFolder) == kHiddenSystem; }, 60000))
        << "the watcher tells the server that the phone went";

    ASSERT_TRUE(ObexPeer::Start());
    EXPECT_TRUE(PumpUntil([&] { return HiddenSystemOf(phoneFolder) == 0; }, 60000)) << "and that it came back";
    ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(phoneFolder).get(), VARIANT_FALSE));
    ASSERT_EQ(S_OK, Refresh(Memory()));
    ASSERT_EQ(S_OK, Refresh(Memory() + L"\\tree"));
    ExpectDownload(L"\\tree\\a & b.txt.vfslnk", Pattern(7, 2));
}

// The suite's classes the server uses are those its other tests reach.
TEST_F(ObexServer, ThePhoneControlRenamesAConfiguredPhone)
{
    // A phone of its own, nowhere to be reached; one of an earlier run goes first.
    const auto forget = [] {
        for (const wchar_t* alias : {L"obex-e2e-old", L"obex-e2e-new"})
            obex::PhoneConfig().Remove(alias);
    };
    forget();
    ASSERT_EQ(0u,
              RunProgram(L"\"" + ProductDir() + L"\\ObexPhones.exe\" add obex-e2e-old tcp:127.0.0.1:650 --model E2E"));

    com_ptr<IPhoneControl> control;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PhoneControl, nullptr, CLSCTX_LOCAL_SERVER, IID_IPhoneControl,
                                     control.put_void()));
    EXPECT_EQ(S_OK, control->RenamePhone(Bstr(L"obex-e2e-old").get(), Bstr(L"obex-e2e-new").get()));
    EXPECT_EQ(obex::config_error::NotFound, control->RenamePhone(Bstr(L"obex-e2e-old").get(), Bstr(L"x").get()));
    obex::PhoneEntry phone;
    EXPECT_EQ(obex::config_error::NotFound, obex::PhoneConfig().Find(L"obex-e2e-old", phone));
    ASSERT_EQ(S_OK, obex::PhoneConfig().Find(L"obex-e2e-new", phone));
    EXPECT_EQ(L"tcp:127.0.0.1:650", phone.address);
    EXPECT_EQ(L"E2E", phone.model);

    com_ptr<IVirtualFileSystem> files;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VirtualFileSystem, nullptr, CLSCTX_LOCAL_SERVER, IID_IVirtualFileSystem,
                                     files.put_void()));
    unique_bstr imei;
    ASSERT_EQ(S_OK, files->GetImei(Bstr(L"obex-e2e-new").get(), imei.put()));
    EXPECT_EQ(phone.imei, imei.c_str());
    EXPECT_EQ(static_cast<HRESULT>(0x80044353), files->GetImei(Bstr(L"obex-e2e-old").get(), imei.put()));
    forget();
}
