// RefreshFolder of a phone folder with many files, each case against a
// baseline measured in the same run. Runs against the simulated phone suite.
//
//   fresh      refresh into a folder without shortcut files, against as many
//              plain Win32 writes of files of the shortcut files' size into a
//              fresh folder (goal: as before the refresh compared files, whose
//              ratio scattered from 0.8 to 1.1 at 5,000 files with the load)
//   unchanged  refresh of the same listing again, against a full rewrite of the
//              same folder: its shortcut files deleted and written anew
//              (goal: at most 0.2)
//   one changed  one phone file resized, against the full rewrite (goal: at most 0.25)
//
// The goals hold for 20,000 files; smaller folders gain less, as a full
// rewrite of them costs less. Also printed: the refresh without files (the
// listing, its parsing and the folder's enumeration), the share of an
// unchanged refresh that compares no file.
//
//   bench_refresh [FILES...] [--rounds N]   folder sizes (default 5000 20000), best of N rounds (default 1)
//
// Where creating a file scans the whole folder (Wine) writes grow about with
// the square of the folder's size; the large folder takes minutes.
#include "BenchSupport.h"
#include "BenchTiming.h"
#include "mirror/DeviceMapping.h"
#include "mirror/MirrorFolders.h"
#include "mirror/MirrorRefresh.h"
#include "phone/PhoneFileSystem.h"

#include "common/ComPtr.h"
#include "common/FileTree.h"
#include "common/Resource.h"

#include <PhoneComponents.h>
#include <SimPhoneSuite.h>

#include <algorithm>
#include <cwchar>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int g_rounds = 1;
const wchar_t kAlias[] = L"Bench";

using bench::Check;
using bench::Now;

bool WriteFileBytes(const std::wstring& path, const std::vector<char>& bytes)
{
    unique_file file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::wstring FileName(int index)
{
    wchar_t name[32];
    _snwprintf(name, 32, L"IMG_%05d.jpg", index);
    return name;
}

// The phone folder is written straight into the suite's store: putting 20,000
// files one call at a time would take minutes.
bool FillPhoneFolder(const std::wstring& store, const std::wstring& folderName, int files)
{
    const std::wstring folder = store + L"\\" + kAlias + L"\\mem-C\\" + folderName;
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::vector<char> bytes(2000, 'x');
    for (int i = 0; i < files; ++i) {
        if (!WriteFileBytes(folder + L"\\" + FileName(i), bytes))
            return false;
    }
    return true;
}

class Bench
{
public:
    bool SetUp()
    {
        if (!phone_.SetUp(L"BenchStore", kAlias, L"350000000000139"))
            return false;
        mirrorRoot_ = bench::MakeTempFolder(L"BenchMirror");
        if (!Check(CoCreateInstance(CLSID_VirtualFileSystem, nullptr, CLSCTX_ALL, __uuidof(IVirtualFileSystem),
                                    vfs_.put_void()),
                   "VirtualFileSystem"))
            return false;
        mirror::DeviceMapping row;
        if (!Check(mirror::MakeMapping(mirrorRoot_.c_str(), kAlias, row), "MakeMapping"))
            return false;
        table_.AppendMapping(row);
        phoneFolder_ = row.PCFolder;
        CreateDirectoryW(phoneFolder_.c_str(), nullptr);
        return true;
    }

    ~Bench()
    {
        if (!mirrorRoot_.empty())
            RemoveFolderTree(mirrorRoot_);
    }

    struct Figures {
        double fresh, plainWrites, rewrite, unchanged, oneChanged, withoutFiles;
    };

    // Best times of each case for one folder size.
    bool Measure(int files, Figures& best)
    {
        const std::wstring folderName = L"Many" + std::to_wstring(files);
        if (!FillPhoneFolder(phone_.Store(), folderName, files)) {
            std::printf("filling the phone folder failed\n");
            return false;
        }
        phone::PhoneFileSystem phoneFs(vfs_.get(), nullptr);
        const std::wstring memory = phoneFolder_ + L"\\Phone memory (C)";
        if (!Check(mirror::RefreshFolder(phoneFs, table_, phoneFolder_.c_str(), VARIANT_TRUE, nullptr), "refresh") ||
            !Check(mirror::RefreshFolder(phoneFs, table_, memory.c_str(), VARIANT_FALSE, nullptr), "refresh"))
            return false;
        const std::wstring folder = memory + L"\\" + folderName;
        const auto refresh = [&]() {
            return Check(mirror::RefreshFolder(phoneFs, table_, folder.c_str(), VARIANT_TRUE, nullptr), "refresh");
        };
        // What a refresh did before it compared: delete every shortcut file, write them all.
        const auto rewrite = [&]() {
            return mirror::EmptyDirectory(folder.c_str(),
                                          mirror::kEmptyFolderShortcuts | mirror::kEmptySingleAttempt) &&
                   refresh();
        };

        best = {1e30, 1e30, 1e30, 1e30, 1e30, 1e30};
        for (int round = 0; round < g_rounds; ++round) {
            mirror::EmptyDirectory(folder.c_str(), mirror::kEmptyFolderShortcuts | mirror::kEmptySingleAttempt);
            double start = Now();
            if (!refresh())
                return false;
            best.fresh = std::min(best.fresh, Now() - start);

            const std::wstring sample = folder + L"\\" + FileName(0) + L".vfslnk";
            unique_file shortcutFile(
                CreateFileW(sample.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            const DWORD size = shortcutFile ? GetFileSize(shortcutFile.get(), nullptr) : 0;
            shortcutFile.reset();
            if (size == 0) {
                std::printf("no shortcut file written\n");
                return false;
            }
            const std::wstring baseline = memory + L"\\Baseline";
            RemoveFolderTree(baseline);
            CreateDirectoryW(baseline.c_str(), nullptr);
            const std::vector<char> bytes(size, 'x');
            start = Now();
            for (int i = 0; i < files; ++i) {
                if (!WriteFileBytes(baseline + L"\\" + FileName(i) + L".vfslnk", bytes))
                    return false;
            }
            best.plainWrites = std::min(best.plainWrites, Now() - start);
            RemoveFolderTree(baseline);

            start = Now();
            if (!rewrite())
                return false;
            best.rewrite = std::min(best.rewrite, Now() - start);

            start = Now();
            if (!refresh())
                return false;
            best.unchanged = std::min(best.unchanged, Now() - start);

            // The part that compares no file: listing, parsing, the folder's enumeration.
            start = Now();
            if (!Check(mirror::RefreshFolder(phoneFs, table_, folder.c_str(), VARIANT_FALSE, nullptr), "refresh"))
                return false;
            best.withoutFiles = std::min(best.withoutFiles, Now() - start);

            // One phone file in the middle grows by a byte (and back in the next round).
            const std::wstring changed =
                phone_.Store() + L"\\" + kAlias + L"\\mem-C\\" + folderName + L"\\" + FileName(files / 2);
            if (!WriteFileBytes(changed, std::vector<char>(round % 2 ? 2000 : 2001, 'x')))
                return false;
            start = Now();
            if (!refresh())
                return false;
            best.oneChanged = std::min(best.oneChanged, Now() - start);
        }
        return true;
    }

private:
    bench::BenchPhone phone_;
    com_ptr<IVirtualFileSystem> vfs_;
    mirror::DeviceMappingTable table_;
    std::wstring mirrorRoot_;
    std::wstring phoneFolder_;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--rounds") == 0 && i + 1 < argc)
            g_rounds = std::max(1, _wtoi(argv[++i]));
        else
            sizes.push_back(_wtoi(argv[i]));
    }
    if (sizes.empty())
        sizes = {5000, 20000};
    for (int files : sizes) {
        if (files <= 0 || files > 99999) {
            std::printf("usage: bench_refresh [FILES...] [--rounds N]\n");
            return 2;
        }
    }
    com_apartment apartment;
    if (!Check(apartment.result(), "CoInitializeEx"))
        return 1;
    Bench bench;
    if (!bench.SetUp())
        return 1;
    for (int files : sizes) {
        Bench::Figures f{};
        if (!bench.Measure(files, f))
            return 1;
        std::printf("%6d files: fresh %8.1f ms, plain writes %8.1f ms; full rewrite %8.1f ms, unchanged %8.1f ms, "
                    "one changed %8.1f ms (without files %8.1f ms)\n",
                    files, f.fresh * 1000, f.plainWrites * 1000, f.rewrite * 1000, f.unchanged * 1000,
                    f.oneChanged * 1000, f.withoutFiles * 1000);
        const std::string n = std::to_string(files);
        bench::Result(("refresh " + n + " files, fresh").c_str(), f.fresh, "plain writes", f.plainWrites,
                      f.fresh / f.plainWrites, "as before: 0.8-1.1");
        bench::Result(("refresh " + n + " files, unchanged").c_str(), f.unchanged, "full rewrite", f.rewrite,
                      f.unchanged / f.rewrite, files >= 20000 ? "<= 0.2" : "<= 0.2 at 20,000 files");
        bench::Result(("refresh " + n + " files, one changed").c_str(), f.oneChanged, "full rewrite", f.rewrite,
                      f.oneChanged / f.rewrite, files >= 20000 ? "<= 0.25" : "<= 0.25 at 20,000 files");
    }
    return 0;
}
