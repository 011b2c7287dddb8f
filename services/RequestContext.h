// What a request needs of the main object, held by counted references so that
// a request may outlive the client's reference and run on another thread: the
// object itself, a module lock that keeps the server up, the device mapping
// table, the owner of the phone component connection and the object's language
// and graphics files.
#pragma once

#include "common/ComPtr.h"
#include "common/ModuleLock.h"
#include "mirror/DeviceMapping.h"
#include "phone/PhoneFileSystem.h"

#include <string>

class CVexaUtil;

namespace services {

class RequestContext
{
public:
    // `object` is the main object's identity; the rest belongs to it.
    RequestContext(IUnknown* object, const mirror::DeviceMappingTable& table, phone::ComponentOwner& owner,
                   CVexaUtil& language, HMODULE graphics)
        : object_(object), table_(&table), owner_(&owner), language_(&language), graphics_(graphics)
    {
    }

    const mirror::DeviceMappingTable& Mappings() const { return *table_; }
    phone::ComponentOwner& Owner() const { return *owner_; }
    // The object's language file, loaded once; may have none loaded.
    CVexaUtil& Language() const { return *language_; }
    // The graphics file with the progress animations, or null.
    HMODULE Graphics() const { return graphics_; }

    // A fresh component instance for one call.
    HRESULT FreshPhone(phone::PhoneFileSystem& phoneFs) const
    {
        return phone::PhoneFileSystem::Create(owner_, phoneFs);
    }

private:
    com_ptr<IUnknown> object_;
    ModuleLock lock_;
    const mirror::DeviceMappingTable* table_;
    phone::ComponentOwner* owner_;
    CVexaUtil* language_;
    HMODULE graphics_;
};

} // namespace services
