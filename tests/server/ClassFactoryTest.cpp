// Class factories, instance creation and the server lock count.
#include "server/ClassFactory.h"
#include "common/ComObject.h"

#include <gtest/gtest.h>

namespace {
// {7F1C2E3A-6B4D-4E8F-9A0B-1C2D3E4F5A6B}
const IID IID_ITestThing = {0x7f1c2e3a, 0x6b4d, 0x4e8f, {0x9a, 0x0b, 0x1c, 0x2d, 0x3e, 0x4f, 0x5a, 0x6b}};

struct ITestThing : IUnknown {
};

HRESULT g_finalConstructResult = S_OK;
int g_destroyed = 0;

class Thing : public ITestThing, public ObjectRoot
{
public:
    ~Thing() override { ++g_destroyed; }
    HRESULT FinalConstruct() { return g_finalConstructResult; }
    HRESULT InternalQueryInterface(REFIID iid, void** object)
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ITestThing))
            return Answer(static_cast<ITestThing*>(this), object);
        return E_NOINTERFACE;
    }
};

class ClassFactoryTest : public testing::Test
{
protected:
    void SetUp() override
    {
        g_finalConstructResult = S_OK;
        g_destroyed = 0;
        baseLocks = ModuleLockCount();
    }
    server::ClassFactory factory{CreateInstance<Thing>};
    LONG baseLocks = 0;
};
} // namespace

TEST_F(ClassFactoryTest, EveryLiveObjectAndLockHoldsOneServerLockAndAFailedCreationNone)
{
    ITestThing* thing = nullptr;
    ASSERT_EQ(S_OK, factory.CreateInstance(nullptr, IID_ITestThing, reinterpret_cast<void**>(&thing)));
    EXPECT_EQ(baseLocks + 1, ModuleLockCount());
    EXPECT_EQ(S_OK, factory.LockServer(TRUE));
    EXPECT_EQ(baseLocks + 2, ModuleLockCount());
    thing->Release();
    EXPECT_EQ(1, g_destroyed);
    EXPECT_EQ(baseLocks + 1, ModuleLockCount());
    EXPECT_EQ(S_OK, factory.LockServer(FALSE));
    EXPECT_EQ(baseLocks, ModuleLockCount());

    // A failed construction or query destroys the object and leaves no lock.
    g_finalConstructResult = static_cast<HRESULT>(0x80040154);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(static_cast<HRESULT>(0x80040154), factory.CreateInstance(nullptr, IID_ITestThing, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(2, g_destroyed);
    g_finalConstructResult = S_OK;
    EXPECT_EQ(E_NOINTERFACE, factory.CreateInstance(nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(3, g_destroyed);
    EXPECT_EQ(baseLocks, ModuleLockCount());
}
