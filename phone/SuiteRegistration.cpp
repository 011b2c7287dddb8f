#include "SuiteRegistration.h"

#include "PhoneComponents.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <shlwapi.h>

#include <string>

namespace suite_registration {
namespace {

std::wstring GuidText(const GUID& guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

HRESULT SetValue(HKEY parent, const std::wstring& subKey, const wchar_t* name, const std::wstring& value)
{
    unique_hkey key;
    LONG result = RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
    if (result != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(result);
    result = RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(result);
}

HRESULT ModulePath(std::wstring& path)
{
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    path = buffer;
    return S_OK;
}

} // namespace

std::vector<ClassEntry> PhoneComponentClasses()
{
    return {
        {&CLSID_VirtualFileSystem, L"Phone file system", L"SimPhoneSuite.VirtualFileSystem.1",
         &LIBID_PhoneComponentsLib},
        {&CLSID_DeviceNotifyRegistry, L"Device notification registry", L"SimPhoneSuite.DeviceNotifyRegistry.1",
         &LIBID_PhoneComponentsLib},
        {&CLSID_DeviceInformation, L"Device information", L"SimPhoneSuite.DeviceInformation.1",
         &LIBID_PhoneComponentsLib},
        {&CLSID_PhoneControl, L"Phone control", L"SimPhoneSuite.PhoneControl.1", &LIBID_PhoneComponentsLib},
        {&CLSID_PhoneCommands, L"Phone commands", L"SimPhoneSuite.PhoneCommands.1", &LIBID_PhoneComponentsLib},
        {&CLSID_DataLayer, L"Data layer", L"SimPhoneSuite.DataLayer.1", &LIBID_PhoneComponentsLib},
    };
}

HRESULT Register(const std::vector<ClassEntry>& classes, int typeLibraries)
{
    std::wstring module;
    HRESULT hr = ModulePath(module);
    if (FAILED(hr))
        return hr;
    for (int resource = 1; resource <= typeLibraries; ++resource) {
        std::wstring typeLibPath = module + L"\\" + std::to_wstring(resource);
        com_ptr<ITypeLib> typeLib;
        hr = LoadTypeLibEx(typeLibPath.c_str(), REGKIND_NONE, typeLib.put());
        if (FAILED(hr))
            return hr;
        hr = RegisterTypeLib(typeLib.get(), &typeLibPath[0], nullptr);
        if (FAILED(hr))
            return hr;
    }
    for (const ClassEntry& entry : classes) {
        std::wstring clsid = GuidText(*entry.clsid);
        std::wstring classKey = L"CLSID\\" + clsid;
        if (FAILED(hr = SetValue(HKEY_CLASSES_ROOT, classKey, nullptr, entry.description)) ||
            FAILED(hr = SetValue(HKEY_CLASSES_ROOT, classKey + L"\\LocalServer32", nullptr, L"\"" + module + L"\"")) ||
            FAILED(hr = SetValue(HKEY_CLASSES_ROOT, classKey + L"\\ProgID", nullptr, entry.progId)) ||
            FAILED(hr = SetValue(HKEY_CLASSES_ROOT, classKey + L"\\TypeLib", nullptr, GuidText(*entry.libid))) ||
            FAILED(hr = SetValue(HKEY_CLASSES_ROOT, entry.progId, nullptr, entry.description)) ||
            FAILED(hr = SetValue(HKEY_CLASSES_ROOT, std::wstring(entry.progId) + L"\\CLSID", nullptr, clsid)))
            return hr;
    }
    return S_OK;
}

HRESULT Unregister(const std::vector<ClassEntry>& classes, const std::vector<const GUID*>& libraries)
{
    HRESULT result = S_OK;
    for (const ClassEntry& entry : classes) {
        SHDeleteKeyW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(*entry.clsid)).c_str());
        SHDeleteKeyW(HKEY_CLASSES_ROOT, entry.progId);
    }
    for (const GUID* libid : libraries) {
        HRESULT hr = UnRegisterTypeLib(*libid, 1, 0, LOCALE_NEUTRAL, SYS_WIN32);
        if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED)
            result = hr;
    }
    return result;
}

} // namespace suite_registration
