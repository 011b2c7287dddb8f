// Declarations behind QuelvarBase.idl: the SDK's own.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>
