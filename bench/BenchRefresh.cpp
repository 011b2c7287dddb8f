// RefreshFolder of a phone folder with many files against a baseline that
// writes as many files of the shortcut files' size with plain Win32 calls into
// a fresh folder of the same mirror. Runs against the simulated phone suite;
// prints the times and the ratios (goals: refresh / baseline at most 1.5 for
// 5,000 files; 20,000 files at most 4.4 times the 5,000-file refresh).
//
//   bench_refresh [FILES [ROUNDS]]   FILES and 4 x FILES (default 5000), best of ROUNDS (default 1)
//
// Where creating a file scans the whole folder (Wine without case folding) the
// large run takes many minutes; a smaller FILES gives the same ratios sooner.
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
        if (!phone_.SetUp(L"BenchStore", kAlias, L"350000000000077"))
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

    // Best refresh time and best baseline time for one folder size.
    bool Measure(int files, double& refreshBest, double& baselineBest, double& listingBest)
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

        refreshBest = baselineBest = listingBest = 1e30;
        for (int round = 0; round < g_rounds; ++round) {
            // Both start from a folder without files.
            mirror::EmptyDirectory(folder.c_str(), mirror::kEmptyAllFiles);
            double start = Now();
            if (!Check(mirror::RefreshFolder(phoneFs, table_, folder.c_str(), VARIANT_TRUE, nullptr), "refresh"))
                return false;
            refreshBest = std::min(refreshBest, Now() - start);

            // The part that writes nothing: listing, parsing, PC folder enumeration.
            start = Now();
            if (!Check(mirror::RefreshFolder(phoneFs, table_, folder.c_str(), VARIANT_FALSE, nullptr), "refresh"))
                return false;
            listingBest = std::min(listingBest, Now() - start);

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
            baselineBest = std::min(baselineBest, Now() - start);
            RemoveFolderTree(baseline);
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
    const int small = argc > 1 ? _wtoi(argv[1]) : 5000;
    if (argc > 2)
        g_rounds = std::max(1, _wtoi(argv[2]));
    if (small <= 0) {
        std::printf("usage: bench_refresh [FILES [ROUNDS]]\n");
        return 2;
    }
    const int large = 4 * small;
    com_apartment apartment;
    if (!Check(apartment.result(), "CoInitializeEx"))
        return 1;
    Bench bench;
    if (!bench.SetUp())
        return 1;
    double refreshSmall = 0, baselineSmall = 0, listingSmall = 0, refreshLarge = 0, baselineLarge = 0, listingLarge = 0;
    if (!bench.Measure(small, refreshSmall, baselineSmall, listingSmall))
        return 1;
    std::printf("%6d files: refresh %8.1f ms (without files %6.1f ms), plain writes %8.1f ms, ratio %5.2f (goal <= "
                "1.5)\n",
                small, refreshSmall * 1000, listingSmall * 1000, baselineSmall * 1000, refreshSmall / baselineSmall);
    std::fflush(stdout);
    if (!bench.Measure(large, refreshLarge, baselineLarge, listingLarge))
        return 1;
    std::printf("%6d files: refresh %8.1f ms (without files %6.1f ms), plain writes %8.1f ms, ratio %5.2f\n", large,
                refreshLarge * 1000, listingLarge * 1000, baselineLarge * 1000, refreshLarge / baselineLarge);
    std::printf("plain writes of %d / of %d files: %5.2f\n", large, small, baselineLarge / baselineSmall);
    std::printf("refresh of %d / refresh of %d files: %5.2f (goal <= 4.4)\n", large, small,
                refreshLarge / refreshSmall);
    return 0;
}
