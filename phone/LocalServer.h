// The life of a phone suite's local server: its class objects registered while
// it runs, its message loop, and its end a few seconds after its last object.
#pragma once

#include "common/ComPtr.h"

#include <objbase.h>

#include <vector>

class LocalServer
{
public:
    struct ClassObject {
        const CLSID* clsid;
        com_ptr<IClassFactory> factory;
        DWORD cookie;
    };

    // lockCount: the objects and locks that keep the server; idleMilliseconds:
    // how long that count has been zero.
    LocalServer(std::vector<ClassObject> classes, LONG (*lockCount)(), DWORD (*idleMilliseconds)());
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    void RegisterClassObjects();
    void RevokeClassObjects();
    // Serves until idle; the process's exit code.
    int Run();

private:
    void CheckIdle();

    std::vector<ClassObject> classes_;
    LONG (*lockCount_)();
    DWORD (*idleMilliseconds_)();
    DWORD startTick_;
};
