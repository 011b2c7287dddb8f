// The type library embedded in the server, read back through the platform.
#include "Processes.h"
#include "TestSupport.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace testing_support;

namespace {
struct Interface {
    const wchar_t* name;
    const wchar_t* iid;
    const wchar_t* help;
    UINT methods;
    std::vector<std::pair<UINT, std::wstring>> signatures; // the first and the last method by slot
};

// clang-format off
const Interface kInterfaces[] = {
    {L"IQuelvar", L"{8259B819-C7C4-4265-BECF-A7BB8E7511C5}", L"IQuelvar Interface", 12, {
        {0, L"RefreshFolder(in BSTR aPCFolderPath, in BOOL bFiles)"},
        {11, L"OpenHtmlHelp(in I4 hwnd, in BSTR filename, in I4 command, in I4 data, out PTR hwndHelp) method HtmlHelp"}}},
    {L"IPIUpdate", L"{AC9707BD-CBA8-44C2-99A0-3FEA2E09F654}", L"IPIUpdate Interface", 3, {
        {0, L"UpdateFolder(in BSTR aFolderPath, in I4 hwnd)"},
        {2, L"IsPhoneFolder(in BSTR aFolderPath, out PTR bIsPhoneFolder)"}}},
    {L"IDataStoreNotify", L"{743431BB-7942-4FA9-9B72-1F8F083E28AE}", L"IDataStoreNotify Interface", 1, {
        {0, L"NotifySyncStatus(in UINT uiClientSyncID, in USERDEFINED eSyncStatus, in HRESULT hr, in UINT uiSentCount, "
            L"in UINT uiTotalCount, in UINT uiReceivedCount)"}}},
};
// clang-format on

std::wstring TypeName(VARTYPE type)
{
    const std::pair<VARTYPE, const wchar_t*> names[] = {{VT_BSTR, L"BSTR"},       {VT_BOOL, L"BOOL"},
                                                        {VT_VARIANT, L"VARIANT"}, {VT_I2, L"I2"},
                                                        {VT_I4, L"I4"},           {VT_UINT, L"UINT"},
                                                        {VT_HRESULT, L"HRESULT"}, {VT_DATE, L"DATE"},
                                                        {VT_PTR, L"PTR"},         {VT_USERDEFINED, L"USERDEFINED"}};
    for (const auto& [known, name] : names)
        if (known == type)
            return name;
    return std::to_wstring(type);
}

std::wstring Guid(const GUID& guid)
{
    wchar_t text[64];
    StringFromGUID2(guid, text, 64);
    return text;
}

// Name and help string of a type (MEMBERID_NIL) or of one of its members.
std::pair<std::wstring, std::wstring> Doc(ITypeInfo* info, MEMBERID id)
{
    unique_bstr name, help;
    info->GetDocumentation(id, name.put(), help.put(), nullptr, nullptr);
    return {name.c_str(), help.c_str()};
}

// Name of the first type a type implements or inherits.
std::wstring FirstImplName(ITypeInfo* info)
{
    HREFTYPE ref = 0;
    com_ptr<ITypeInfo> other;
    if (FAILED(info->GetRefTypeOfImplType(0, &ref)) || FAILED(info->GetRefTypeInfo(ref, other.put())))
        return L"<none>";
    return Doc(other.get(), MEMBERID_NIL).first;
}

class TypeLibrary : public testing::Test
{
protected:
    void SetUp() override
    {
        HRESULT hr = LoadTypeLibEx(ServerExe().c_str(), REGKIND_NONE, library.put());
        ASSERT_EQ(S_OK, hr) << HexResult(hr);
    }

    // The type of that name with a copy of its attributes, checked for its kind.
    com_ptr<ITypeInfo> Type(const wchar_t* name, TYPEKIND kind, TYPEATTR& attr)
    {
        com_ptr<ITypeInfo> info;
        for (UINT i = 0; i < library->GetTypeInfoCount() && !info; ++i) {
            unique_bstr typeName;
            library->GetDocumentation(i, typeName.put(), nullptr, nullptr, nullptr);
            if (std::wstring(typeName.c_str()) == name)
                library->GetTypeInfo(i, info.put());
        }
        TYPEATTR* found = nullptr;
        if (!info || FAILED(info->GetTypeAttr(&found))) {
            ADD_FAILURE() << "no type " << Narrow(name);
            return {};
        }
        attr = *found;
        info->ReleaseTypeAttr(found);
        EXPECT_EQ(kind, attr.typekind);
        return info;
    }

    com_ptr<ITypeLib> library;
};
} // namespace

TEST_F(TypeLibrary, LibraryAttributes)
{
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, library->GetLibAttr(&attr));
    EXPECT_EQ(L"{DAEC737B-8178-434E-A32D-97DDF6F3CFDB}", Guid(attr->guid));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    // Language-neutral, so that the registration is found under "0\\win32" by the marshaler.
    EXPECT_EQ(0u, attr->lcid);
    EXPECT_EQ(SYS_WIN32, attr->syskind);
    library->ReleaseTLibAttr(attr);
    unique_bstr name, help;
    library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr);
    EXPECT_EQ(std::wstring(L"ZENTRELQUELVARLib"), name.c_str());
    EXPECT_EQ(std::wstring(L"ZentrelQuelvar 1.0 Type Library"), help.c_str());
}

TEST_F(TypeLibrary, InterfacesInSlotOrderWithParameters)
{
    for (const Interface& itf : kInterfaces) {
        SCOPED_TRACE(Narrow(itf.name));
        TYPEATTR attr{};
        com_ptr<ITypeInfo> info = Type(itf.name, TKIND_INTERFACE, attr);
        ASSERT_TRUE(info);
        EXPECT_EQ(itf.iid, Guid(attr.guid));
        EXPECT_TRUE(attr.wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
        EXPECT_FALSE(attr.wTypeFlags & TYPEFLAG_FDUAL);
        EXPECT_EQ(1, attr.cImplTypes);
        ASSERT_EQ(itf.methods, attr.cFuncs);
        EXPECT_EQ(L"IUnknown", FirstImplName(info.get()));
        EXPECT_EQ(itf.help, Doc(info.get(), MEMBERID_NIL).second);

        for (const auto& [i, expected] : itf.signatures) {
            FUNCDESC* func = nullptr;
            ASSERT_EQ(S_OK, info->GetFuncDesc(i, &func));
            EXPECT_EQ(static_cast<MEMBERID>(0x60010000 + i), func->memid);
            EXPECT_EQ(FUNC_PUREVIRTUAL, func->funckind);
            EXPECT_EQ(static_cast<SHORT>((3 + i) * sizeof(void*)), func->oVft);
            EXPECT_EQ(VT_HRESULT, func->elemdescFunc.tdesc.vt);
            // "Name(flags TYPE name, ...)", then the help string when it is not "method Name".
            BSTR names[16] = {};
            UINT count = 0;
            info->GetNames(func->memid, names, 16, &count);
            std::vector<unique_bstr> owned(names, names + count);
            std::wstring signature = std::wstring(owned.at(0).c_str()) + L"(";
            for (SHORT p = 0; p < func->cParams; ++p) {
                const ELEMDESC& param = func->lprgelemdescParam[p];
                const USHORT flags = param.paramdesc.wParamFlags;
                signature += std::wstring(p ? L", " : L"") + (flags & PARAMFLAG_FIN ? L"in " : L"") +
                             (flags & PARAMFLAG_FOUT ? L"out " : L"") + TypeName(param.tdesc.vt) + L" " +
                             (p + 1u < count ? owned[p + 1].c_str() : L"?");
            }
            signature += L")";
            const std::wstring help = Doc(info.get(), func->memid).second;
            if (help != L"method " + std::wstring(owned.at(0).c_str()))
                signature += L" " + help;
            EXPECT_EQ(expected, signature);
            info->ReleaseFuncDesc(func);
        }
    }
}

TEST_F(TypeLibrary, Enumerations)
{
    const struct {
        const wchar_t* name;
        std::vector<std::pair<std::wstring, LONG>> values;
    } cases[] = {
        {L"LEVEL", {{L"ALL", 0}, {L"ITEM", 1}}},
        {L"PIU_DATA_TYPE", {{L"PIU_ALL", 0}, {L"PIU_CONTACTS", 1}, {L"PIU_MESSAGES", 2}}},
        {L"SYNCSTATUS", {{L"STARTED", 0}, {L"ONGOING", 1}, {L"CANCELED", 2}, {L"FINISHED", 4}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        TYPEATTR attr{};
        com_ptr<ITypeInfo> info = Type(c.name, TKIND_ENUM, attr);
        ASSERT_TRUE(info);
        EXPECT_EQ(4, attr.cbSizeInstance);
        std::vector<std::pair<std::wstring, LONG>> values;
        for (UINT i = 0; i < attr.cVars; ++i) {
            VARDESC* var = nullptr;
            ASSERT_EQ(S_OK, info->GetVarDesc(i, &var));
            values.emplace_back(Doc(info.get(), var->memid).first, V_I4(var->lpvarValue));
            info->ReleaseVarDesc(var);
        }
        EXPECT_EQ(c.values, values);
    }
}

TEST_F(TypeLibrary, Classes)
{
    const struct {
        const wchar_t* name;
        const wchar_t* clsid;
        const wchar_t* help;
        const wchar_t* defaultInterface;
    } cases[] = {
        {L"Quelvar", L"{820F1B94-1C86-46A4-B1B9-926DE23FA0DB}", L"Quelvar Class", L"IQuelvar"},
        {L"QuelvarSingleton", L"{1E22F404-6740-4F5D-ACA6-7A520B86E46E}", L"QuelvarSingleton Class", L"IQuelvar"},
        {L"PIUpdate", L"{FF800522-6A22-4055-8E05-AB21D5157288}", L"PIUpdate Class", L"IPIUpdate"},
        {L"PIUpdateListener", L"{4AFD36B6-B6CE-4315-A0D8-A07435C8D44C}", L"PIUpdateListener Class",
         L"IDataStoreNotify"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        TYPEATTR attr{};
        com_ptr<ITypeInfo> info = Type(c.name, TKIND_COCLASS, attr);
        ASSERT_TRUE(info);
        EXPECT_EQ(c.clsid, Guid(attr.guid));
        EXPECT_EQ(1, attr.cImplTypes);
        INT flags = 0;
        info->GetImplTypeFlags(0, &flags);
        EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
        EXPECT_EQ(c.defaultInterface, FirstImplName(info.get()));
        EXPECT_EQ(c.help, Doc(info.get(), MEMBERID_NIL).second);
    }
}
