// Per-machine registration of the suite's classes and type libraries.
#pragma once

#include <windows.h>

HRESULT RegisterSuite();
HRESULT UnregisterSuite();
