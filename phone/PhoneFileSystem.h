// Thin call wrappers of the phone file-system component. Every result passes one
// mapping and is returned as the call's HRESULT; nothing is thrown.
#pragma once

#include "PhoneComponents.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <string>

namespace phone {

constexpr HRESULT kComponentGone = static_cast<HRESULT>(0x800706BA); // RPC_S_SERVER_UNAVAILABLE
constexpr WORD kCancelCode = 0x4252;
constexpr WORD kMemoryFullCode = 0x4360;
constexpr HRESULT kMemoryFull = static_cast<HRESULT>(0x80044360);

enum OpenMode : long { OpenRead = 1, OpenWrite = 2 };

// The one result mapping: 0 is success; the component gone stays 0x800706BA;
// any other value is a failure whose low 16 bits carry the code: the cancel
// code becomes E_ABORT, every other code 0x80040000 plus the code.
HRESULT MapResult(HRESULT raw);

// True when the raw result says the component's process is gone: the server is
// unavailable, the call failed or was cut mid-way, or the server died or
// disconnected. Only 0x800706BA maps to itself; the others map as any failure.
bool ComponentDied(HRESULT raw);

// A new instance of the phone file-system component.
HRESULT CreateComponent(com_ptr<IVirtualFileSystem>& component);

// The owner of the connection to the component. Each connection has a number;
// an instance made while a connection is current belongs to it, and only a
// failure of the current connection makes the owner connect anew: calls that
// still hold instances of a replaced one must not tear down what it rebuilt.
class ComponentOwner
{
public:
    // The number of the current connection; callable from any thread.
    virtual long ComponentGeneration() const = 0;
    // Connects anew when `generation` is still current, else does nothing. Returns
    // once the mirror folders are rebuilt; callable from any thread.
    virtual void ReconnectPhoneComponent(long generation) = 0;
    // A fresh component instance.
    virtual HRESULT NewComponent(com_ptr<IVirtualFileSystem>& component) { return CreateComponent(component); }

protected:
    ~ComponentOwner() = default;
};

class PhoneFileSystem
{
public:
    // A fresh component instance for one call.
    static HRESULT Create(ComponentOwner* owner, PhoneFileSystem& made);

    PhoneFileSystem() = default;
    // The owner may be null: a vanished component is then only reported. The
    // component belongs to the owner's current connection.
    PhoneFileSystem(IVirtualFileSystem* component, ComponentOwner* owner);

    IVirtualFileSystem* Component() const { return component_.get(); }

    HRESULT fopen(long mode, const std::wstring& path, ITransferListener* listener, long& handle);
    HRESULT fclose(long handle);
    HRESULT fread(VARIANT* data, long handle);
    HRESULT fwrite(const VARIANT& data, long handle);
    HRESULT mkdir(const std::wstring& path, ITransferListener* listener);
    HRESULT rmdir(const std::wstring& path, ITransferListener* listener);
    HRESULT deletefile(const std::wstring& path, ITransferListener* listener);
    HRESULT readdir(const std::wstring& path, ITransferListener* listener, std::wstring& listing);
    HRESULT fgettime(long handle, DATE& modified);
    HRESULT fsettime(long handle, DATE modified);
    HRESULT Cancel();
    HRESULT Refresh(long level, const std::wstring& target);
    HRESULT GetImei(const std::wstring& alias, std::wstring& imei);
    HRESULT ReadObexCapability(const std::wstring& rootPath, VARIANT* capability);

private:
    PhoneFileSystem(IVirtualFileSystem* component, ComponentOwner* owner, long generation);
    // The mapped result; a vanished component is reconnected first.
    HRESULT Check(HRESULT raw);
    // True when the component has vanished; the owner has then connected anew.
    bool Vanished(HRESULT raw);

    com_ptr<IVirtualFileSystem> component_;
    ComponentOwner* owner_ = nullptr;
    long generation_ = 0; // the owner's connection the component belongs to
};

} // namespace phone
