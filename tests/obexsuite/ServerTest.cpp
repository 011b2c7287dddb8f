// The server drives ObexPhones.exe against an OBEX FTP server nobody on this team
// wrote (obexftpd, see ObexRig.h): what the mirror shows and what the transfers
// move is compared with the served folder on the Linux side.
#include "ObexRig.h"
#include "ServerRig.h"
#include "Windows.h"
#include "common/ByteArray.h"
#include "shortcut/VFSShortcut.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

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

// The DATE (local time) of a time in seconds since 1970.
DATE LocalDate(long long seconds)
{
    const ULONGLONG ticks = (static_cast<ULONGLONG>(seconds) + 11644473600ULL) * 10000000ULL;
    FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}, local;
    SYSTEMTIME time;
    DATE date = 0;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &time);
    SystemTimeToVariantTime(&time, &date);
    return date;
}

// What the mirror shows of the phone below a PC folder, by phone path: folders
// through their folder shortcuts, files through their shortcut files.
void MirrorTree(const std::wstring& pcFolder, const std::wstring& phonePath,
                std::map<std::wstring, ObexPeer::Item>& out, std::map<std::wstring, DATE>& dates)
{
    for (const std::wstring& entry : NamesIn(pcFolder)) {
        const bool folder = entry.back() == L'\\';
        const std::wstring name = folder ? entry.substr(0, entry.size() - 1) : entry;
        shortcut::VFSShortcut shortcut;
        BSTR phoneName = nullptr;
        LONG size = 0;
        DATE modified = 0;
        if (folder) {
            if (FAILED(shortcut.Load(pcFolder + L"\\" + name + L"\\" + shortcut::kFolderShortcutName)))
                continue;
        } else if (name.size() <= 7 || name.compare(name.size() - 7, 7, L".vfslnk") != 0 ||
                   FAILED(shortcut.Load(pcFolder + L"\\" + name))) {
            continue;
        }
        shortcut.get_Name(&phoneName);
        shortcut.get_Size(&size);
        shortcut.get_Modified(&modified);
        const std::wstring path = phonePath + (phoneName ? phoneName : L"");
        SysFreeString(phoneName);
        out[path] = {folder, folder ? 0 : size, 0};
        dates[path] = modified;
        if (folder)
            MirrorTree(pcFolder + L"\\" + name, path + L"\\", out, dates);
    }
}

// A download by a client thread of its own, so that the test can work the dialog meanwhile.
struct Download {
    Download(IQuelvar* quelvar, const std::wstring& link)
    {
        IStream* stream = nullptr;
        CoMarshalInterThreadInterfaceInStream(IID_IQuelvar, quelvar, &stream);
        thread = std::thread([this, stream, link] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            com_ptr<IQuelvar> own;
            CoGetInterfaceAndReleaseStream(stream, IID_IQuelvar, own.put_void());
            unique_variant data;
            result = own->DownloadVFSFile(Bstr(link).get(), 0, 1, 0, 0, data.put());
            own.reset();
            CoUninitialize();
        });
    }
    HRESULT Wait() { return thread.join(), result; }
    std::thread thread;
    HRESULT result = E_UNEXPECTED;
};

class ObexServer : public testing::Test
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
    static void TearDownTestSuite() { rig_.reset(); }
    static IQuelvar* q() { return rig_->quelvar.get(); }
    static std::wstring Memory() { return std::wstring(kMirrorRoot) + L"\\" + kAlias + L"\\Phone memory (C)"; }
    static HRESULT Refresh(const std::wstring& folder) { return q()->RefreshFolder(Bstr(folder).get(), VARIANT_TRUE); }
    // Code 12 runs on the calling thread, 1 and 2 on a worker; boxes are answered meanwhile.
    static HRESULT Send(UINT code, WORD flags, const std::vector<std::wstring>& sources, const std::wstring& target,
                        std::vector<std::pair<const wchar_t*, int>> answers = {})
    {
        std::thread answer([&] {
            for (auto [title, button] : answers) {
                HWND box = WaitForDialog(title, 60000);
                EXPECT_TRUE(box) << Narrow(title);
                ClickButton(box, button);
                PumpUntil([&] { return !IsWindowVisible(box); }, 60000);
            }
        });
        const HRESULT hr = SendFileOperation(q(), code, flags, sources,
                                             target.empty() ? std::vector<std::wstring>{} : std::vector{target});
        answer.join();
        return hr;
    }
    static inline std::unique_ptr<ObexServerRig> rig_;
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
    std::map<std::wstring, ObexPeer::Item> mirror;
    std::map<std::wstring, DATE> dates;
    MirrorTree(Memory() + L"\\tree", L"tree\\", mirror, dates);
    std::map<std::wstring, ObexPeer::Item> served;
    for (const auto& [path, item] : ObexPeer::Manifest()) {
        if (path.compare(0, 5, L"tree\\") == 0) {
            served[path] = {item.folder, item.folder ? 0 : item.size, 0};
            EXPECT_NEAR(LocalDate(item.modified), dates[path], 0.5 / 86400) << Narrow(path);
        }
    }
    ASSERT_EQ(7u, served.size());
    EXPECT_TRUE(served.count(L"tree\\<lt> \"quoted\" \u00E9.txt"));
    EXPECT_EQ(kBigSize, static_cast<size_t>(served[L"tree\\big.bin"].size));
    EXPECT_TRUE(served[L"tree\\empty folder"].folder);
    for (const auto& [path, item] : served) {
        ASSERT_TRUE(mirror.count(path)) << Narrow(path);
        EXPECT_EQ(item.folder, mirror[path].folder) << Narrow(path);
        EXPECT_EQ(item.size, mirror[path].size) << Narrow(path);
    }
    EXPECT_EQ(served.size(), mirror.size());
}

TEST_F(ObexServer, DownloadsAndUploadsAreByteExactBothWays)
{
    ASSERT_EQ(S_OK, Refresh(Memory()));
    ASSERT_EQ(S_OK, Refresh(Memory() + L"\\tree"));
    unique_variant data;
    ASSERT_EQ(S_OK, q()->DownloadVFSFile(Bstr(Memory() + L"\\tree\\big.bin.vfslnk").get(), 0, 1, 0, 0, data.put()));
    EXPECT_TRUE(BytesOf(*data.get()) == ReadBytes(Served(L"tree\\big.bin")));

    // mkdir through the server; the peer can write only into folders it made.
    ASSERT_EQ(S_OK, q()->CreateFolder(Bstr(Memory() + L"\\up").get()));
    ASSERT_TRUE(DirectoryExists(Served(L"up")));
    const Bytes upload = Pattern(300000, 5);
    unique_variant bytes;
    ASSERT_EQ(S_OK, MakeByteArray(upload, bytes.get()));
    ASSERT_EQ(S_OK, q()->UploadVFSFile(*bytes.get(), Bstr(Memory() + L"\\up\\new.bin").get(), 0, 0, 0));
    EXPECT_TRUE(ReadBytes(Served(L"up\\new.bin")) == upload);

    // The shell's copy in each direction: a phone folder to the PC, a PC folder to the phone.
    ASSERT_EQ(S_OK, Send(12, kQuiet, {Memory() + L"\\tree\\Ordner \u00C4\u00DF"}, pc_.path()));
    EXPECT_TRUE(ReadBytes(pc_ / L"Ordner \u00C4\u00DF\\deep\\f.txt") == Pattern(100, 1));
    MakeFolders(pc_.path(), {L"\\pcdir", L"\\pcdir\\sub"});
    WriteBytes(pc_ / L"pcdir\\one.bin", Pattern(70000, 6));
    WriteBytes(pc_ / L"pcdir\\sub\\two.txt", Pattern(10, 7));
    // OBEX tells nothing of free memory: the server asks before the copy.
    ASSERT_EQ(S_OK, Send(12, kQuiet, {pc_ / L"pcdir"}, Memory() + L"\\up", {{L"Ostrelle", IDYES}}));
    EXPECT_TRUE(ReadBytes(Served(L"up\\pcdir\\one.bin")) == Pattern(70000, 6));
    EXPECT_TRUE(ReadBytes(Served(L"up\\pcdir\\sub\\two.txt")) == Pattern(10, 7));
    EXPECT_TRUE(FileExists(Memory() + L"\\up\\pcdir\\one.bin.vfslnk"));
}

TEST_F(ObexServer, FoldersMoveInEachDirectionAndItemsAreDeletedAndRenamed)
{
    ASSERT_EQ(S_OK, q()->CreateFolder(Bstr(Memory() + L"\\moves").get()));
    MakeFolders(pc_.path(), {L"\\mv", L"\\mv\\in"});
    WriteBytes(pc_ / L"mv\\in\\m.bin", Pattern(20000, 8));
    // To the phone: the worker deletes the PC folder after its upload.
    ASSERT_EQ(S_OK, Send(FO_MOVE, kQuiet, {pc_ / L"mv"}, Memory() + L"\\moves", {{L"Ostrelle", IDYES}}));
    ASSERT_TRUE(PumpUntil([&] { return !DirectoryExists(pc_ / L"mv"); }, 120000));
    EXPECT_TRUE(ReadBytes(Served(L"moves\\mv\\in\\m.bin")) == Pattern(20000, 8));

    // And back: the phone folder goes once it is on the PC.
    ASSERT_EQ(S_OK, Refresh(Memory() + L"\\moves"));
    MakeFolders(pc_.path(), {L"\\back"});
    ASSERT_EQ(S_OK, Send(FO_MOVE, kQuiet, {Memory() + L"\\moves\\mv"}, pc_ / L"back"));
    ASSERT_TRUE(PumpUntil([&] { return !DirectoryExists(Served(L"moves\\mv")); }, 120000));
    EXPECT_TRUE(ReadBytes(pc_ / L"back\\mv\\in\\m.bin") == Pattern(20000, 8));
    ASSERT_TRUE(PumpUntil([&] { return !DirectoryExists(Memory() + L"\\moves\\mv"); }, 60000));

    // Delete and rename of phone files.
    unique_variant bytes;
    ASSERT_EQ(S_OK, MakeByteArray(Pattern(1000, 9), bytes.get()));
    ASSERT_EQ(S_OK, q()->UploadVFSFile(*bytes.get(), Bstr(Memory() + L"\\moves\\old.txt").get(), 0, 0, 0));
    ASSERT_EQ(S_OK, q()->UploadVFSFile(*bytes.get(), Bstr(Memory() + L"\\moves\\gone.txt").get(), 0, 0, 0));
    ASSERT_EQ(S_OK, Refresh(Memory() + L"\\moves"));
    EXPECT_EQ(S_OK, Send(FO_DELETE, kQuiet, {Memory() + L"\\moves\\gone.txt.vfslnk"}, L""));
    EXPECT_FALSE(FileExists(Served(L"moves\\gone.txt")));
    EXPECT_EQ(S_OK, Send(FO_RENAME, kQuiet, {Memory() + L"\\moves\\old.txt.vfslnk"}, Memory() + L"\\moves\\new.txt"));
    EXPECT_FALSE(FileExists(Served(L"moves\\old.txt")));
    EXPECT_TRUE(ReadBytes(Served(L"moves\\new.txt")) == Pattern(1000, 9));
}

TEST_F(ObexServer, CancelOnTheProgressDialogAbortsTheDownloadAndThePeerServesOn)
{
    ASSERT_EQ(S_OK, Refresh(Memory()));
    ASSERT_EQ(S_OK, Refresh(Memory() + L"\\tree"));
    Download download(q(), Memory() + L"\\slow.bin.vfslnk");
    HWND dialog = WaitForDialog(kFromPhone, 60000);
    ASSERT_TRUE(dialog);
    ClickButton(dialog, IDCANCEL);
    EXPECT_EQ(E_ABORT, download.Wait());
    EXPECT_EQ(kSlowSize, ReadBytes(Served(L"slow.bin")).size());
    unique_variant data;
    ASSERT_EQ(S_OK, q()->DownloadVFSFile(Bstr(Memory() + L"\\tree\\a & b.txt.vfslnk").get(), 0, 1, 0, 0, data.put()));
    EXPECT_TRUE(BytesOf(*data.get()) == Pattern(7, 2));
}

TEST_F(ObexServer, APeerStoppedMidTransferFailsClearlyHidesThePhoneAndShowsItAgainWhenBack)
{
    ASSERT_EQ(S_OK, Refresh(Memory()));
    const std::wstring phoneFolder = std::wstring(kMirrorRoot) + L"\\" + kAlias;
    MakeFolders(pc_.path(), {L"\\target"});
    // A move: its source must survive the lost connection.
    ASSERT_EQ(S_OK, Send(FO_MOVE, kQuiet, {Memory() + L"\\slow.bin.vfslnk"}, pc_ / L"target"));
    ASSERT_TRUE(WaitForDialog(kFromPhone, 60000));
    ASSERT_TRUE(ObexPeer::Stop());
    HWND box = WaitForDialog(L"Ostrelle", 120000);
    ASSERT_TRUE(box) << "the worker tells its failure";
    // The lost connection is tried once more, and nothing answers there.
    EXPECT_EQ(L"The phone did not answer. Check the connection and try again.", ControlText(box, 65535));
    ClickButton(box, IDOK);
    EXPECT_EQ(kSlowSize, ReadBytes(Served(L"slow.bin")).size()) << "the source stays";
    EXPECT_TRUE(PumpUntil([&] { return HiddenSystemOf(phoneFolder) == kHiddenSystem; }, 60000))
        << "the watcher tells the server that the phone went";

    ASSERT_TRUE(ObexPeer::Start());
    EXPECT_TRUE(PumpUntil([&] { return HiddenSystemOf(phoneFolder) == 0; }, 60000)) << "and that it came back";
    ASSERT_EQ(S_OK, q()->RefreshFolder(Bstr(phoneFolder).get(), VARIANT_FALSE));
    ASSERT_EQ(S_OK, Refresh(Memory()));
    ASSERT_EQ(S_OK, Refresh(Memory() + L"\\tree"));
    unique_variant data;
    ASSERT_EQ(S_OK, q()->DownloadVFSFile(Bstr(Memory() + L"\\tree\\a & b.txt.vfslnk").get(), 0, 1, 0, 0, data.put()));
    EXPECT_TRUE(BytesOf(*data.get()) == Pattern(7, 2));
}
