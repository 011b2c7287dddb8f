// The type library embedded in the server, read back through the platform: what
// clients built against the interfaces rely on, their ids and slot order.
#include "Processes.h"
#include "TestSupport.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(TypeLibrary, InterfacesKeepTheirIdsAndMethodSlots)
{
    com_ptr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(ServerExe().c_str(), REGKIND_NONE, library.put());
    ASSERT_EQ(S_OK, hr) << HexResult(hr);
    const struct {
        const wchar_t* iid;
        std::vector<std::wstring> methods; // by slot after IUnknown's
    } cases[] = {
        {L"{8259B819-C7C4-4265-BECF-A7BB8E7511C5}",
         {L"RefreshFolder", L"SHFileOperation", L"CreateFolder", L"Terminate", L"DownloadVFSFile", L"UploadVFSFile",
          L"GetImei", L"Refresh", L"GetCapabilityObject", L"HideProgressDialog", L"Convert", L"OpenHtmlHelp"}},
        {L"{AC9707BD-CBA8-44C2-99A0-3FEA2E09F654}", {L"UpdateFolder", L"UpdateAll", L"IsPhoneFolder"}},
        {L"{743431BB-7942-4FA9-9B72-1F8F083E28AE}", {L"NotifySyncStatus"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.iid));
        IID iid{};
        ASSERT_EQ(S_OK, IIDFromString(c.iid, &iid));
        com_ptr<ITypeInfo> info;
        ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(iid, info.put()));
        std::vector<std::wstring> methods;
        for (UINT i = 0;; ++i) {
            FUNCDESC* func = nullptr;
            if (FAILED(info->GetFuncDesc(i, &func)))
                break;
            EXPECT_EQ(static_cast<SHORT>((3 + i) * sizeof(void*)), func->oVft);
            unique_bstr name;
            info->GetDocumentation(func->memid, name.put(), nullptr, nullptr, nullptr);
            methods.push_back(name.c_str());
            info->ReleaseFuncDesc(func);
        }
        EXPECT_EQ(c.methods, methods);
    }
}
