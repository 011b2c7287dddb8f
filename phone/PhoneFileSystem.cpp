#include "PhoneFileSystem.h"

#include "common/Trace.h"

#include <comdef.h>

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

HRESULT CreateComponent(com_ptr<IVirtualFileSystem>& component)
{
    return CoCreateInstance(CLSID_VirtualFileSystem, nullptr, CLSCTX_ALL, IID_IVirtualFileSystem, component.put_void());
}

PhoneFileSystem PhoneFileSystem::Create(ComponentOwner* owner)
{
    // Taken before the instance is made: an instance that may come from a
    // connection replaced meanwhile never counts as the newer one.
    const long generation = owner ? owner->ComponentGeneration() : 0;
    com_ptr<IVirtualFileSystem> component;
    HRESULT hr = owner ? owner->NewComponent(component) : CreateComponent(component);
    if (FAILED(hr)) {
        QTRACE(L"(): pVFS.CoCreateInstance failed! (hr = 0x%X)\n", hr);
        throw _com_error(hr);
    }
    return PhoneFileSystem(component.get(), owner, generation);
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
    if (MapResult(raw) != kComponentGone)
        return false;
    if (owner_) {
        QTRACE(L"(): the phone component is gone, connecting anew\n");
        owner_->ReconnectPhoneComponent(generation_);
    }
    return true;
}

void PhoneFileSystem::Check(HRESULT raw)
{
    HRESULT mapped = MapResult(raw);
    if (mapped == S_OK)
        return;
    Vanished(raw);
    throw _com_error(mapped);
}

namespace {
unique_bstr Text(const std::wstring& text)
{
    return unique_bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}
} // namespace

long PhoneFileSystem::fopen(long mode, const std::wstring& path, ITransferListener* listener)
{
    if (!component_)
        throw _com_error(E_POINTER);
    long handle = 0;
    unique_bstr phonePath = Text(path);
    Check(component_->fopen(mode, phonePath.get(), 1, &handle, listener));
    return handle;
}

void PhoneFileSystem::fclose(long handle)
{
    if (!component_)
        throw _com_error(E_POINTER);
    Check(component_->fclose(handle));
}

void PhoneFileSystem::fread(VARIANT* data, long handle)
{
    if (!component_)
        throw _com_error(E_POINTER);
    Check(component_->fread(data, handle));
}

void PhoneFileSystem::fwrite(const VARIANT& data, long handle)
{
    if (!component_)
        throw _com_error(E_POINTER);
    Check(component_->fwrite(data, handle));
}

void PhoneFileSystem::mkdir(const std::wstring& path, ITransferListener* listener)
{
    if (!component_)
        throw _com_error(E_POINTER);
    unique_bstr phonePath = Text(path);
    Check(component_->mkdir(phonePath.get(), listener));
}

void PhoneFileSystem::rmdir(const std::wstring& path, ITransferListener* listener)
{
    if (!component_)
        throw _com_error(E_POINTER);
    unique_bstr phonePath = Text(path);
    Check(component_->rmdir(phonePath.get(), listener));
}

void PhoneFileSystem::deletefile(const std::wstring& path, ITransferListener* listener)
{
    if (!component_)
        throw _com_error(E_POINTER);
    unique_bstr phonePath = Text(path);
    Check(component_->deletefile(phonePath.get(), listener));
}

std::wstring PhoneFileSystem::readdir(const std::wstring& path, ITransferListener* listener)
{
    if (!component_)
        throw _com_error(E_POINTER);
    unique_bstr phonePath = Text(path);
    unique_bstr listing;
    HRESULT raw = component_->readdir(phonePath.get(), listing.put(), listener);
    if (owner_ && Vanished(raw)) {
        // The listing alone is asked for once more, after connecting anew: of a
        // fresh instance, the dead one cannot answer. A second failure is not
        // retried again.
        com_ptr<IVirtualFileSystem> fresh;
        HRESULT hr = owner_->NewComponent(fresh);
        if (FAILED(hr))
            throw _com_error(hr);
        raw = fresh->readdir(phonePath.get(), listing.put(), listener);
        const HRESULT mapped = MapResult(raw);
        if (mapped != S_OK)
            throw _com_error(mapped);
        return listing.c_str();
    }
    Check(raw);
    return listing.c_str();
}

DATE PhoneFileSystem::fgettime(long handle)
{
    if (!component_)
        throw _com_error(E_POINTER);
    DATE modified = 0;
    Check(component_->fgettime(handle, &modified));
    return modified;
}

void PhoneFileSystem::fsettime(long handle, DATE modified)
{
    if (!component_)
        throw _com_error(E_POINTER);
    Check(component_->fsettime(handle, modified));
}

void PhoneFileSystem::Cancel()
{
    if (!component_)
        throw _com_error(E_POINTER);
    Check(component_->Cancel());
}

void PhoneFileSystem::Refresh(long level, const std::wstring& target)
{
    if (!component_)
        throw _com_error(E_POINTER);
    unique_bstr text = Text(target);
    Check(component_->Refresh(level, text.get()));
}

std::wstring PhoneFileSystem::GetImei(const std::wstring& alias)
{
    if (!component_)
        throw _com_error(E_POINTER);
    unique_bstr text = Text(alias);
    unique_bstr imei;
    Check(component_->GetImei(text.get(), imei.put()));
    return imei.c_str();
}

void PhoneFileSystem::ReadObexCapability(const std::wstring& rootPath, VARIANT* capability)
{
    if (!component_)
        throw _com_error(E_POINTER);
    unique_bstr text = Text(rootPath);
    Check(component_->ReadObexCapability(text.get(), 1000, capability));
}

} // namespace phone
