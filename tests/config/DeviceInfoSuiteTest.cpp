// The device-information reader out of process against the simulated suite, as
// the server uses it: model of a connected phone, model values and lists,
// memory figures and device selection.
#include "phone/DeviceInfoReader.h"

#include "SimulatedPhones.h"
#include "TestSupport.h"
#include "common/Resource.h"
#include "mirror/Configuration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

std::vector<std::wstring> SplitList(const wchar_t* list)
{
    std::vector<std::wstring> entries;
    for (; *list; list += wcslen(list) + 1)
        entries.push_back(list);
    return entries;
}

class DeviceInfoSuite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mirror::ResetConfigurationForTesting();
        mirror::SetVendorName(L"Zentrel");
        phones_.AddPhone(L"p1", L"350000000000001", L"OS-200", 1000000);
        phones_.Connect(L"p1");
    }

    void TearDown() override { mirror::ResetConfigurationForTesting(); }

    SimulatedPhones phones_;
};

TEST_F(DeviceInfoSuite, ReadsModelValuesListsAndMemoryAndFailedCallsGiveEmptyAnswers)
{
    ASSERT_EQ(S_OK, phones_->SetModelList(Bstr(L"Ostrelle").get(), Bstr(L"OS-100, OS-200").get()));
    ASSERT_EQ(S_OK, phones_->SetModelValue(Bstr(L"OS-200").get(), Bstr(L"Ostrelle_Sync").get(), Bstr(L"7").get()));

    std::unique_ptr<CDeviceInfoReader> reader = mirror::OpenDeviceInfoReader();
    ASSERT_TRUE(reader);
    ASSERT_TRUE(reader->IsValid());
    EXPECT_STREQ(L"OS-200", reader->GetModel(L"350000000000001"));
    EXPECT_STREQ(L"", reader->GetModel(L"999"));
    EXPECT_STREQ(L"7", reader->GetModelValue(L"OS-200", L"Ostrelle_Sync"));
    EXPECT_EQ((std::vector<std::wstring>{L"OS-100", L"OS-200"}), SplitList(reader->GetModelList(L"Ostrelle")));
    EXPECT_STREQ(L"1000000", reader->GetMemoryValue(L"350000000000001", L"PHONE"));
    EXPECT_EQ(S_OK, reader->SelectDevice(L"350000000000001"));
    // A failed call gives an empty answer, or no list.
    for (const wchar_t* operation : {L"GetModelValue", L"GetModelList"})
        ASSERT_EQ(S_OK, phones_->SetFault(Bstr(operation).get(), static_cast<LONG>(0x80044001), 1));
    EXPECT_STREQ(L"", reader->GetModelValue(L"OS-200", L"Ostrelle_Sync"));
    EXPECT_EQ(nullptr, reader->GetModelList(L"Ostrelle"));
    ASSERT_EQ(S_OK, phones_->ClearFaults());
    reader.reset();

    EXPECT_EQ(7, mirror::GetModelNumber(L"350000000000001", L"Ostrelle_Sync"));
    EXPECT_EQ(-1, mirror::GetModelNumber(L"999", L"Ostrelle_Sync"));
}

TEST_F(DeviceInfoSuite, NamedSourceAndConnectFailuresMakeTheReaderInvalid)
{
    struct Case {
        const char* name;
        const wchar_t* operation;
        const wchar_t* vendor;
        bool valid;
    };
    const Case cases[] = {
        {"named source accepted", L"", L"Quarnet", true},
        {"source refused", L"SetSource", L"Quarnet", false},
        {"connect refused", L"Connect", L"Zentrel", false},
        {"default form never sets a source", L"SetSource", L"Zentrel", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(S_OK, phones_->ClearFaults());
        if (*c.operation) {
            ASSERT_EQ(S_OK, phones_->SetFault(Bstr(c.operation).get(), static_cast<LONG>(0x80044001), 1));
        }
        mirror::SetVendorName(c.vendor);
        std::unique_ptr<CDeviceInfoReader> reader = mirror::OpenDeviceInfoReader();
        ASSERT_TRUE(reader);
        EXPECT_EQ(c.valid, reader->IsValid());
        if (!c.valid) {
            EXPECT_EQ(nullptr, reader->GetModel(L"350000000000001"));
            EXPECT_EQ(E_FAIL, reader->SelectDevice(L"350000000000001"));
        }
    }
    ASSERT_EQ(S_OK, phones_->ClearFaults());
}

} // namespace
