#include "PhoneFileSystem.h"

#include "common/ErrorFlow.h"
#include "common/Trace.h"

namespace phone {

HRESULT MapResult(HRESULT raw)
{
    if (raw == S_OK)
        return S_OK;
    if (raw == kComponentGone)
        return kComponentGone;
    WORD code = static_cast<WORD>(raw & 0xFFFF);
    if (code == kCancelCode)
        return E_ABORT;
    return static_cast<HRESULT>(0x80040000u | code);
}

bool ComponentDied(HRESULT raw)
{
    switch (static_cast<unsigned long>(raw)) {
    case 0x800706BAul: // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BEul: // RPC_S_CALL_FAILED
    case 0x800706BFul: // RPC_S_CALL_FAILED_DNE
    case 0x80010108ul: // RPC_E_DISCONNECTED
    case 0x80010007ul: // RPC_E_SERVER_DIED
    case 0x80010012ul: // RPC_E_SERVER_DIED_DNE
        return true;
    default:
        return false;
    }
}

HRESULT CreateComponent(com_ptr<IVirtualFileSystem>& component)
{
    return CoCreateInstance(CLSID_VirtualFileSystem, nullptr, CLSCTX_ALL, IID_IVirtualFileSystem, component.put_void());
}

HRESULT PhoneFileSystem::Create(ComponentOwner* owner, PhoneFileSystem& made)
{
    // Taken before the instance is made: an instance that may come from a
    // connection replaced meanwhile never counts as the newer one.
    const long generation = owner ? owner->ComponentGeneration() : 0;
    com_ptr<IVirtualFileSystem> component;
    const HRESULT hr = owner ? owner->NewComponent(component) : CreateComponent(component);
    if (FAILED(hr)) {
        QTRACE(L"(): pVFS.CoCreateInstance failed! (hr = 0x%X)\n", hr);
        return hr;
    }
    made = PhoneFileSystem(component.get(), owner, generation);
    return S_OK;
}

PhoneFileSystem::PhoneFileSystem(IVirtualFileSystem* component, ComponentOwner* owner)
    : PhoneFileSystem(component, owner, owner ? owner->ComponentGeneration() : 0)
{
}

PhoneFileSystem::PhoneFileSystem(IVirtualFileSystem* component, ComponentOwner* owner, long generation)
    : component_(component), owner_(owner), generation_(generation)
{
}

bool PhoneFileSystem::Vanished(HRESULT raw)
{
    if (!ComponentDied(raw))
        return false;
    if (owner_) {
        QTRACE(L"(): the phone component is gone, connecting anew\n");
        owner_->ReconnectPhoneComponent(generation_);
    }
    return true;
}

HRESULT PhoneFileSystem::Check(HRESULT raw)
{
    Vanished(raw);
    return MapResult(raw);
}

namespace {
unique_bstr Text(const std::wstring& text)
{
    return unique_bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}
} // namespace

HRESULT PhoneFileSystem::fopen(long mode, const std::wstring& path, ITransferListener* listener, long& handle)
{
    handle = 0;
    if (!component_)
        return E_POINTER;
    unique_bstr phonePath = Text(path);
    return Check(component_->fopen(mode, phonePath.get(), 1, &handle, listener));
}

HRESULT PhoneFileSystem::fclose(long handle)
{
    if (!component_)
        return E_POINTER;
    return Check(component_->fclose(handle));
}

HRESULT PhoneFileSystem::fread(VARIANT* data, long handle)
{
    if (!component_)
        return E_POINTER;
    return Check(component_->fread(data, handle));
}

HRESULT PhoneFileSystem::fwrite(const VARIANT& data, long handle)
{
    if (!component_)
        return E_POINTER;
    return Check(component_->fwrite(data, handle));
}

HRESULT PhoneFileSystem::mkdir(const std::wstring& path, ITransferListener* listener)
{
    if (!component_)
        return E_POINTER;
    unique_bstr phonePath = Text(path);
    return Check(component_->mkdir(phonePath.get(), listener));
}

HRESULT PhoneFileSystem::rmdir(const std::wstring& path, ITransferListener* listener)
{
    if (!component_)
        return E_POINTER;
    unique_bstr phonePath = Text(path);
    return Check(component_->rmdir(phonePath.get(), listener));
}

HRESULT PhoneFileSystem::deletefile(const std::wstring& path, ITransferListener* listener)
{
    if (!component_)
        return E_POINTER;
    unique_bstr phonePath = Text(path);
    return Check(component_->deletefile(phonePath.get(), listener));
}

HRESULT PhoneFileSystem::readdir(const std::wstring& path, ITransferListener* listener, std::wstring& listing)
{
    listing.clear();
    if (!component_)
        return E_POINTER;
    unique_bstr phonePath = Text(path);
    unique_bstr text;
    HRESULT raw = component_->readdir(phonePath.get(), text.put(), listener);
    if (owner_ && Vanished(raw)) {
        // The listing alone is asked for once more, after connecting anew: of a
        // fresh instance, the dead one cannot answer. A second failure is not
        // retried again.
        com_ptr<IVirtualFileSystem> fresh;
        RETURN_IF_FAILED(owner_->NewComponent(fresh));
        raw = fresh->readdir(phonePath.get(), text.put(), listener);
    }
    RETURN_IF_FAILED(MapResult(raw));
    listing = text.c_str();
    return S_OK;
}

HRESULT PhoneFileSystem::fgettime(long handle, DATE& modified)
{
    modified = 0;
    if (!component_)
        return E_POINTER;
    return Check(component_->fgettime(handle, &modified));
}

HRESULT PhoneFileSystem::fsettime(long handle, DATE modified)
{
    if (!component_)
        return E_POINTER;
    return Check(component_->fsettime(handle, modified));
}

HRESULT PhoneFileSystem::Cancel()
{
    if (!component_)
        return E_POINTER;
    return Check(component_->Cancel());
}

HRESULT PhoneFileSystem::Refresh(long level, const std::wstring& target)
{
    if (!component_)
        return E_POINTER;
    unique_bstr text = Text(target);
    return Check(component_->Refresh(level, text.get()));
}

HRESULT PhoneFileSystem::GetImei(const std::wstring& alias, std::wstring& imei)
{
    imei.clear();
    if (!component_)
        return E_POINTER;
    unique_bstr text = Text(alias);
    unique_bstr answer;
    RETURN_IF_FAILED(Check(component_->GetImei(text.get(), answer.put())));
    imei = answer.c_str();
    return S_OK;
}

HRESULT PhoneFileSystem::ReadObexCapability(const std::wstring& rootPath, VARIANT* capability)
{
    if (!component_)
        return E_POINTER;
    unique_bstr text = Text(rootPath);
    return Check(component_->ReadObexCapability(text.get(), 1000, capability));
}

} // namespace phone
