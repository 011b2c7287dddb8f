// simphone: the command-line front end of the simulated phone suite.
#include "SimPhoneSuite.h"
#include "StoreNames.h"
#include "common/ComPtr.h"
#include "common/ByteArray.h"
#include "common/Resource.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kUsage[] =
    L"Usage: simphone [-x] COMMAND ARGUMENTS\n"
    L"  store [FOLDER]                            show or set the store folder\n"
    L"  add ALIAS IMEI MODEL                      add a phone (disconnected, no memories)\n"
    L"  memory ALIAS DRIVE LABEL MEMTYPE QUOTA    add a memory, e.g. memory P1 C \"Phone memory\" PHONE 1000000\n"
    L"  remove ALIAS                              remove a phone with everything on it\n"
    L"  connect ALIAS | disconnect ALIAS          change the state and notify the registered sinks\n"
    L"  put PHONEPATH PCFILE [TIME]               copy a PC file onto a phone (folders made as needed)\n"
    L"  puttext PHONEPATH TEXT [TIME]             write a text (UTF-8) as a phone file\n"
    L"  get PHONEPATH PCFILE                      copy a phone file to the PC\n"
    L"  mkdir PHONEPATH                           make a phone folder (and its parents)\n"
    L"  delay MILLISECONDS                        pause before each transfer chunk\n"
    L"  chunk BYTES                               bytes per transfer chunk (default 65536)\n"
    L"  fault OPERATION CODE COUNT                the next COUNT calls of OPERATION fail with CODE\n"
    L"  listing PHONEPATH [PCFILE]                readdir of PHONEPATH (PATH\\* and below) answers the\n"
    L"                                            file's text (UTF-16 with BOM or UTF-8) until clear-faults\n"
    L"  clear-faults                              remove every injected fault, crafted listing and chaos\n"
    L"  chaos SEED PERMILLE | chaos off | chaos   random faults of phone calls; prints what was injected\n"
    L"  sync-pace MILLISECONDS ONGOING [keep]     the data layer's pace: interval and ONGOING count\n"
    L"  models PRODUCT MODEL[,MODEL...]           set the supported models of a product\n"
    L"  model-value MODEL KEY VALUE               set a value of a model\n"
    L"  list                                      list the phones\n"
    L"  kill                                      end the suite process at once\n"
    L"Phone paths: ALIAS:name\\C:\\folder\\file. TIME: \"YYYY-MM-DD HH:MM:SS\" (local time).\n"
    L"With -x, %XX in aliases and phone paths stands for the character with that code.\n";

class UsageError
{
};

HRESULT Fail(HRESULT hr, const wchar_t* what)
{
    fwprintf(stderr, L"simphone: %ls failed: HRESULT 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return hr;
}

HRESULT ParseTime(const std::wstring& text, DATE& time)
{
    std::wstring copy = text;
    return VarDateFromStr(&copy[0], LOCALE_USER_DEFAULT, 0, &time);
}

HRESULT ReadPcFile(const std::wstring& path, std::vector<unsigned char>& bytes, DATE& modified)
{
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return HRESULT_FROM_WIN32(GetLastError());
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF)
        return E_FAIL;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    FILETIME utc;
    FILETIME local;
    SYSTEMTIME calendar;
    modified = 0;
    if (GetFileTime(file.get(), nullptr, nullptr, &utc) && FileTimeToLocalFileTime(&utc, &local) &&
        FileTimeToSystemTime(&local, &calendar)) {
        calendar.wMilliseconds = 0;
        SystemTimeToVariantTime(&calendar, &modified);
    }
    return S_OK;
}

class Cli
{
public:
    Cli(ISimPhoneSuite* suite, bool escaped) : suite_(suite), escaped_(escaped) {}

    HRESULT Run(const std::vector<std::wstring>& args)
    {
        if (args.empty())
            throw UsageError();
        const std::wstring& command = args[0];
        auto need = [&](size_t minimum, size_t maximum) {
            if (args.size() - 1 < minimum || args.size() - 1 > maximum)
                throw UsageError();
        };
        if (command == L"store") {
            need(0, 1);
            if (args.size() == 2)
                return Check(suite_->SetStore(Bstr(args[1]).get()), L"store");
            unique_bstr folder;
            HRESULT hr = suite_->GetStore(folder.put());
            if (FAILED(hr))
                return Fail(hr, L"store");
            wprintf(L"%ls\n", folder.c_str());
            return S_OK;
        }
        if (command == L"add") {
            need(3, 3);
            return Check(suite_->AddPhone(Name(args[1]).get(), Bstr(args[2]).get(), Bstr(args[3]).get()), L"add");
        }
        if (command == L"memory") {
            need(5, 5);
            wchar_t* end = nullptr;
            double quota = wcstod(args[5].c_str(), &end);
            if (!end || *end)
                throw UsageError();
            return Check(suite_->AddMemory(Name(args[1]).get(), Bstr(args[2]).get(), Bstr(args[3]).get(),
                                           Bstr(args[4]).get(), quota),
                         L"memory");
        }
        if (command == L"remove") {
            need(1, 1);
            return Check(suite_->RemovePhone(Name(args[1]).get()), L"remove");
        }
        if (command == L"connect" || command == L"disconnect") {
            need(1, 1);
            unique_bstr alias = Name(args[1]);
            return Check(command == L"connect" ? suite_->ConnectPhone(alias.get())
                                               : suite_->DisconnectPhone(alias.get()),
                         command.c_str());
        }
        if (command == L"put" || command == L"puttext") {
            need(2, 3);
            std::vector<unsigned char> bytes;
            DATE modified = 0;
            unique_variant data;
            if (command == L"put") {
                HRESULT hr = ReadPcFile(args[2], bytes, modified);
                if (FAILED(hr))
                    return Fail(hr, L"reading the PC file");
                hr = MakeByteArray(bytes, data.put());
                if (FAILED(hr))
                    return Fail(hr, L"put");
            } else {
                VARIANT* value = data.put();
                value->vt = VT_BSTR;
                value->bstrVal = SysAllocString(args[2].c_str());
            }
            if (args.size() == 4) {
                HRESULT hr = ParseTime(args[3], modified);
                if (FAILED(hr))
                    return Fail(hr, L"reading the time");
            }
            return Check(suite_->PutFile(Name(args[1]).get(), *data.get(), modified), command.c_str());
        }
        if (command == L"get") {
            need(2, 2);
            unique_variant data;
            HRESULT hr = suite_->GetFile(Name(args[1]).get(), data.get());
            if (FAILED(hr))
                return Fail(hr, L"get");
            return WritePcFile(args[2], *data.get());
        }
        if (command == L"mkdir") {
            need(1, 1);
            return Check(suite_->MakeFolder(Name(args[1]).get()), L"mkdir");
        }
        if (command == L"delay" || command == L"chunk") {
            need(1, 1);
            long value = Number(args[1]);
            return Check(command == L"delay" ? suite_->SetTransferDelay(value) : suite_->SetChunkSize(value),
                         command.c_str());
        }
        if (command == L"fault") {
            need(3, 3);
            return Check(suite_->SetFault(Bstr(args[1]).get(), Number(args[2]), Number(args[3])), L"fault");
        }
        if (command == L"chaos") {
            need(0, 2);
            HRESULT hr = S_OK;
            if (args.size() == 3)
                hr = suite_->SetFault(Bstr(L"Chaos").get(), Number(args[1]), Number(args[2]));
            else if (args.size() == 2 && args[1] == L"off")
                hr = suite_->SetFault(Bstr(L"Chaos").get(), 0, 0);
            else if (args.size() == 2)
                throw UsageError();
            if (FAILED(hr))
                return Fail(hr, L"chaos");
            unique_bstr record;
            hr = suite_->TakeLastCall(Bstr(L"Chaos").get(), record.put());
            if (FAILED(hr))
                return Fail(hr, L"chaos");
            wprintf(L"chaos %ls\n", hr == S_OK ? record.c_str() : L"never started");
            return S_OK;
        }
        if (command == L"sync-pace") {
            need(2, 3);
            com_ptr<ISimDataLayer> dataLayer;
            HRESULT hr = suite_->QueryInterface(IID_ISimDataLayer, dataLayer.put_void());
            if (SUCCEEDED(hr))
                hr = dataLayer->SetSyncPace(Number(args[1]), Number(args[2]),
                                            args.size() > 3 && args[3] == L"keep" ? VARIANT_TRUE : VARIANT_FALSE);
            return Check(hr, L"sync-pace");
        }
        if (command == L"listing") {
            need(1, 2);
            return Check(suite_->SetListing(Name(args[1]).get(), Bstr(args.size() > 2 ? args[2] : L"").get()),
                         L"listing");
        }
        if (command == L"clear-faults") {
            need(0, 0);
            return Check(suite_->ClearFaults(), L"clear-faults");
        }
        if (command == L"models") {
            need(2, 2);
            return Check(suite_->SetModelList(Bstr(args[1]).get(), Bstr(args[2]).get()), L"models");
        }
        if (command == L"model-value") {
            need(3, 3);
            return Check(suite_->SetModelValue(Bstr(args[1]).get(), Bstr(args[2]).get(), Bstr(args[3]).get()),
                         L"model-value");
        }
        if (command == L"list") {
            need(0, 0);
            unique_bstr listing;
            HRESULT hr = suite_->ListPhones(listing.put());
            if (FAILED(hr))
                return Fail(hr, L"list");
            wprintf(L"%ls", listing.c_str());
            return S_OK;
        }
        if (command == L"kill") {
            need(0, 0);
            return Kill();
        }
        throw UsageError();
    }

private:
    static unique_bstr Bstr(const std::wstring& text)
    {
        return unique_bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    }
    unique_bstr Name(const std::wstring& text) const { return Bstr(escaped_ ? store_names::UnescapeName(text) : text); }
    static long Number(const std::wstring& text)
    {
        wchar_t* end = nullptr;
        // Accepts decimal and 0x-prefixed codes such as 0x80044343.
        unsigned long long value = wcstoull(text.c_str(), &end, 0);
        bool negative = !text.empty() && text[0] == L'-';
        if (text.empty() || !end || *end)
            throw UsageError();
        if (negative)
            return static_cast<long>(wcstol(text.c_str(), nullptr, 0));
        return static_cast<long>(static_cast<unsigned long>(value));
    }
    static HRESULT Check(HRESULT hr, const wchar_t* what) { return FAILED(hr) ? Fail(hr, what) : S_OK; }

    static HRESULT WritePcFile(const std::wstring& path, const VARIANT& data)
    {
        std::vector<unsigned char> bytes;
        HRESULT hr = ReadByteArray(data, bytes);
        if (FAILED(hr))
            return Fail(hr, L"get");
        unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file)
            return Fail(HRESULT_FROM_WIN32(GetLastError()), L"writing the PC file");
        DWORD written = 0;
        BOOL ok =
            bytes.empty() || WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        return ok ? S_OK : Fail(HRESULT_FROM_WIN32(GetLastError()), L"writing the PC file");
    }

    HRESULT Kill()
    {
        LONG processId = 0;
        HRESULT hr = suite_->Kill(&processId);
        if (FAILED(hr))
            return Fail(hr, L"kill");
        unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId)));
        if (process && WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0)
            return Fail(HRESULT_FROM_WIN32(WAIT_TIMEOUT), L"kill");
        return S_OK;
    }

    ISimPhoneSuite* suite_;
    bool escaped_;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::wstring> args(argv + 1, argv + argc);
    bool escaped = false;
    if (!args.empty() && args[0] == L"-x") {
        escaped = true;
        args.erase(args.begin());
    }
    if (args.empty() || args[0] == L"-h" || args[0] == L"--help" || args[0] == L"/?") {
        fwprintf(args.empty() ? stderr : stdout, L"%ls", kUsage);
        return args.empty() ? 2 : 0;
    }
    com_apartment apartment(COINIT_APARTMENTTHREADED);
    if (FAILED(apartment.result())) {
        Fail(apartment.result(), L"CoInitializeEx");
        return 1;
    }
    com_ptr<ISimPhoneSuite> suite;
    // A suite that is just ending (each command is a client of its own, and the
    // suite ends soon after the last) can fail a creation that reached it a
    // moment before: asked again, a new suite starts.
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < 5; ++attempt) {
        hr = CoCreateInstance(CLSID_SimPhoneSuite, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(ISimPhoneSuite),
                              suite.put_void());
        if (SUCCEEDED(hr) || hr == REGDB_E_CLASSNOTREG)
            break;
        Sleep(1000);
    }
    if (FAILED(hr)) {
        Fail(hr, L"starting the suite");
        return 1;
    }
    try {
        hr = Cli(suite.get(), escaped).Run(args);
    } catch (const UsageError&) {
        fwprintf(stderr, L"%ls", kUsage);
        return 2;
    }
    return FAILED(hr) ? 1 : 0;
}
