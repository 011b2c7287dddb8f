// Download and upload of one large file through the server and ObexPhones.exe
// against an OBEX FTP server, beside the native command-line client fetching and
// sending the same file from the same server in the same run (scripts/bench.sh
// times it and passes the times in). Goal: at least half the native throughput.
//
//   bench_obex ALIAS SERVED_FOLDER FILE NATIVE_GET_MS NATIVE_PUT_MS [ROUNDS]
//
// ALIAS is a phone configured in ObexPhones.exe (registered in place of the
// simulated suite) at the server's address; SERVED_FOLDER the folder it serves,
// as this program sees it; FILE a file in it. No server may run yet: it reads
// the mirror root, which this program sets for the run, once per process.
#include "BenchSupport.h"
#include "BenchTiming.h"

#include "common/ByteArray.h"
#include "common/ComPtr.h"
#include "common/FileTree.h"
#include "common/Resource.h"

#include <ZentrelQuelvar.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using bench::Check;
using bench::Now;
using bench::SavedValue;

constexpr DATE kModified = 45000.5;

bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

bool SameBytes(const VARIANT& value, const std::vector<unsigned char>& expected)
{
    std::vector<unsigned char> got;
    if (SUCCEEDED(ReadByteArray(value, got)) && got == expected)
        return true;
    std::printf("the bytes that arrived differ from the file's\n");
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 6 || argc > 7) {
        std::printf("usage: bench_obex ALIAS SERVED_FOLDER FILE NATIVE_GET_MS NATIVE_PUT_MS [ROUNDS]\n");
        return 2;
    }
    const std::wstring alias = argv[1], served = argv[2], file = argv[3];
    const double nativeGet = _wtof(argv[4]) / 1000, nativePut = _wtof(argv[5]) / 1000;
    const int rounds = argc > 6 ? std::max(1, _wtoi(argv[6])) : 3;
    std::vector<unsigned char> content;
    if (nativeGet <= 0 || nativePut <= 0 || !ReadWholeFile(served + L"\\" + file, content) || content.empty()) {
        std::printf("no native times or no file %ls in %ls\n", file.c_str(), served.c_str());
        return 2;
    }
    com_apartment apartment;
    if (!Check(apartment.result(), "CoInitializeEx") || !bench::NoServerRunning(L"ZentrelQuelvar.exe"))
        return 1;
    const std::wstring mirrorRoot = bench::MakeTempFolder(L"BenchObexMirror");
    SavedValue mirrorRootValue{L"Software\\Marlith\\DataLayer", L"Root"};
    // Without a window manager Wine waits 2 s for one whenever the dialog closes.
    SavedValue managed{L"Software\\Wine\\X11 Driver", L"Managed"};
    unique_variant data;
    if (!mirrorRootValue.Set(mirrorRoot) || !managed.Set(L"N") || !Check(MakeByteArray(content, data.put()), "array"))
        return 1;

    com_ptr<IQuelvar> quelvar;
    if (!Check(CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar.put_void()),
               "server"))
        return 1;
    const std::wstring memory = mirrorRoot + L"\\" + alias + L"\\Phone memory (C)";
    const std::wstring link = memory + L"\\" + file + L".vfslnk";
    bool ok = Check(quelvar->RefreshFolder(unique_bstr((mirrorRoot + L"\\" + alias).c_str()).get(), VARIANT_FALSE),
                    "refresh") &&
              Check(quelvar->RefreshFolder(unique_bstr(memory.c_str()).get(), VARIANT_TRUE), "refresh");
    double download = 1e30, upload = 1e30;
    for (int round = 1; ok && round <= rounds; ++round) {
        unique_variant received;
        double start = Now();
        ok = Check(quelvar->DownloadVFSFile(unique_bstr(link.c_str()).get(), 0, 1, 0, 0, received.put()),
                   "DownloadVFSFile") &&
             SameBytes(*received.get(), content);
        const double down = Now() - start;
        // A new name each round: the server may keep an old file over a PUT.
        const std::wstring name = L"uploaded-" + std::to_wstring(round) + L".bin";
        start = Now();
        ok = ok && Check(quelvar->UploadVFSFile(*data.get(), unique_bstr((memory + L"\\" + name).c_str()).get(),
                                                static_cast<LONG>(content.size()), kModified, 0),
                         "UploadVFSFile");
        const double up = Now() - start;
        std::vector<unsigned char> landed;
        if (ok && (!ReadWholeFile(served + L"\\" + name, landed) || landed != content)) {
            std::printf("the uploaded file on the server's disk differs\n");
            ok = false;
        }
        if (ok) {
            std::printf("round %d: download %7.1f ms, upload %7.1f ms\n", round, down * 1000, up * 1000);
            std::fflush(stdout);
            download = std::min(download, down);
            upload = std::min(upload, up);
        }
    }
    quelvar->Terminate();
    quelvar.reset();
    RemoveFolderTree(mirrorRoot);
    if (!ok)
        return 1;
    const double size = static_cast<double>(content.size());
    std::printf("native client: get %7.1f ms (%5.1f MB/s), put %7.1f ms (%5.1f MB/s)\n", nativeGet * 1000,
                size / nativeGet / 1e6, nativePut * 1000, size / nativePut / 1e6);
    std::printf("server:        download %7.1f ms (%5.1f MB/s), upload %7.1f ms (%5.1f MB/s)\n", download * 1000,
                size / download / 1e6, upload * 1000, size / upload / 1e6);
    const std::string mib = std::to_string(content.size() >> 20) + " MiB";
    bench::Result(("OBEX download " + mib + " (ratio: native / server)").c_str(), download, "native client get",
                  nativeGet, nativeGet / download, ">= 0.5");
    bench::Result(("OBEX upload " + mib + " (ratio: native / server)").c_str(), upload, "native client put", nativePut,
                  nativePut / upload, ">= 0.5");
    return 0;
}
