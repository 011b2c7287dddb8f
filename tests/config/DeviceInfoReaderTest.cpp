// The device-information reader against the simulated suite, as the server uses it.
#include "phone/DeviceInfoReader.h"

#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "mirror/Configuration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;
using Names = std::vector<std::wstring>;

namespace {

const wchar_t kImei[] = L"350000000000001";
const LONG kFault = static_cast<LONG>(0x80044001);

Names SplitList(const wchar_t* list)
{
    Names entries;
    for (; list && *list; list += wcslen(list) + 1)
        entries.push_back(list);
    return entries;
}

class DeviceInfoReader : public testing::Test
{
protected:
    void SetUp() override
    {
        mirror::ResetConfigurationForTesting();
        mirror::SetVendorName(L"Zentrel");
        phones_.AddPhone(L"p1", kImei, L"OS-200", 1000000);
        phones_.Connect(L"p1");
    }
    void TearDown() override { mirror::ResetConfigurationForTesting(); }

    void SetFault(const wchar_t* operation, LONG code = kFault)
    {
        ASSERT_EQ(S_OK, phones_->SetFault(Bstr(operation).get(), code, 1));
    }
    void SetModelValue(const std::wstring& model, const wchar_t* key, const std::wstring& value)
    {
        ASSERT_EQ(S_OK, phones_->SetModelValue(Bstr(model).get(), Bstr(key).get(), Bstr(value).get()));
    }

    SimulatedPhones phones_;
};

TEST_F(DeviceInfoReader, AnswersFromThePhoneAndItsModelAndFailedCallsGiveEmptyAnswers)
{
    ASSERT_EQ(S_OK, phones_->SetModelList(Bstr(L"Ostrelle").get(), Bstr(L"OS-100, OS-200").get()));
    SetModelValue(L"OS-200", L"Ostrelle_Sync", L"7");
    CDeviceInfoReader reader(true);
    ASSERT_TRUE(reader.IsValid());
    EXPECT_FALSE(reader.InitialisedCom());
    EXPECT_STREQ(L"OS-200", reader.GetModel(kImei));
    EXPECT_STREQ(L"", reader.GetModel(L"999"));
    EXPECT_STREQ(L"7", reader.GetModelValue(L"OS-200", L"Ostrelle_Sync"));
    EXPECT_EQ((Names{L"OS-100", L"OS-200"}), SplitList(reader.GetModelList(L"Ostrelle")));
    // The free bytes of a memory, by type or drive.
    phones_.PutBytes(L"ALIAS:p1\\C:\\a.bin", std::vector<unsigned char>(300));
    EXPECT_STREQ(L"999700", reader.GetMemoryValue(kImei, L"PHONE"));
    EXPECT_STREQ(L"512000000", reader.GetMemoryValue(kImei, L"E:"));
    EXPECT_EQ(S_OK, reader.SelectDevice(kImei));

    for (const wchar_t* operation : {L"GetDeviceValue", L"GetModelValue", L"GetModelList", L"GetMemoryValue"})
        SetFault(operation);
    SetFault(L"SelectDevice", static_cast<LONG>(0x80041234));
    EXPECT_STREQ(L"", reader.GetModel(kImei));
    EXPECT_STREQ(L"", reader.GetModelValue(L"OS-200", L"Ostrelle_Sync"));
    EXPECT_EQ(nullptr, reader.GetModelList(L"Ostrelle"));
    EXPECT_STREQ(L"", reader.GetMemoryValue(kImei, L"PHONE"));
    EXPECT_EQ(static_cast<HRESULT>(0x80041234), reader.SelectDevice(kImei));
}

TEST_F(DeviceInfoReader, LongAnswersAreCutAtTheBufferEndAndModelsAt31Characters)
{
    SetModelValue(L"OS-200", L"Fits", std::wstring(4999, L'm'));
    SetModelValue(L"OS-200", L"Long", std::wstring(5000, L'm'));
    ASSERT_EQ(S_OK,
              phones_->SetModelList(Bstr(L"Ostrelle").get(),
                                    Bstr(std::wstring(3000, L'a') + L"," + std::wstring(3000, L'b') + L",c").get()));
    {
        CDeviceInfoReader reader(true);
        EXPECT_EQ(std::wstring(4999, L'm'), reader.GetModelValue(L"OS-200", L"Fits"));
        EXPECT_EQ(std::wstring(4999, L'm'), reader.GetModelValue(L"OS-200", L"Long"));
        // 3001 characters for the first entry, 1997 + 1 for the cut second, 1 for the end.
        EXPECT_EQ((Names{std::wstring(3000, L'a'), std::wstring(1997, L'b')}),
                  SplitList(reader.GetModelList(L"Ostrelle")));
    }

    const std::wstring model(40, L'x');
    phones_.AddPhone(L"p2", L"350000000000002", model);
    SetModelValue(model.substr(0, 31), L"Ostrelle_Sync", L"123456789");
    SetModelValue(model, L"Ostrelle_Sync", L"1");
    wchar_t value[8];
    EXPECT_TRUE(mirror::GetModelValue(L"350000000000002", L"Ostrelle_Sync", value, 8));
    EXPECT_STREQ(L"1234567", value);
    EXPECT_EQ(123456789, mirror::GetModelNumber(L"350000000000002", L"Ostrelle_Sync"));
    EXPECT_EQ(-1, mirror::GetModelNumber(L"999", L"Ostrelle_Sync"));
    EXPECT_EQ(-1, mirror::GetModelNumber(L"350000000000002", L"Unknown"));
    SetModelValue(model.substr(0, 31), L"Ostrelle_Sync", L"abc");
    EXPECT_EQ(0, mirror::GetModelNumber(L"350000000000002", L"Ostrelle_Sync"));
}

// The server's form passes the vendor name unless it is the default one, compared exactly.
TEST_F(DeviceInfoReader, TheServersFormNamesTheVendorUnlessItIsTheDefault)
{
    for (const wchar_t* vendor : {L"Zentrel", L"Quarnet", L"zentrel"}) {
        mirror::SetVendorName(vendor);
        ASSERT_TRUE(mirror::OpenDeviceInfoReader()->IsValid());
        EXPECT_EQ(wcscmp(vendor, L"Zentrel") ? vendor : L"<none>", phones_.LastCall(L"SetSource")) << Narrow(vendor);
    }
}

} // namespace
