// The one mapping of the phone component's results and the reconnection of a
// vanished component.
#include "phone/PhoneFileSystem.h"

#include "ScriptedComponent.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using phone::MapResult;

TEST(PhoneResult, MapsEveryResultOnce)
{
    // raw, mapped, and whether it says the component's process is gone (0x80004004 is E_ABORT)
    const std::tuple<unsigned long, unsigned long, bool> cases[] = {{0, 0, false},
                                                                    {0x800706BA, 0x800706BA, true},
                                                                    {0x800706BE, 0x800406BE, true},
                                                                    {0x800706BF, 0x800406BF, true},
                                                                    {0x80010108, 0x80040108, true},
                                                                    {0x80010007, 0x80040007, true},
                                                                    {0x80010012, 0x80040012, true},
                                                                    {0x80044252, 0x80004004, false},
                                                                    {0x80004005, 0x80044005, false},
                                                                    {0x12340000, 0x80040000, false}};
    for (const auto& [raw, mapped, died] : cases) {
        EXPECT_EQ(static_cast<HRESULT>(mapped), MapResult(static_cast<HRESULT>(raw))) << std::hex << raw;
        EXPECT_EQ(died, phone::ComponentDied(static_cast<HRESULT>(raw))) << std::hex << raw;
    }
}

namespace {
using testing_support::ScriptedComponent;

// An owner whose connections are numbered: a reconnect asked for by the current
// one makes the next; fresh instances are scripted components of their own.
class CountingOwner : public phone::ComponentOwner
{
public:
    long generation = 0;
    int reconnects = 0;
    std::vector<long> asked; // the generation of every request
    std::vector<com_ptr<ScriptedComponent>> fresh;
    std::vector<HRESULT> freshResults; // the first call of each fresh instance, in turn

    long ComponentGeneration() const override { return generation; }
    void ReconnectPhoneComponent(long asking) override
    {
        asked.push_back(asking);
        if (asking == generation)
            ++generation, ++reconnects;
    }
    HRESULT NewComponent(com_ptr<IVirtualFileSystem>& component) override
    {
        fresh.push_back(ScriptedComponent::Create());
        if (!freshResults.empty()) {
            fresh.back()->results = {freshResults.front()};
            freshResults.erase(freshResults.begin());
        }
        component = com_ptr<IVirtualFileSystem>(fresh.back().get());
        return S_OK;
    }
};

class PhoneFileSystem : public testing::Test
{
protected:
    com_ptr<ScriptedComponent> scripted = ScriptedComponent::Create();
    ScriptedComponent& component = *scripted.get();
    CountingOwner owner;
    phone::PhoneFileSystem phoneFs{&component, &owner};
};
} // namespace

TEST_F(PhoneFileSystem, AVanishedComponentReconnectsOnceAndTheListingIsAskedOfAFreshInstance)
{
    const HRESULT vanished = static_cast<HRESULT>(0x800706BA);
    auto* const callersListener = reinterpret_cast<ITransferListener*>(0x1234);

    // The connection the instance belongs to failed: connected anew.
    component.results = {vanished};
    std::wstring text;
    EXPECT_EQ(vanished, phoneFs.GetImei(L"P", text));
    EXPECT_EQ(std::vector<long>{0}, owner.asked);
    EXPECT_EQ(1, owner.reconnects);

    // The same dead instance again: its connection is replaced, nothing is
    // reconnected; the listing alone is asked once more, of a fresh instance
    // with the caller's listener.
    component.results = {vanished};
    EXPECT_EQ(S_OK, phoneFs.readdir(L"ALIAS:P", callersListener, text));
    EXPECT_EQ(L"<listing of ALIAS:P/>", text);
    EXPECT_EQ((std::vector<long>{0, 0}), owner.asked);
    EXPECT_EQ(1, owner.reconnects);
    EXPECT_EQ((std::vector<std::wstring>{L"GetImei", L"readdir"}), component.calls);
    ASSERT_EQ(1u, owner.fresh.size());
    EXPECT_EQ(std::vector<std::wstring>{L"readdir"}, owner.fresh[0]->calls);
    EXPECT_EQ(callersListener, owner.fresh[0]->lastListener);

    // An instance of the current connection reconnects; a second failure of the
    // fresh instance is not retried again.
    com_ptr<ScriptedComponent> current = ScriptedComponent::Create();
    phone::PhoneFileSystem currentFs{current.get(), &owner};
    current->results = {vanished};
    owner.freshResults = {vanished};
    EXPECT_EQ(vanished, currentFs.readdir(L"ALIAS:P", nullptr, text));
    EXPECT_EQ((std::vector<long>{0, 0, 1}), owner.asked);
    EXPECT_EQ(2, owner.reconnects);
    ASSERT_EQ(2u, owner.fresh.size());
    EXPECT_EQ(std::vector<std::wstring>{L"readdir"}, owner.fresh[1]->calls);
    EXPECT_EQ(std::vector<std::wstring>{L"readdir"}, current->calls);

    // Without an owner it is only reported. (Instances made through the owner, two
    // workers' at once, reconnect once: pinned end to end.)
    phone::PhoneFileSystem ownerless(&component, nullptr);
    component.results = {vanished};
    EXPECT_EQ(vanished, ownerless.readdir(L"", nullptr, text));
    EXPECT_EQ(3u, component.calls.size());
    EXPECT_EQ(2u, owner.fresh.size());
}
