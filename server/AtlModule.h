// Declarations of the platform's ATL 3.0 module record and module functions
// (atl.dll). The record layouts are the platform's: 132 bytes for the module,
// 36 bytes per object-map entry.
#pragma once

#include <windows.h>
#include <objbase.h>

extern "C" {

typedef HRESULT(WINAPI AtlCreatorFunc)(void* outer, REFIID iid, void** object);
typedef HRESULT(WINAPI AtlUpdateRegistryFunc)(BOOL doRegister);
typedef const wchar_t*(WINAPI AtlDescriptionFunc)();
typedef const void*(WINAPI AtlCategoryMapFunc)();
typedef void(WINAPI AtlObjectMainFunc)(bool starting);

struct AtlObjectMapEntry {
    const CLSID* clsid;
    AtlUpdateRegistryFunc* updateRegistry;
    AtlCreatorFunc* getClassObject;
    AtlCreatorFunc* createInstance;
    IUnknown* classObject;
    DWORD registrationCookie;
    AtlDescriptionFunc* getObjectDescription;
    AtlCategoryMapFunc* getCategoryMap;
    AtlObjectMainFunc* objectMain;
};

struct AtlModuleRecord {
    UINT cbSize;
    HINSTANCE instance;
    HINSTANCE resourceInstance;
    HINSTANCE typeLibInstance;
    AtlObjectMapEntry* objectMap;
    LONG lockCount;
    HANDLE heap;
    CRITICAL_SECTION typeInfoHolderLock;
    CRITICAL_SECTION windowCreateLock;
    CRITICAL_SECTION objectMapLock;
    DWORD atlBuildVersion;
    void* createWindowList;
    bool destroyHeap;
    GUID* versionGuid;
    DWORD heapCount;
    HANDLE* heaps;
    int heapIndex;
    void* termFunctions;
};

HRESULT WINAPI AtlModuleInit(AtlModuleRecord* module, AtlObjectMapEntry* objectMap, HINSTANCE instance);
HRESULT WINAPI AtlModuleTerm(AtlModuleRecord* module);
HRESULT WINAPI AtlModuleRegisterServer(AtlModuleRecord* module, BOOL registerTypeLib, const CLSID* clsid);
HRESULT WINAPI AtlModuleUpdateRegistryFromResourceD(AtlModuleRecord* module, LPCOLESTR resource, BOOL doRegister,
                                                    void* replacements, void* registrar);
HRESULT WINAPI AtlModuleRegisterClassObjects(AtlModuleRecord* module, DWORD context, DWORD flags);
HRESULT WINAPI AtlModuleRevokeClassObjects(AtlModuleRecord* module);
HRESULT WINAPI AtlModuleRegisterTypeLib(AtlModuleRecord* module, LPCOLESTR index);
}

static_assert(sizeof(AtlModuleRecord) == 132, "the platform's ATL 3.0 module record");
static_assert(sizeof(AtlObjectMapEntry) == 36, "the platform's ATL 3.0 object-map entry");
