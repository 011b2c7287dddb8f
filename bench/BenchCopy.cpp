// Copy of many small files between a PC folder and a phone through the
// server's file operation, against a baseline in the same run that moves the
// same bytes one file at a time through DownloadVFSFile and UploadVFSFile, as
// a client without the copy engines would. The engines add the shell's copy
// through a scratch or mirror folder; goal: at most 1.5 times the baseline.
//
//   bench_copy [FILES [KIB [ROUNDS]]]   FILES files (default 200) of KIB KiB (default 64), ROUNDS (default 3)
//
// Runs under Xvfb with the server and the suite registered and no server
// running yet (the server reads the mirror root, set here for the run, once).
#include "BenchSupport.h"
#include "BenchTiming.h"

#include "common/ByteArray.h"
#include "common/ComPtr.h"
#include "common/FileTree.h"
#include "common/Resource.h"
#include "fileops/FileOperationRequest.h"

#include <PhoneComponents.h>
#include <SimPhoneSuite.h>
#include <ZentrelQuelvar.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using bench::Check;
using bench::Now;

const wchar_t kAlias[] = L"BenchCopy";
const wchar_t kServerExe[] = L"ZentrelQuelvar.exe";
constexpr DATE kModified = 45000.5;
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;

std::wstring FileName(int index)
{
    wchar_t name[16];
    swprintf(name, 16, L"f%03d.bin", index);
    return name;
}

class Bench
{
public:
    bool SetUp(int files, size_t bytes)
    {
        if (!bench::NoServerRunning(kServerExe))
            return false;
        mirrorRoot_ = bench::MakeTempFolder(L"BenchCopyMirror");
        pc_ = bench::MakeTempFolder(L"BenchCopyPc");
        // Xvfb has no window manager, and Wine waits 2 s for one whenever a window
        // closes: each transfer would pay that for its dialog, which no desktop does.
        if (!managed_.Set(L"N") || !mirrorRootValue_.Set(mirrorRoot_))
            return false;
        if (!phone_.SetUp(L"BenchCopyStore", kAlias, L"350000000000113"))
            return false;
        files_ = files;
        content_.resize(bytes);
        for (size_t i = 0; i < bytes; ++i)
            content_[i] = static_cast<unsigned char>(i * 13 + (i >> 9));
        unique_variant data;
        if (!Check(MakeByteArray(content_, data.put()), "MakeByteArray"))
            return false;
        for (int i = 0; i < files; ++i) {
            if (!Check(phone_->PutFile(Phone(L"src\\" + FileName(i)).get(), *data.get(), kModified), "PutFile"))
                return false;
        }
        if (!Check(CoCreateInstance(CLSID_Quelvar, nullptr, CLSCTX_LOCAL_SERVER, IID_IQuelvar, quelvar_.put_void()),
                   "server"))
            return false;
        memory_ = mirrorRoot_ + L"\\" + kAlias + L"\\Phone memory (C)";
        return Check(quelvar_->RefreshFolder(Bstr(mirrorRoot_ + L"\\" + kAlias).get(), VARIANT_FALSE), "refresh") &&
               Refresh(memory_) && Refresh(memory_ + L"\\src");
    }

    ~Bench()
    {
        if (quelvar_)
            quelvar_->Terminate();
        quelvar_.reset();
        for (const std::wstring& folder : {mirrorRoot_, pc_}) {
            if (!folder.empty())
                RemoveFolderTree(folder);
        }
    }

    struct Figures {
        double baseDownload, copyDown, baseUpload, copyUp;
    };

    // Each direction's baseline right before its engine, into folders of
    // their own so that nothing is up to date or asks before replacing.
    bool Round(int round, Figures& figures)
    {
        const std::wstring tag = std::to_wstring(round);
        const std::wstring base = pc_ + L"\\base" + tag, copied = pc_ + L"\\copy" + tag;
        CreateDirectoryW(base.c_str(), nullptr);
        double start = Now();
        for (int i = 0; i < files_; ++i) {
            unique_variant received;
            if (!Check(quelvar_->DownloadVFSFile(Bstr(memory_ + L"\\src\\" + FileName(i) + L".vfslnk").get(), i, files_,
                                                 0, 0, received.put()),
                       "DownloadVFSFile") ||
                !Write(base + L"\\" + FileName(i), *received.get()))
                return false;
        }
        figures.baseDownload = Now() - start;

        std::vector<std::wstring> sources;
        for (int i = 0; i < files_; ++i)
            sources.push_back(memory_ + L"\\src\\" + FileName(i) + L".vfslnk");
        start = Now();
        if (!Copy(sources, copied))
            return false;
        figures.copyDown = Now() - start;
        if (!SameFiles(copied))
            return false;

        const std::wstring upBase = L"up-base" + tag, upCopy = L"up-copy" + tag;
        if (!Check(phone_->MakeFolder(Phone(upBase).get()), "MakeFolder") ||
            !Check(phone_->MakeFolder(Phone(upCopy).get()), "MakeFolder") || !Refresh(memory_))
            return false;
        start = Now();
        for (int i = 0; i < files_; ++i) {
            unique_variant data;
            MakeByteArray(content_, data.put());
            const std::wstring target = memory_ + L"\\" + upBase + L"\\" + FileName(i);
            if (!Check(quelvar_->UploadVFSFile(*data.get(), Bstr(target).get(), static_cast<LONG>(content_.size()),
                                               kModified, 0),
                       "UploadVFSFile"))
                return false;
        }
        figures.baseUpload = Now() - start;

        sources.clear();
        for (int i = 0; i < files_; ++i)
            sources.push_back(base + L"\\" + FileName(i));
        start = Now();
        if (!Copy(sources, memory_ + L"\\" + upCopy))
            return false;
        figures.copyUp = Now() - start;
        unique_variant last;
        if (!Check(phone_->GetFile(Phone(upCopy + L"\\" + FileName(files_ - 1)).get(), last.put()), "GetFile"))
            return false;
        std::vector<unsigned char> got;
        ReadByteArray(*last.get(), got);
        return got == content_ || (std::printf("the uploaded bytes differ\n"), false);
    }

private:
    static unique_bstr Bstr(const std::wstring& text) { return unique_bstr(text.c_str()); }
    static unique_bstr Phone(const std::wstring& path)
    {
        return Bstr(std::wstring(L"ALIAS:") + kAlias + L"\\C:\\" + path);
    }
    bool Refresh(const std::wstring& folder)
    {
        return Check(quelvar_->RefreshFolder(Bstr(folder).get(), VARIANT_TRUE), "RefreshFolder");
    }
    // Code 12: the copy runs on the server's thread during the call.
    bool Copy(const std::vector<std::wstring>& sources, const std::wstring& target)
    {
        unique_variant request;
        return Check(fileops::FileOperationRequest::Encode(nullptr, fileops::kOperationCopy, kQuiet, sources, {target},
                                                           L"", request.put()),
                     "Encode") &&
               Check(quelvar_->SHFileOperation(*request.get()), "SHFileOperation");
    }
    static bool Write(const std::wstring& path, const VARIANT& data)
    {
        std::vector<unsigned char> bytes;
        ReadByteArray(data, bytes);
        unique_file file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    bool SameFiles(const std::wstring& folder) const
    {
        for (int i = 0; i < files_; ++i) {
            std::vector<unsigned char> bytes(content_.size() + 1);
            unique_file file(CreateFileW((folder + L"\\" + FileName(i)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
            DWORD read = 0;
            if (!file || !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                read != content_.size() || !std::equal(content_.begin(), content_.end(), bytes.begin())) {
                std::printf("the copied bytes of %ls differ\n", FileName(i).c_str());
                return false;
            }
        }
        return true;
    }

    bench::BenchPhone phone_;
    com_ptr<IQuelvar> quelvar_;
    int files_ = 0;
    std::vector<unsigned char> content_;
    std::wstring mirrorRoot_, pc_, memory_;
    bench::SavedValue mirrorRootValue_{L"Software\\Marlith\\DataLayer", L"Root"};
    bench::SavedValue managed_{L"Software\\Wine\\X11 Driver", L"Managed"};
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int files = argc > 1 ? _wtoi(argv[1]) : 200;
    const int kib = argc > 2 ? _wtoi(argv[2]) : 64;
    const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    if (files <= 0 || files > 999 || kib <= 0 || kib > 16384) {
        std::printf("usage: bench_copy [FILES [KIB [ROUNDS]]]\n");
        return 2;
    }
    com_apartment apartment;
    if (!Check(apartment.result(), "CoInitializeEx"))
        return 1;
    Bench bench;
    if (!bench.SetUp(files, static_cast<size_t>(kib) * 1024))
        return 1;
    std::vector<double> down, up, copyDown, copyUp, baseDown, baseUp;
    for (int round = 0; round < rounds; ++round) {
        Bench::Figures f{};
        if (!bench.Round(round, f))
            return 1;
        std::printf("round %d: to the PC %7.1f ms, baseline %7.1f ms (%4.2f x); to the phone %7.1f ms, baseline "
                    "%7.1f ms (%4.2f x)\n",
                    round + 1, f.copyDown * 1000, f.baseDownload * 1000, f.copyDown / f.baseDownload, f.copyUp * 1000,
                    f.baseUpload * 1000, f.copyUp / f.baseUpload);
        std::fflush(stdout);
        down.push_back(f.copyDown / f.baseDownload);
        up.push_back(f.copyUp / f.baseUpload);
        copyDown.push_back(f.copyDown);
        copyUp.push_back(f.copyUp);
        baseDown.push_back(f.baseDownload);
        baseUp.push_back(f.baseUpload);
    }
    std::printf("%d files of %d KiB, %d rounds: median copy / baseline to the PC %4.2f, to the phone %4.2f "
                "(goal <= 1.5)\n",
                files, kib, rounds, Median(down), Median(up));
    bench::Result("copy engine, phone to PC", Median(copyDown), "DownloadVFSFile per file", Median(baseDown),
                  Median(down), "<= 1.5");
    bench::Result("copy engine, PC to phone", Median(copyUp), "UploadVFSFile per file", Median(baseUp), Median(up),
                  "<= 1.5");
    return 0;
}
