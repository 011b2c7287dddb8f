// Class factories, instance creation and the server lock count.
#include "server/ClassFactory.h"
#include "common/ComObject.h"

#include <gtest/gtest.h>

namespace {
HRESULT g_finalConstructResult = S_OK;
int g_destroyed = 0;

class Thing : public IUnknown, public ObjectRoot
{
public:
    ~Thing() override { ++g_destroyed; }
    HRESULT FinalConstruct() { return g_finalConstructResult; }
    HRESULT InternalQueryInterface(REFIID iid, void** object)
    {
        return IsEqualIID(iid, IID_IUnknown) ? Answer(static_cast<IUnknown*>(this), object) : E_NOINTERFACE;
    }
};

} // namespace

TEST(ClassFactory, EveryLiveObjectAndLockHoldsOneServerLockAndAFailedCreationNone)
{
    server::ClassFactory factory{CreateInstance<Thing>};
    const LONG baseLocks = ModuleLockCount();
    IUnknown* thing = nullptr;
    ASSERT_EQ(S_OK, factory.CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&thing)));
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
    EXPECT_EQ(static_cast<HRESULT>(0x80040154), factory.CreateInstance(nullptr, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(2, g_destroyed);
    g_finalConstructResult = S_OK;
    EXPECT_EQ(E_NOINTERFACE, factory.CreateInstance(nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(3, g_destroyed);
    EXPECT_EQ(baseLocks, ModuleLockCount());
}
