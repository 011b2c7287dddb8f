// What a request needs of the main object, held by counted references so that
// a request may outlive the client's reference and run on another thread: the
// object itself, a module lock that keeps the server up, the device mapping
// table and the owner of the phone component connection.
#pragma once

#include "common/ComPtr.h"
#include "common/ModuleLock.h"
#include "mirror/DeviceMapping.h"
#include "phone/PhoneFileSystem.h"

namespace services {

class RequestContext
{
public:
    // `object` is the main object's identity; the table and the owner belong to it.
    RequestContext(IUnknown* object, const mirror::DeviceMappingTable& table, phone::ComponentOwner& owner)
        : object_(object), table_(&table), owner_(&owner)
    {
    }

    const mirror::DeviceMappingTable& Mappings() const { return *table_; }
    phone::ComponentOwner& Owner() const { return *owner_; }

    // A fresh component instance for one call; throws the creation failure.
    phone::PhoneFileSystem FreshPhone() const { return phone::PhoneFileSystem::Create(owner_); }

private:
    com_ptr<IUnknown> object_;
    ModuleLock lock_;
    const mirror::DeviceMappingTable* table_;
    phone::ComponentOwner* owner_;
};

} // namespace services
