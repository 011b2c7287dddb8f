#include "Components.h"
#include "PhoneConfig.h"
#include "Processes.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "common/ComPtr.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

std::wstring LocalServerOf(const CLSID& clsid)
{
    wchar_t guid[40];
    StringFromGUID2(clsid, guid, 40);
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    RegGetValueW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + guid + L"\\LocalServer32").c_str(), nullptr,
                 RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

std::wstring ObexCommand(const std::wstring& arguments)
{
    return L"\"" + ProductDir() + L"\\ObexPhones.exe\" " + arguments;
}

// The OBEX suite registered for the test's length; the simulated suite is
// registered again afterwards and the test's phones removed, whatever happened.
class ObexSuiteRegistered
{
public:
    ObexSuiteRegistered()
    {
        // A simulated suite still running would answer the activations.
        WaitForNoProcess(L"SimPhoneSuite.exe", 30000);
        EXPECT_EQ(0u, RunProgram(ObexCommand(L"/RegServer")));
    }
    ~ObexSuiteRegistered()
    {
        for (const wchar_t* alias : {L"obex-e2e-old", L"obex-e2e-new"})
            obex::PhoneConfig().Remove(alias);
        EXPECT_TRUE(WaitForNoProcess(L"ObexPhones.exe", 60000)) << "the server ends once idle";
        RegisterPhoneSuite();
    }
};

} // namespace

TEST(ObexPhonesServer, RegisteredInPlaceOfTheSimulatedSuiteAndRenamesAConfiguredPhone)
{
    {
        ObexSuiteRegistered registered;
        for (const CLSID* clsid : {&CLSID_VirtualFileSystem, &CLSID_DeviceNotifyRegistry, &CLSID_DeviceInformation,
                                   &CLSID_PhoneControl, &CLSID_PhoneCommands, &CLSID_DataLayer})
            EXPECT_EQ(L"\"" + ProductDir() + L"\\ObexPhones.exe\"", LocalServerOf(*clsid));
        ASSERT_EQ(0u, RunProgram(ObexCommand(L"add obex-e2e-old tcp:127.0.0.1:650 --model E2E")));

        com_ptr<IPhoneControl> control;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PhoneControl, nullptr, CLSCTX_LOCAL_SERVER, IID_IPhoneControl,
                                         control.put_void()));
        EXPECT_EQ(S_OK, control->RenamePhone(Bstr(L"obex-e2e-old").get(), Bstr(L"obex-e2e-new").get()));
        EXPECT_EQ(obex::config_error::NotFound,
                  control->RenamePhone(Bstr(L"obex-e2e-old").get(), Bstr(L"obex-e2e-x").get()));
        obex::PhoneEntry phone;
        EXPECT_EQ(obex::config_error::NotFound, obex::PhoneConfig().Find(L"obex-e2e-old", phone));
        ASSERT_EQ(S_OK, obex::PhoneConfig().Find(L"obex-e2e-new", phone));
        EXPECT_EQ(L"tcp:127.0.0.1:650", phone.address);
        EXPECT_EQ(L"E2E", phone.model);

        com_ptr<IPhoneCommands> commands;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PhoneCommands, nullptr, CLSCTX_LOCAL_SERVER, IID_IPhoneCommands,
                                         commands.put_void()));
        BSTR newName = nullptr;
        EXPECT_EQ(obex::kNotSupported, commands->Convert(Bstr(L"obex-e2e-new\\a.amr").get(), 1, 2, &newName));
        com_ptr<IVirtualFileSystem> files;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VirtualFileSystem, nullptr, CLSCTX_LOCAL_SERVER, IID_IVirtualFileSystem,
                                         files.put_void()));
        BSTR imei = nullptr;
        ASSERT_EQ(S_OK, files->GetImei(Bstr(L"obex-e2e-new").get(), &imei));
        EXPECT_EQ(phone.imei, std::wstring(imei));
        SysFreeString(imei);
        EXPECT_EQ(static_cast<HRESULT>(0x80044353), files->GetImei(Bstr(L"obex-e2e-old").get(), &imei));
    }
    EXPECT_EQ(L"\"" + ProductDir() + L"\\SimPhoneSuite.exe\"", LocalServerOf(CLSID_PhoneControl));
}
