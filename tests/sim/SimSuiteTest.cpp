// What the server's tests take for given in the simulated phone suite, driven out
// of process through COM: the listings and their failures. What the tests see of
// the calls is proven by the main object's tests that read it; everything else
// the suite does is exercised by the tests that use it.
#include "PhoneComponents.h"
#include "SimPhoneSuite.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80044343);
constexpr HRESULT kBadPath = static_cast<HRESULT>(0x80044341);

#define EXPECT_HR(expected, call) EXPECT_EQ(HexResult(expected), HexResult(call))

const std::wstring kHead = L"<?xml version=\"1.0\"?>\r\n<folder-listing version=\"1.0\">\r\n";
const std::wstring kTail = L"</folder-listing>\r\n";

// Every test starts with "Phone1" connected.
class SimSuite : public testing::Test
{
protected:
    void SetUp() override
    {
        phones_.AddPhone(L"Phone1", L"350000000000001");
        phones_.Connect(L"Phone1");
        vfs_ = phones_.NewFileSystem();
        ASSERT_TRUE(vfs_);
    }

    HRESULT ReadDir(const std::wstring& path, std::wstring* listing = nullptr)
    {
        unique_bstr text;
        HRESULT hr = vfs_->readdir(Bstr(path).get(), text.put(), nullptr);
        if (listing)
            *listing = text.c_str();
        return hr;
    }

    // The listing of a folder that must be readable.
    std::wstring List(const std::wstring& path)
    {
        std::wstring listing;
        EXPECT_EQ(S_OK, ReadDir(path, &listing)) << Narrow(path);
        return listing;
    }

    SimulatedPhones phones_;
    com_ptr<IVirtualFileSystem> vfs_;
};

TEST_F(SimSuite, ListingsOfTheRootAPhoneAndAMemoryAndTheirFailures)
{
    phones_.AddPhone(L"Off", L"350000000000002");
    EXPECT_EQ(kHead + L"<folder name=\"Phone1\" user-perm=\"R\"/>\r\n" + kTail, List(L""));
    EXPECT_EQ(kHead +
                  L"<folder name=\"C:\" label=\"Phone memory\" mem-type=\"PHONE\" user-perm=\"RW\"/>\r\n"
                  L"<folder name=\"E:\" label=\"Memory card\" mem-type=\"MMC\" user-perm=\"RW\"/>\r\n" +
                  kTail,
              List(L"ALIAS:Phone1"));
    EXPECT_EQ(kHead + kTail, List(L"ALIAS:Phone1\\C:"));

    // A name whose stored form would not fit a PC path is refused, never cut.
    const std::wstring longPath = L"ALIAS:Phone1\\C:\\" + std::wstring(240, L'n');
    const std::pair<std::wstring, HRESULT> cases[] = {
        {L"ALIAS:Nobody", kNotFound},
        {L"ALIAS:Phone1\\D:", kNotFound},
        {L"ALIAS:Phone1\\C:\\Missing", kNotFound},
        {L"ALIAS:Off", kNotFound},
        {L"Phone1", kBadPath},
        {L"ALIAS:Phone1\\C:\\\\x", kBadPath},
        {longPath, kBadPath},
    };
    for (const auto& [path, expected] : cases) {
        std::wstring listing = L"stale";
        EXPECT_HR(expected, ReadDir(path, &listing)) << Narrow(path);
        EXPECT_EQ(L"", listing);
    }
}

} // namespace
