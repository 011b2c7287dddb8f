// Download and upload of one large phone file through the server against a
// baseline in the same run that moves the same byte array across one process
// boundary through the same marshaler (the simulated suite's own GetFile and
// PutFile). The server's path crosses two boundaries (client to server, server
// to suite), so half the baseline's speed is the ceiling. Prints the times, the
// ratios (goal: baseline / server at least 0.45) and the server's peak memory
// (goal: at most 3 times the file size), sampled from its PagefileUsage.
//
//   bench_transfer [MIB [ROUNDS [CHUNK]]]   file size in MiB (default 64), ROUNDS (default 3),
//                                           the suite's progress chunk in bytes (default 65536)
//
// Runs under Xvfb (the server shows its progress dialog) with the server and
// the suite registered, and no server running yet: the server reads the mirror
// root, which this program sets for the run, once per process. Windows run
// unmanaged for the run: without a window manager Wine waits 2 s for one each
// time the dialog closes. Each round times a baseline right before its server
// call; on a busy machine the median of their ratios says more than the bests.
#include "BenchSupport.h"
#include "BenchTiming.h"

#include "common/ByteArray.h"
#include "common/ComPtr.h"
#include "common/FileTree.h"
#include "common/Resource.h"

#include <PhoneComponents.h>
#include <SimPhoneSuite.h>
#include <ZentrelQuelvar.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using bench::Check;
using bench::FindProcess;
using bench::MakeTempFolder;
using bench::Now;
using bench::SavedValue;

const wchar_t kAlias[] = L"Bench";
const wchar_t kDataLayerKey[] = L"Software\\Marlith\\DataLayer";
const wchar_t kServerExe[] = L"ZentrelQuelvar.exe";
const wchar_t kX11DriverKey[] = L"Software\\Wine\\X11 Driver";
constexpr DATE kModified = 45000.5;

// The largest PagefileUsage of a process while it runs: Wine reports no peak
// of its own.
class MemorySampler
{
public:
    explicit MemorySampler(HANDLE process) : process_(process)
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                PROCESS_MEMORY_COUNTERS counters{};
                counters.cb = sizeof(counters);
                if (GetProcessMemoryInfo(process_, &counters, sizeof(counters)))
                    peak_ = std::max<SIZE_T>(peak_, counters.PagefileUsage);
                Sleep(2);
            }
        });
    }
    ~MemorySampler()
    {
        stop_ = true;
        thread_.join();
    }
    SIZE_T Peak() const { return peak_; }

private:
    HANDLE process_;
    std::atomic<bool> stop_{false};
    std::atomic<SIZE_T> peak_{0};
    std::thread thread_;
};

double MiB(SIZE_T bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

class Bench
{
public:
    bool SetUp(size_t bytes, long chunk)
    {
        if (!bench::NoServerRunning(kServerExe))
            return false;
        mirrorRoot_ = bench::MakeTempFolder(L"BenchXferMirror");
        // Xvfb has no window manager, and Wine waits 2 s for one whenever a window
        // closes: each transfer would pay that for its dialog, which no desktop does.
        if (!managed_.Set(L"N") || !mirrorRootValue_.Set(mirrorRoot_))
            return false;
        if (!phone_.SetUp(L"BenchXferStore", kAlias, L"350000000000105"))
            return false;
        long suiteId = 0;
        if (!Check(phone_->SetChunkSize(chunk), "SetChunkSize") || !Check(phone_->GetProcessId(&suiteId), "suite"))
            return false;
        suite_.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, static_cast<DWORD>(suiteId)));
        std::vector<unsigned char> content(bytes);
        for (size_t i = 0; i < bytes; ++i)
            content[i] = static_cast<unsigned char>(i * 7 + (i >> 12));
        if (!Check(MakeByteArray(content, data_.put()), "MakeByteArray") ||
            !Check(phone_->PutFile(PhonePath(L"source.bin").get(), *data_.get(), kModified), "PutFile"))
            return false;

        if (!Check(CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar_.put_void()),
                   "server"))
            return false;
        const std::wstring phoneFolder = mirrorRoot_ + L"\\" + kAlias;
        memory_ = phoneFolder + L"\\Phone memory (C)";
        if (!Check(quelvar_->RefreshFolder(unique_bstr(phoneFolder.c_str()).get(), VARIANT_FALSE), "refresh") ||
            !Check(quelvar_->RefreshFolder(unique_bstr(memory_.c_str()).get(), VARIANT_TRUE), "refresh"))
            return false;
        server_.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, FindProcess(kServerExe)));
        if (!server_ || !suite_) {
            std::printf("the server or suite process cannot be opened\n");
            return false;
        }
        return true;
    }

    ~Bench()
    {
        if (quelvar_)
            quelvar_->Terminate();
        quelvar_.reset();
        if (!mirrorRoot_.empty())
            RemoveFolderTree(mirrorRoot_);
    }

    static SIZE_T Memory(HANDLE process)
    {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof(counters);
        GetProcessMemoryInfo(process, &counters, sizeof(counters));
        return counters.PagefileUsage;
    }
    SIZE_T ServerMemory() const { return Memory(server_.get()); }
    SIZE_T SuiteMemory() const { return Memory(suite_.get()); }

    struct Figures {
        double getFile, download, putFile, upload;
        SIZE_T downloadPeak, uploadPeak, putFilePeak; // the last one the suite's
    };

    // One round of each, the baseline right before its server call; false when a
    // call fails or the bytes differ.
    bool Round(Figures& figures)
    {
        unique_variant received;
        double start = Now();
        if (!Check(phone_->GetFile(PhonePath(L"source.bin").get(), received.put()), "GetFile"))
            return false;
        figures.getFile = Now() - start;
        if (!Same(*received.get()))
            return false;
        VariantClear(received.get());

        const std::wstring source = memory_ + L"\\source.bin.vfslnk";
        {
            MemorySampler sampler(server_.get());
            start = Now();
            if (!Check(quelvar_->DownloadVFSFile(unique_bstr(source.c_str()).get(), 0, 1, 0, 0, received.put()),
                       "DownloadVFSFile"))
                return false;
            figures.download = Now() - start;
            figures.downloadPeak = sampler.Peak();
        }
        if (!Same(*received.get()))
            return false;
        // Only the array to upload stays in this process.
        VariantClear(received.get());

        {
            MemorySampler sampler(suite_.get());
            start = Now();
            if (!Check(phone_->PutFile(PhonePath(L"put.bin").get(), *data_.get(), kModified), "PutFile"))
                return false;
            figures.putFile = Now() - start;
            figures.putFilePeak = sampler.Peak();
        }
        const std::wstring target = memory_ + L"\\uploaded.bin";
        {
            MemorySampler sampler(server_.get());
            start = Now();
            if (!Check(quelvar_->UploadVFSFile(*data_.get(), unique_bstr(target.c_str()).get(), Size(), kModified, 0),
                       "UploadVFSFile"))
                return false;
            figures.upload = Now() - start;
            figures.uploadPeak = sampler.Peak();
        }
        return Check(phone_->GetFile(PhonePath(L"uploaded.bin").get(), received.put()), "GetFile") &&
               Same(*received.get());
    }

    LONG Size() const { return static_cast<LONG>(data_.get()->parray->rgsabound[0].cElements); }

private:
    static unique_bstr PhonePath(const wchar_t* name)
    {
        return unique_bstr((std::wstring(L"ALIAS:") + kAlias + L"\\C:\\" + name).c_str());
    }

    bool Same(const VARIANT& value) const
    {
        std::vector<unsigned char> expected, got;
        ReadByteArray(*data_.get(), expected);
        if (SUCCEEDED(ReadByteArray(value, got)) && got == expected)
            return true;
        std::printf("the bytes that arrived differ from the file's\n");
        return false;
    }

    bench::BenchPhone phone_;
    com_ptr<IQuelvar> quelvar_;
    unique_variant data_;
    unique_handle server_, suite_;
    std::wstring mirrorRoot_, memory_;
    SavedValue mirrorRootValue_{kDataLayerKey, L"Root"};
    SavedValue managed_{kX11DriverKey, L"Managed"};
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int mib = argc > 1 ? _wtoi(argv[1]) : 64;
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
    const long chunk = argc > 3 ? _wtol(argv[3]) : 65536;
    if (mib <= 0 || mib > 1024 || chunk <= 0) {
        std::printf("usage: bench_transfer [MIB [ROUNDS [CHUNK]]]\n");
        return 2;
    }
    com_apartment apartment;
    if (!Check(apartment.result(), "CoInitializeEx"))
        return 1;
    Bench bench;
    if (!bench.SetUp(static_cast<size_t>(mib) * 1024 * 1024, chunk))
        return 1;
    const SIZE_T serverIdle = bench.ServerMemory(), suiteIdle = bench.SuiteMemory();
    Bench::Figures best{1e30, 1e30, 1e30, 1e30, 0, 0, 0};
    std::vector<double> downloadRatios, uploadRatios;
    for (int round = 0; round < rounds; ++round) {
        Bench::Figures f{};
        if (!bench.Round(f))
            return 1;
        std::printf(
            "round %d: GetFile %7.1f ms, download %7.1f ms (%4.2f); PutFile %7.1f ms, upload %7.1f ms (%4.2f)\n",
            round + 1, f.getFile * 1000, f.download * 1000, f.getFile / f.download, f.putFile * 1000, f.upload * 1000,
            f.putFile / f.upload);
        std::fflush(stdout);
        downloadRatios.push_back(f.getFile / f.download);
        uploadRatios.push_back(f.putFile / f.upload);
        best = {std::min(best.getFile, f.getFile),           std::min(best.download, f.download),
                std::min(best.putFile, f.putFile),           std::min(best.upload, f.upload),
                std::max(best.downloadPeak, f.downloadPeak), std::max(best.uploadPeak, f.uploadPeak),
                std::max(best.putFilePeak, f.putFilePeak)};
    }
    std::sort(downloadRatios.begin(), downloadRatios.end());
    std::sort(uploadRatios.begin(), uploadRatios.end());
    const double size = static_cast<double>(bench.Size());
    std::printf("%d MiB, %d rounds, one progress callback per %ld bytes\n", mib, rounds, chunk);
    std::printf("download: best %7.1f ms (%5.1f MB/s), GetFile best %7.1f ms: ratio of bests %4.2f, median ratio "
                "%4.2f (goal >= 0.45)\n",
                best.download * 1000, size / best.download / 1e6, best.getFile * 1000, best.getFile / best.download,
                downloadRatios[downloadRatios.size() / 2]);
    std::printf("upload:   best %7.1f ms (%5.1f MB/s), PutFile best %7.1f ms: ratio of bests %4.2f, median ratio "
                "%4.2f (goal >= 0.45)\n",
                best.upload * 1000, size / best.upload / 1e6, best.putFile * 1000, best.putFile / best.upload,
                uploadRatios[uploadRatios.size() / 2]);
    const std::string download = "download " + std::to_string(mib) + " MiB (ratio: baseline / server)";
    const std::string upload = "upload " + std::to_string(mib) + " MiB (ratio: baseline / server)";
    bench::Result(download.c_str(), best.download, "suite's GetFile", best.getFile, best.getFile / best.download,
                  ">= 0.45");
    bench::Result(upload.c_str(), best.upload, "suite's PutFile", best.putFile, best.putFile / best.upload, ">= 0.45");
    for (auto [what, peak] : {std::pair{"download", best.downloadPeak}, {"upload", best.uploadPeak}})
        std::printf("server peak, %-8s: %6.1f MiB = %.2f x the file (goal <= 3), %.2f x above its idle %.1f MiB\n",
                    what, MiB(peak), static_cast<double>(peak) / size,
                    static_cast<double>(peak - std::min(peak, serverIdle)) / size, MiB(serverIdle));
    std::printf("for comparison, the suite receiving the array for PutFile: %6.1f MiB, %.2f x above its idle\n",
                MiB(best.putFilePeak),
                static_cast<double>(best.putFilePeak - std::min(best.putFilePeak, suiteIdle)) / size);
    return 0;
}
