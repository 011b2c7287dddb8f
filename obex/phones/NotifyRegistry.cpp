#include "NotifyRegistry.h"

#include "PhoneConfig.h"
#include "PhoneLink.h"
#include "SuiteErrors.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "common/Trace.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace obex {
namespace {

constexpr HRESULT kUnknownCookie = E_INVALIDARG;

// The sinks of the process, kept in the global interface table so that the
// watcher thread calls each through a proxy of its own apartment.
class Watcher
{
public:
    static Watcher& Instance()
    {
        static Watcher watcher;
        return watcher;
    }

    HRESULT Add(IUnknown* sink, LONG& cookie)
    {
        cookie = 0;
        if (!sink)
            return E_POINTER;
        com_ptr<IDeviceNotifySink> notifySink;
        HRESULT hr = sink->QueryInterface(__uuidof(IDeviceNotifySink), notifySink.put_void());
        if (FAILED(hr))
            return hr;
        com_ptr<IGlobalInterfaceTable> table;
        hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                              table.put_void());
        if (FAILED(hr))
            return hr;
        DWORD tableCookie = 0;
        hr = table->RegisterInterfaceInGlobal(notifySink.get(), __uuidof(IDeviceNotifySink), &tableCookie);
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> lock(mutex_);
        cookie = ++lastCookie_;
        sinks_.emplace(cookie, Sink{tableCookie, ModuleLock()});
        if (!running_) {
            running_ = true;
            // The watcher ends by itself once the last sink is gone.
            std::thread(&Watcher::Watch, this).detach();
        }
        return S_OK;
    }

    HRESULT Remove(LONG cookie)
    {
        DWORD tableCookie = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto found = sinks_.find(cookie);
            if (found == sinks_.end())
                return kUnknownCookie;
            tableCookie = found->second.tableCookie;
            sinks_.erase(found);
        }
        Revoke(tableCookie);
        return S_OK;
    }

private:
    struct Sink {
        DWORD tableCookie;
        ModuleLock lock; // a registered sink keeps the process
    };

    static void Revoke(DWORD tableCookie)
    {
        com_ptr<IGlobalInterfaceTable> table;
        if (SUCCEEDED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IGlobalInterfaceTable, table.put_void())))
            table->RevokeInterfaceFromGlobal(tableCookie);
    }

    void Watch()
    {
        com_apartment apartment(COINIT_MULTITHREADED);
        ModuleLock running;
        // What the sinks were last told, by alias, with the phone's IMEI: the root
        // listing the server read first already told it which phones answer.
        std::map<std::wstring, std::pair<bool, std::wstring>> told;
        std::vector<PhoneEntry> phones;
        PhoneConfig().List(phones);
        for (const PhoneEntry& phone : phones)
            told[phone.alias] = {LinkOf(phone)->LastKnown() == 1, phone.imei};
        for (;;) {
            PhoneConfig().List(phones);
            // A phone renamed or removed while it answered goes under its old name first.
            for (const auto& [alias, state] : told) {
                const auto stays = std::find_if(phones.begin(), phones.end(),
                                                [&](const PhoneEntry& phone) { return phone.alias == alias; });
                if (state.first && stays == phones.end())
                    Notify(false, state.second, alias);
            }
            std::map<std::wstring, std::pair<bool, std::wstring>> now;
            for (const PhoneEntry& phone : phones) {
                const bool answering = LinkOf(phone)->Answering();
                now[phone.alias] = {answering, phone.imei};
                // A phone configured since the watcher started was never told.
                const auto before = told.find(phone.alias);
                if (answering != (before != told.end() && before->second.first)) {
                    QTRACE(L"(): %ls %ls\n", phone.alias.c_str(), answering ? L"answers" : L"no longer answers");
                    Notify(answering, phone.imei, phone.alias);
                }
            }
            told = std::move(now);
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait_for(lock, std::chrono::milliseconds(kWatchIntervalMs));
                if (sinks_.empty()) {
                    running_ = false;
                    return;
                }
            }
        }
    }

    void Notify(bool connected, const std::wstring& imeiText, const std::wstring& aliasText)
    {
        std::vector<std::pair<LONG, DWORD>> sinks;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& entry : sinks_)
                sinks.emplace_back(entry.first, entry.second.tableCookie);
        }
        com_ptr<IGlobalInterfaceTable> table;
        if (FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IGlobalInterfaceTable, table.put_void())))
            return;
        const unique_bstr imei(imeiText.c_str());
        const unique_bstr alias(aliasText.c_str());
        for (const auto& [cookie, tableCookie] : sinks) {
            com_ptr<IDeviceNotifySink> sink;
            if (FAILED(table->GetInterfaceFromGlobal(tableCookie, __uuidof(IDeviceNotifySink), sink.put_void())))
                continue;
            const HRESULT hr = connected ? sink->DeviceConnect(imei.get(), alias.get())
                                         : sink->DeviceDisconnect(imei.get(), alias.get());
            // A sink whose process has gone hears nothing more.
            if (hr == static_cast<HRESULT>(0x800706BA) || hr == static_cast<HRESULT>(0x800706BF))
                Remove(cookie);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<LONG, Sink> sinks_;
    LONG lastCookie_ = 0;
    bool running_ = false;
};

} // namespace

STDMETHODIMP NotifyRegistry::Add(IUnknown* sink, LONG* cookie)
{
    if (!cookie)
        return E_POINTER;
    const HRESULT hr = Watcher::Instance().Add(sink, *cookie);
    QTRACE(L"Add -> 0x%08lX, cookie %ld\n", static_cast<unsigned long>(hr), *cookie);
    return hr;
}

STDMETHODIMP NotifyRegistry::Remove(LONG cookie)
{
    return Watcher::Instance().Remove(cookie);
}

} // namespace obex
