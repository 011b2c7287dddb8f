// Download and upload of one large phone file through the server against a
// baseline in the same run that moves the same byte array across one process
// boundary through the same marshaler (the simulated suite's own GetFile and
// PutFile). The server's path crosses two boundaries (client to server, server
// to suite), so half the baseline's speed is the ceiling. Prints the times, the
// ratios (goal: baseline / server at least 0.45) and the server's peak memory
// (goal: at most 3 times the file size), sampled from its PagefileUsage.
//
//   bench_transfer [MIB [ROUNDS]]   file size in MiB (default 64), best of ROUNDS (default 3)
//
// Runs under Xvfb (the server shows its progress dialog) with the server and
// the suite registered, and no server running yet: the server reads the mirror
// root, which this program sets for the run, once per process.
#include "BenchTiming.h"

#include "common/ByteArray.h"
#include "common/ComPtr.h"
#include "common/FileTree.h"
#include "common/Resource.h"

#include <PhoneComponents.h>
#include <SimPhoneSuite.h>
#include <ZentrelQuelvar.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using bench::Check;
using bench::Now;

const wchar_t kAlias[] = L"Bench";
const wchar_t kDataLayerKey[] = L"Software\\Marlith\\DataLayer";
const wchar_t kServerExe[] = L"ZentrelQuelvar.exe";
constexpr DATE kModified = 45000.5;

std::wstring MakeTempFolder(const wchar_t* prefix)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

DWORD FindProcess(const wchar_t* exeName)
{
    unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName) == 0)
            return entry.th32ProcessID;
    }
    return 0;
}

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
    bool SetUp(size_t bytes)
    {
        if (FindProcess(kServerExe)) {
            std::printf("a server is running already: end it first (it keeps the mirror root it read)\n");
            return false;
        }
        if (!Check(CoCreateInstance(CLSID_SimPhoneSuite, nullptr, CLSCTX_LOCAL_SERVER, IID_ISimPhoneSuite,
                                    control_.put_void()),
                   "suite control (run the tests once to register the suite)"))
            return false;
        unique_bstr previous;
        control_->GetStore(previous.put());
        previousStore_ = previous.c_str();
        store_ = MakeTempFolder(L"BenchXferStore");
        mirrorRoot_ = MakeTempFolder(L"BenchXferMirror");
        if (!SetMirrorRoot(mirrorRoot_) || !Check(control_->SetStore(unique_bstr(store_.c_str()).get()), "SetStore") ||
            !Check(control_->AddPhone(unique_bstr(kAlias).get(), unique_bstr(L"350000000000078").get(),
                                      unique_bstr(L"OS-200").get()),
                   "AddPhone") ||
            !Check(control_->AddMemory(unique_bstr(kAlias).get(), unique_bstr(L"C").get(),
                                       unique_bstr(L"Phone memory").get(), unique_bstr(L"PHONE").get(), 1e12),
                   "AddMemory") ||
            !Check(control_->ConnectPhone(unique_bstr(kAlias).get()), "ConnectPhone"))
            return false;
        std::vector<unsigned char> content(bytes);
        for (size_t i = 0; i < bytes; ++i)
            content[i] = static_cast<unsigned char>(i * 7 + (i >> 12));
        if (!Check(MakeByteArray(content, data_.put()), "MakeByteArray") ||
            !Check(control_->PutFile(PhonePath(L"source.bin").get(), *data_.get(), kModified), "PutFile"))
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
        if (!server_) {
            std::printf("the server process cannot be opened\n");
            return false;
        }
        return true;
    }

    ~Bench()
    {
        if (quelvar_)
            quelvar_->Terminate();
        quelvar_.reset();
        if (control_)
            control_->SetStore(unique_bstr(previousStore_.c_str()).get());
        SetMirrorRoot(previousRoot_);
        if (!mirrorRoot_.empty())
            RemoveFolderTree(mirrorRoot_);
        if (!store_.empty())
            RemoveFolderTree(store_);
    }

    SIZE_T ServerMemory() const
    {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof(counters);
        GetProcessMemoryInfo(server_.get(), &counters, sizeof(counters));
        return counters.PagefileUsage;
    }

    // One round of each; false when a call fails or the bytes differ.
    bool Round(double& getFile, double& download, double& putFile, double& upload, SIZE_T& peak)
    {
        MemorySampler sampler(server_.get());
        unique_variant received;
        double start = Now();
        if (!Check(control_->GetFile(PhonePath(L"source.bin").get(), received.put()), "GetFile"))
            return false;
        getFile = Now() - start;
        if (!Same(*received.get()))
            return false;

        unique_variant downloaded;
        const std::wstring source = memory_ + L"\\source.bin.vfslnk";
        start = Now();
        if (!Check(quelvar_->DownloadVFSFile(unique_bstr(source.c_str()).get(), 0, 1, 0, 0, downloaded.put()),
                   "DownloadVFSFile"))
            return false;
        download = Now() - start;
        if (!Same(*downloaded.get()))
            return false;
        // Only the array to upload stays in this process.
        VariantClear(downloaded.get());
        VariantClear(received.get());

        start = Now();
        if (!Check(control_->PutFile(PhonePath(L"put.bin").get(), *data_.get(), kModified), "PutFile"))
            return false;
        putFile = Now() - start;

        const std::wstring target = memory_ + L"\\uploaded.bin";
        start = Now();
        if (!Check(quelvar_->UploadVFSFile(*data_.get(), unique_bstr(target.c_str()).get(), Size(), kModified, 0),
                   "UploadVFSFile"))
            return false;
        upload = Now() - start;
        peak = sampler.Peak();
        unique_variant stored;
        return Check(control_->GetFile(PhonePath(L"uploaded.bin").get(), stored.put()), "GetFile") &&
               Same(*stored.get());
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

    // Sets the mirror root for the run, keeping the one found; empty removes it.
    bool SetMirrorRoot(const std::wstring& root)
    {
        unique_hkey key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kDataLayerKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                            nullptr) != ERROR_SUCCESS)
            return false;
        if (!rootSaved_) {
            wchar_t value[MAX_PATH] = {};
            DWORD size = sizeof(value) - sizeof(wchar_t);
            if (RegQueryValueExW(key.get(), L"Root", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS)
                previousRoot_ = value;
            rootSaved_ = true;
        }
        if (root.empty())
            return RegDeleteValueW(key.get(), L"Root") == ERROR_SUCCESS;
        return RegSetValueExW(key.get(), L"Root", 0, REG_SZ, reinterpret_cast<const BYTE*>(root.c_str()),
                              static_cast<DWORD>((root.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

    com_ptr<ISimPhoneSuite> control_;
    com_ptr<IQuelvar> quelvar_;
    unique_variant data_;
    unique_handle server_;
    std::wstring previousStore_, store_, mirrorRoot_, memory_, previousRoot_;
    bool rootSaved_ = false;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int mib = argc > 1 ? _wtoi(argv[1]) : 64;
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
    if (mib <= 0 || mib > 1024) {
        std::printf("usage: bench_transfer [MIB [ROUNDS]]\n");
        return 2;
    }
    com_apartment apartment;
    if (!Check(apartment.result(), "CoInitializeEx"))
        return 1;
    Bench bench;
    if (!bench.SetUp(static_cast<size_t>(mib) * 1024 * 1024))
        return 1;
    const SIZE_T idle = bench.ServerMemory();
    double getBest = 1e30, downloadBest = 1e30, putBest = 1e30, uploadBest = 1e30;
    SIZE_T peak = 0;
    for (int round = 0; round < rounds; ++round) {
        double getFile = 0, download = 0, putFile = 0, upload = 0;
        SIZE_T roundPeak = 0;
        if (!bench.Round(getFile, download, putFile, upload, roundPeak))
            return 1;
        std::printf("round %d: GetFile %7.1f ms, download %7.1f ms, PutFile %7.1f ms, upload %7.1f ms\n", round + 1,
                    getFile * 1000, download * 1000, putFile * 1000, upload * 1000);
        std::fflush(stdout);
        getBest = std::min(getBest, getFile);
        downloadBest = std::min(downloadBest, download);
        putBest = std::min(putBest, putFile);
        uploadBest = std::min(uploadBest, upload);
        peak = std::max(peak, roundPeak);
    }
    const double size = static_cast<double>(bench.Size());
    std::printf("%d MiB, best of %d\n", mib, rounds);
    std::printf("download: %7.1f ms (%5.1f MB/s), baseline GetFile %7.1f ms: ratio %4.2f (goal >= 0.45)\n",
                downloadBest * 1000, size / downloadBest / 1e6, getBest * 1000, getBest / downloadBest);
    std::printf("upload:   %7.1f ms (%5.1f MB/s), baseline PutFile %7.1f ms: ratio %4.2f (goal >= 0.45)\n",
                uploadBest * 1000, size / uploadBest / 1e6, putBest * 1000, putBest / uploadBest);
    std::printf("server memory: idle %.1f MiB, peak %.1f MiB = %.2f x the file (goal <= 3), growth %.2f x\n", MiB(idle),
                MiB(peak), static_cast<double>(peak) / size, static_cast<double>(peak - std::min(peak, idle)) / size);
    return 0;
}
