#include "PhoneServices.h"

#include "common/ErrorFlow.h"
#include "common/Paths.h"
#include "common/Trace.h"

namespace services {

HRESULT GetImei(const RequestContext& context, const std::wstring& alias, std::wstring& imei)
{
    // An alias is kept in a mapping row of MAX_PATH characters.
    if (alias.size() >= MAX_PATH)
        return kPathTooLong;
    phone::PhoneFileSystem phoneFs;
    RETURN_IF_FAILED(context.FreshPhone(phoneFs));
    return phoneFs.GetImei(alias, imei);
}

HRESULT Refresh(const RequestContext& context, LEVEL level, const std::wstring& target)
{
    QTRACE(L"(): target = %s\n", target.c_str());
    phone::PhoneFileSystem phoneFs;
    RETURN_IF_FAILED(context.FreshPhone(phoneFs));
    if (target.size() >= MAX_PATH)
        return kPathTooLong;
    switch (level) {
    case ITEM: {
        const mirror::DeviceMappingTable& table = context.Mappings();
        if (table.FindMappingForPC(target.c_str()).empty())
            return S_OK;
        std::wstring phonePath;
        RETURN_IF_FAILED(table.ConvertPCNameToVFSName(target.c_str(), phonePath));
        return phoneFs.Refresh(ITEM, phonePath);
    }
    case ALL: {
        std::wstring phoneTarget = target.empty() ? std::wstring() : mirror::kPhonePathPrefix + target;
        if (phoneTarget.size() >= MAX_PATH)
            return kPathTooLong;
        return phoneFs.Refresh(ALL, phoneTarget);
    }
    default:
        QTRACE(L"(): Invalid level!\n");
        return E_INVALIDARG;
    }
}

HRESULT GetCapabilityObject(const RequestContext& context, const std::wstring& pcFolder, VARIANT* capability)
{
    phone::PhoneFileSystem phoneFs;
    RETURN_IF_FAILED(context.FreshPhone(phoneFs));
    if (pcFolder.size() >= MAX_PATH)
        return kPathTooLong;
    mirror::DeviceMapping row = context.Mappings().FindMappingForPC(pcFolder.c_str());
    if (row.empty())
        return S_OK;
    std::wstring root = mirror::kPhonePathPrefix + std::wstring(row.device);
    paths::TrimOneTrailingBackslash(root);
    return phoneFs.ReadObexCapability(root, capability);
}

} // namespace services
