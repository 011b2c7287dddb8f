// The platform and library headers that nearly every source includes; built
// once into the precompiled header. Nothing of the project's own goes here, and
// nothing that brings in <string>: warnings the compiler keeps quiet inside
// system headers come back from a precompiled std::basic_string.
#pragma once

#include <windows.h>

#include <ole2.h>
#include <oleauto.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <utility>
#include <vector>
