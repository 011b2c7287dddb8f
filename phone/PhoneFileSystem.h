// Thin call wrappers of the phone file-system component. Every result passes one
// mapping; failures are thrown as _com_error carrying the mapped HRESULT.
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
    // A fresh component instance for one call; throws the creation failure.
    static PhoneFileSystem Create(ComponentOwner* owner);

    // The owner may be null: a vanished component is then only reported. The
    // component belongs to the owner's current connection.
    PhoneFileSystem(IVirtualFileSystem* component, ComponentOwner* owner);

    IVirtualFileSystem* Component() const { return component_.get(); }

    long fopen(long mode, const std::wstring& path, ITransferListener* listener);
    void fclose(long handle);
    void fread(VARIANT* data, long handle);
    void fwrite(const VARIANT& data, long handle);
    void mkdir(const std::wstring& path, ITransferListener* listener);
    void rmdir(const std::wstring& path, ITransferListener* listener);
    void deletefile(const std::wstring& path, ITransferListener* listener);
    std::wstring readdir(const std::wstring& path, ITransferListener* listener);
    DATE fgettime(long handle);
    void fsettime(long handle, DATE modified);
    void Cancel();
    void Refresh(long level, const std::wstring& target);
    std::wstring GetImei(const std::wstring& alias);
    void ReadObexCapability(const std::wstring& rootPath, VARIANT* capability);

private:
    PhoneFileSystem(IVirtualFileSystem* component, ComponentOwner* owner, long generation);
    // Throws the mapped failure; a vanished component is reconnected first.
    void Check(HRESULT raw);
    // True when the component has vanished; the owner has then connected anew.
    bool Vanished(HRESULT raw);

    com_ptr<IVirtualFileSystem> component_;
    ComponentOwner* owner_;
    long generation_; // the owner's connection the component belongs to
};

} // namespace phone
