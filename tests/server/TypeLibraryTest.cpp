// The type library embedded in the server, read back through the platform.
#include "Processes.h"
#include "TestSupport.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {
struct Param {
    const wchar_t* name;
    VARTYPE type; // VT_USERDEFINED for the enumerations
    USHORT flags; // PARAMFLAG_FIN / FOUT
};

struct Method {
    const wchar_t* name;
    const wchar_t* help;
    std::vector<Param> params;
};

constexpr USHORT In = PARAMFLAG_FIN;
constexpr USHORT Out = PARAMFLAG_FOUT;

const std::vector<Method> kQuelvarMethods = {
    {L"RefreshFolder", L"method RefreshFolder", {{L"aPCFolderPath", VT_BSTR, In}, {L"bFiles", VT_BOOL, In}}},
    {L"SHFileOperation", L"method SHFileOperation", {{L"vntFileOp", VT_VARIANT, In}}},
    {L"CreateFolder", L"method CreateFolder", {{L"aPCFolderPath", VT_BSTR, In}}},
    {L"Terminate", L"method Terminate", {}},
    {L"DownloadVFSFile",
     L"method DownloadVFSFile",
     {{L"CurrentFileName", VT_BSTR, In},
      {L"CurrentFileIndex", VT_I4, In},
      {L"TotalFileCount", VT_I4, In},
      {L"TotalFileSize", VT_I4, In},
      {L"hwnd", VT_I4, In},
      {L"pvntData", VT_PTR, In | Out}}},
    {L"UploadVFSFile",
     L"method UploadVFSFile",
     {{L"vntData", VT_VARIANT, In},
      {L"aPCFile", VT_BSTR, In},
      {L"FileSize", VT_I4, In},
      {L"LastWriteTime", VT_DATE, In},
      {L"hwnd", VT_I4, In}}},
    {L"GetImei", L"method GetImei", {{L"alias", VT_BSTR, In}, {L"friendlyname", VT_PTR, Out}}},
    {L"Refresh", L"method Refresh", {{L"LEVEL", VT_USERDEFINED, In}, {L"target", VT_BSTR, In}}},
    {L"GetCapabilityObject",
     L"method GetCapabilityObject",
     {{L"PCFolder", VT_BSTR, In}, {L"pvntCapabilityobject", VT_PTR, Out}}},
    {L"HideProgressDialog", L"method HideProgressDialog", {}},
    {L"Convert",
     L"method Convert",
     {{L"filename", VT_BSTR, In},
      {L"targetformat", VT_I2, In},
      {L"sourceformat", VT_I2, In},
      {L"outputfilename", VT_PTR, Out},
      {L"hWndParent", VT_I4, In}}},
    {L"OpenHtmlHelp",
     L"method HtmlHelp",
     {{L"hwnd", VT_I4, In},
      {L"filename", VT_BSTR, In},
      {L"command", VT_I4, In},
      {L"data", VT_I4, In},
      {L"hwndHelp", VT_PTR, Out}}},
};

const std::vector<Method> kUpdateMethods = {
    {L"UpdateFolder", L"method UpdateFolder", {{L"aFolderPath", VT_BSTR, In}, {L"hwnd", VT_I4, In}}},
    {L"UpdateAll", L"method UpdateAll", {{L"eDataType", VT_USERDEFINED, In}, {L"hwnd", VT_I4, In}}},
    {L"IsPhoneFolder", L"method IsPhoneFolder", {{L"aFolderPath", VT_BSTR, In}, {L"bIsPhoneFolder", VT_PTR, Out}}},
};

const std::vector<Method> kNotifyMethods = {
    {L"NotifySyncStatus",
     L"method NotifySyncStatus",
     {{L"uiClientSyncID", VT_UINT, In},
      {L"eSyncStatus", VT_USERDEFINED, In},
      {L"hr", VT_HRESULT, In},
      {L"uiSentCount", VT_UINT, In},
      {L"uiTotalCount", VT_UINT, In},
      {L"uiReceivedCount", VT_UINT, In}}},
};

com_ptr<ITypeLib> LoadServerTypeLib()
{
    com_ptr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(ServerExe().c_str(), REGKIND_NONE, library.put());
    EXPECT_EQ(S_OK, hr) << HexResult(hr);
    return library;
}

com_ptr<ITypeInfo> TypeByName(ITypeLib* library, const wchar_t* name)
{
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        unique_bstr typeName;
        library->GetDocumentation(i, typeName.put(), nullptr, nullptr, nullptr);
        if (std::wstring(typeName.c_str()) == name) {
            com_ptr<ITypeInfo> info;
            library->GetTypeInfo(i, info.put());
            return info;
        }
    }
    ADD_FAILURE() << "no type " << Narrow(name);
    return {};
}

std::wstring Guid(const GUID& guid)
{
    wchar_t text[64];
    StringFromGUID2(guid, text, 64);
    return text;
}

void ExpectInterface(ITypeLib* library, const wchar_t* name, const wchar_t* iid, const wchar_t* help,
                     const std::vector<Method>& methods)
{
    SCOPED_TRACE(Narrow(name));
    com_ptr<ITypeInfo> info = TypeByName(library, name);
    ASSERT_TRUE(info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_EQ(iid, Guid(attr->guid));
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
    EXPECT_FALSE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_EQ(1, attr->cImplTypes);
    ASSERT_EQ(methods.size(), attr->cFuncs);
    info->ReleaseTypeAttr(attr);

    HREFTYPE baseRef = 0;
    ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(0, &baseRef));
    com_ptr<ITypeInfo> base;
    ASSERT_EQ(S_OK, info->GetRefTypeInfo(baseRef, base.put()));
    unique_bstr baseName;
    base->GetDocumentation(MEMBERID_NIL, baseName.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(L"IUnknown"), baseName.c_str());

    unique_bstr docHelp;
    info->GetDocumentation(MEMBERID_NIL, nullptr, docHelp.put(), nullptr, nullptr);
    EXPECT_EQ(std::wstring(help), docHelp.c_str());

    for (size_t i = 0; i < methods.size(); ++i) {
        const Method& method = methods[i];
        SCOPED_TRACE(Narrow(method.name));
        FUNCDESC* func = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(static_cast<UINT>(i), &func));
        EXPECT_EQ(static_cast<MEMBERID>(0x60010000 + i), func->memid);
        EXPECT_EQ(FUNC_PUREVIRTUAL, func->funckind);
        EXPECT_EQ(static_cast<SHORT>((3 + i) * sizeof(void*)), func->oVft);
        EXPECT_EQ(VT_HRESULT, func->elemdescFunc.tdesc.vt);
        ASSERT_EQ(method.params.size(), static_cast<size_t>(func->cParams));

        BSTR names[16] = {};
        UINT count = 0;
        ASSERT_EQ(S_OK, info->GetNames(func->memid, names, 16, &count));
        ASSERT_EQ(method.params.size() + 1, count);
        EXPECT_EQ(std::wstring(method.name), names[0]);
        for (size_t p = 0; p < method.params.size(); ++p) {
            EXPECT_EQ(std::wstring(method.params[p].name), names[p + 1]);
            EXPECT_EQ(method.params[p].type, func->lprgelemdescParam[p].tdesc.vt) << p;
            EXPECT_EQ(method.params[p].flags,
                      func->lprgelemdescParam[p].paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT))
                << p;
        }
        for (UINT n = 0; n < count; ++n)
            SysFreeString(names[n]);
        unique_bstr methodHelp;
        info->GetDocumentation(func->memid, nullptr, methodHelp.put(), nullptr, nullptr);
        EXPECT_EQ(std::wstring(method.help), methodHelp.c_str());
        info->ReleaseFuncDesc(func);
    }
}

void ExpectEnum(ITypeLib* library, const wchar_t* name, const std::vector<std::pair<std::wstring, LONG>>& values)
{
    SCOPED_TRACE(Narrow(name));
    com_ptr<ITypeInfo> info = TypeByName(library, name);
    ASSERT_TRUE(info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_ENUM, attr->typekind);
    EXPECT_EQ(4, attr->cbSizeInstance);
    ASSERT_EQ(values.size(), attr->cVars);
    info->ReleaseTypeAttr(attr);
    for (size_t i = 0; i < values.size(); ++i) {
        VARDESC* var = nullptr;
        ASSERT_EQ(S_OK, info->GetVarDesc(static_cast<UINT>(i), &var));
        unique_bstr varName;
        info->GetDocumentation(var->memid, varName.put(), nullptr, nullptr, nullptr);
        EXPECT_EQ(values[i].first, varName.c_str());
        EXPECT_EQ(values[i].second, V_I4(var->lpvarValue));
        info->ReleaseVarDesc(var);
    }
}

void ExpectClass(ITypeLib* library, const wchar_t* name, const wchar_t* clsid, const wchar_t* help,
                 const wchar_t* defaultInterface)
{
    SCOPED_TRACE(Narrow(name));
    com_ptr<ITypeInfo> info = TypeByName(library, name);
    ASSERT_TRUE(info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_EQ(clsid, Guid(attr->guid));
    EXPECT_EQ(1, attr->cImplTypes);
    info->ReleaseTypeAttr(attr);
    INT flags = 0;
    info->GetImplTypeFlags(0, &flags);
    EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(0, &ref));
    com_ptr<ITypeInfo> itf;
    ASSERT_EQ(S_OK, info->GetRefTypeInfo(ref, itf.put()));
    unique_bstr itfName;
    itf->GetDocumentation(MEMBERID_NIL, itfName.put(), nullptr, nullptr, nullptr);
    EXPECT_EQ(std::wstring(defaultInterface), itfName.c_str());
    unique_bstr classHelp;
    info->GetDocumentation(MEMBERID_NIL, nullptr, classHelp.put(), nullptr, nullptr);
    EXPECT_EQ(std::wstring(help), classHelp.c_str());
}
} // namespace

TEST(TypeLibrary, LibraryAttributes)
{
    com_ptr<ITypeLib> library = LoadServerTypeLib();
    ASSERT_TRUE(library);
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

TEST(TypeLibrary, InterfacesInSlotOrderWithParameters)
{
    com_ptr<ITypeLib> library = LoadServerTypeLib();
    ASSERT_TRUE(library);
    ExpectInterface(library.get(), L"IQuelvar", L"{8259B819-C7C4-4265-BECF-A7BB8E7511C5}", L"IQuelvar Interface",
                    kQuelvarMethods);
    ExpectInterface(library.get(), L"IPIUpdate", L"{AC9707BD-CBA8-44C2-99A0-3FEA2E09F654}", L"IPIUpdate Interface",
                    kUpdateMethods);
    ExpectInterface(library.get(), L"IDataStoreNotify", L"{743431BB-7942-4FA9-9B72-1F8F083E28AE}",
                    L"IDataStoreNotify Interface", kNotifyMethods);
}

TEST(TypeLibrary, Enumerations)
{
    com_ptr<ITypeLib> library = LoadServerTypeLib();
    ASSERT_TRUE(library);
    ExpectEnum(library.get(), L"LEVEL", {{L"ALL", 0}, {L"ITEM", 1}});
    ExpectEnum(library.get(), L"PIU_DATA_TYPE", {{L"PIU_ALL", 0}, {L"PIU_CONTACTS", 1}, {L"PIU_MESSAGES", 2}});
    ExpectEnum(library.get(), L"SYNCSTATUS", {{L"STARTED", 0}, {L"ONGOING", 1}, {L"CANCELED", 2}, {L"FINISHED", 4}});
}

TEST(TypeLibrary, Classes)
{
    com_ptr<ITypeLib> library = LoadServerTypeLib();
    ASSERT_TRUE(library);
    ExpectClass(library.get(), L"Quelvar", L"{820F1B94-1C86-46A4-B1B9-926DE23FA0DB}", L"Quelvar Class", L"IQuelvar");
    ExpectClass(library.get(), L"QuelvarSingleton", L"{1E22F404-6740-4F5D-ACA6-7A520B86E46E}",
                L"QuelvarSingleton Class", L"IQuelvar");
    ExpectClass(library.get(), L"PIUpdate", L"{FF800522-6A22-4055-8E05-AB21D5157288}", L"PIUpdate Class", L"IPIUpdate");
    ExpectClass(library.get(), L"PIUpdateListener", L"{4AFD36B6-B6CE-4315-A0D8-A07435C8D44C}",
                L"PIUpdateListener Class", L"IDataStoreNotify");
}
