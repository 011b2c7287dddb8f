// Registration and unregistration of the server, its exit codes, and the
// single-instance guard.
#include "ServerRig.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {
const wchar_t kQuelvarClsid[] = L"{820F1B94-1C86-46A4-B1B9-926DE23FA0DB}";
const wchar_t kAppId[] = L"{5E6E47EB-AAEC-4ED2-98AD-D87F53142B88}";
const wchar_t kLibId[] = L"{DAEC737B-8178-434E-A32D-97DDF6F3CFDB}";
const wchar_t kIQuelvar[] = L"{8259B819-C7C4-4265-BECF-A7BB8E7511C5}";

unique_hkey OpenKey(const std::wstring& path)
{
    unique_hkey key;
    RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put());
    return key;
}
bool KeyExists(const std::wstring& path)
{
    return static_cast<bool>(OpenKey(path));
}

// The string value, or "<missing>".
std::wstring Value(const std::wstring& path, const wchar_t* name = nullptr)
{
    wchar_t data[1024] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    unique_hkey key = OpenKey(path);
    if (!key || RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size))
        return L"<missing>";
    return data;
}

DWORD RunServer(const std::wstring& arguments)
{
    return RunProgram(L"\"" + ServerExe() + L"\" " + arguments);
}

const struct {
    const wchar_t* clsid;
    const wchar_t* progId;
    const wchar_t* versionIndependent;
} kClasses[] = {
    {kQuelvarClsid, L"ZentrelCL.Quelvar.1", L"ZentrelCL.Quelvar"},
    {L"{1E22F404-6740-4F5D-ACA6-7A520B86E46E}", L"ZentrelCL.QuelvarSingleton.1", L"ZentrelCL.QuelvarSingleton"},
    {L"{FF800522-6A22-4055-8E05-AB21D5157288}", L"ZentrelCL.PIUpdate.1", L"ZentrelCL.PIUpdate"},
};

} // namespace

TEST(Registration, UnregServerRemovesEverythingButTheParentsAndRegServerWritesWhatClientsLookUp)
{
    KillProcesses(L"ZentrelQuelvar.exe");
    ASSERT_EQ(0u, RunServer(L"/RegServer"));
    ASSERT_EQ(0u, RunServer(L"-unregserver"));
    for (const auto& c : kClasses) {
        EXPECT_FALSE(KeyExists(c.progId));
        EXPECT_FALSE(KeyExists(c.versionIndependent));
        EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + c.clsid));
    }
    for (const std::wstring& key : {std::wstring(L"AppID\\") + kAppId, std::wstring(L"AppID\\ZentrelQuelvar.EXE"),
                                    std::wstring(L"TypeLib\\") + kLibId, std::wstring(L"Interface\\") + kIQuelvar})
        EXPECT_FALSE(KeyExists(key)) << Narrow(key);
    EXPECT_TRUE(KeyExists(L"CLSID"));
    EXPECT_TRUE(KeyExists(L"AppID"));

    // A switch followed by a word serves (and so keeps running) and registers nothing.
    unique_handle server(StartProgram(L"\"" + ServerExe() + L"\" /RegServer please"));
    ASSERT_TRUE(server);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(server.get(), 3000));
    EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + kQuelvarClsid));
    // A second instance finds the first one's mutex and ends with 0 instead of
    // serving (a serving instance without objects would not end: a hang).
    EXPECT_EQ(0u, RunServer(L"-Embedding"));

    // Registration switches still work in a second instance.
    ASSERT_EQ(0u, RunServer(L"/regserver"));
    for (const auto& c : kClasses) {
        SCOPED_TRACE(Narrow(c.progId));
        const std::wstring key = std::wstring(L"CLSID\\") + c.clsid;
        for (const std::wstring& progId : {std::wstring(c.progId), std::wstring(c.versionIndependent)})
            EXPECT_EQ(0, _wcsicmp(c.clsid, Value(progId + L"\\CLSID").c_str())) << Narrow(Value(progId + L"\\CLSID"));
        EXPECT_EQ(c.progId, Value(std::wstring(c.versionIndependent) + L"\\CurVer"));
        EXPECT_EQ(c.progId, Value(key + L"\\ProgID"));
        EXPECT_EQ(c.versionIndependent, Value(key + L"\\VersionIndependentProgID"));
        EXPECT_EQ(kAppId, Value(key, L"AppID"));
        EXPECT_EQ(kLibId, Value(key + L"\\TypeLib"));
        EXPECT_EQ(0, _wcsicmp(ServerExe().c_str(), Value(key + L"\\LocalServer32").c_str()))
            << Narrow(Value(key + L"\\LocalServer32"));
    }
    EXPECT_EQ(kAppId, Value(L"AppID\\ZentrelQuelvar.EXE", L"AppID"));
    EXPECT_TRUE(KeyExists(std::wstring(L"TypeLib\\") + kLibId + L"\\1.0"));
    EXPECT_TRUE(KeyExists(std::wstring(L"Interface\\") + kIQuelvar));
    EXPECT_FALSE(KeyExists(L"CLSID\\{4AFD36B6-B6CE-4315-A0D8-A07435C8D44C}")) << "PIUpdateListener is not creatable";

    // A server without objects waits for ever; one object and its release end it
    // the ordinary way, its class objects revoked.
    ASSERT_TRUE(CreateLocal<IUnknown>(CLSID_PIUpdate, IID_IUnknown));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(server.get(), 20000));
}
