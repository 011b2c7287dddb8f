// Set-up shared by the timing programs that drive the server and the suite:
// scratch folders, finding a process, registry values set for one run.
#pragma once

#include "BenchTiming.h"

#include "common/ComPtr.h"
#include "common/FileTree.h"
#include "common/Resource.h"

#include <SimPhoneSuite.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

namespace bench {

inline std::wstring MakeTempFolder(const wchar_t* prefix)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

inline DWORD FindProcess(const wchar_t* exeName)
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

// True when no server runs, after giving one that is ending (as after the last
// run) a few seconds: a running server keeps the mirror root it read.
inline bool NoServerRunning(const wchar_t* exeName)
{
    for (int wait = 0; wait < 300 && FindProcess(exeName); ++wait)
        Sleep(100);
    if (!FindProcess(exeName))
        return true;
    std::printf("a server is running already: end it first (it keeps the mirror root it read)\n");
    return false;
}

// A string value of HKEY_CURRENT_USER set for the run and put back afterwards.
class SavedValue
{
public:
    SavedValue(const wchar_t* key, const wchar_t* name) : key_(key), name_(name) {}
    ~SavedValue()
    {
        if (!set_)
            return;
        unique_hkey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key_, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS)
            return;
        if (had_)
            Write(key.get(), previous_);
        else
            RegDeleteValueW(key.get(), name_);
    }
    bool Set(const std::wstring& value)
    {
        unique_hkey key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key_, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                            nullptr) != ERROR_SUCCESS)
            return false;
        wchar_t buffer[MAX_PATH] = {};
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        had_ = RegQueryValueExW(key.get(), name_, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
               ERROR_SUCCESS;
        previous_ = buffer;
        set_ = Write(key.get(), value);
        return set_;
    }

private:
    bool Write(HKEY key, const std::wstring& value)
    {
        return RegSetValueExW(key, name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    const wchar_t* key_;
    const wchar_t* name_;
    std::wstring previous_;
    bool had_ = false;
    bool set_ = false;
};

// The simulated suite with a store of the run's own, the machine's put back
// afterwards, holding one connected phone with a large memory C. Set up after
// the run's mirror root is named: the phone's "IMEI" marker lands in the root
// of the moment it connects, and without it the server cannot tell which phone
// a mirror folder belongs to (a copy to the phone then asks about free memory).
class BenchPhone
{
public:
    BenchPhone() = default;
    BenchPhone(const BenchPhone&) = delete;
    BenchPhone& operator=(const BenchPhone&) = delete;
    ~BenchPhone()
    {
        if (control_)
            control_->SetStore(unique_bstr(previousStore_.c_str()).get());
        if (!store_.empty())
            RemoveFolderTree(store_);
    }

    bool SetUp(const wchar_t* storePrefix, const wchar_t* alias, const wchar_t* imei)
    {
        if (!Check(CoCreateInstance(CLSID_SimPhoneSuite, nullptr, CLSCTX_LOCAL_SERVER, IID_ISimPhoneSuite,
                                    control_.put_void()),
                   "suite control (run the tests once to register the suite)"))
            return false;
        unique_bstr previous;
        control_->GetStore(previous.put());
        previousStore_ = previous.c_str();
        store_ = MakeTempFolder(storePrefix);
        return Check(control_->SetStore(unique_bstr(store_.c_str()).get()), "SetStore") &&
               Check(
                   control_->AddPhone(unique_bstr(alias).get(), unique_bstr(imei).get(), unique_bstr(L"OS-200").get()),
                   "AddPhone") &&
               Check(control_->AddMemory(unique_bstr(alias).get(), unique_bstr(L"C").get(),
                                         unique_bstr(L"Phone memory").get(), unique_bstr(L"PHONE").get(), 1e12),
                     "AddMemory") &&
               Check(control_->ConnectPhone(unique_bstr(alias).get()), "ConnectPhone");
    }

    ISimPhoneSuite* operator->() const { return control_.get(); }
    const std::wstring& Store() const { return store_; }

private:
    com_ptr<ISimPhoneSuite> control_;
    std::wstring previousStore_, store_;
};

} // namespace bench
