#include "ErrorNames.h"

#include <cstdint>

namespace client {

namespace {

struct ErrorRange {
    uint32_t first;
    uint32_t last;
    const wchar_t* name;
};

// First match wins: the platform's names come before the phone component's
// range, which shares its facility with them.
const ErrorRange kErrorNames[] = {
    {0x00000000, 0x00000000, L"S_OK"},
    {0x00000001, 0x00000001, L"S_FALSE"},
    {0x80004001, 0x80004001, L"E_NOTIMPL"},
    {0x80004002, 0x80004002, L"E_NOINTERFACE"},
    {0x80004003, 0x80004003, L"E_POINTER"},
    {0x80004004, 0x80004004, L"E_ABORT (cancelled by the user)"},
    {0x80004005, 0x80004005, L"E_FAIL"},
    {0x8000FFFF, 0x8000FFFF, L"E_UNEXPECTED"},
    {0x80010108, 0x80010108, L"RPC_E_DISCONNECTED"},
    {0x80040111, 0x80040111, L"CLASS_E_CLASSNOTAVAILABLE"},
    {0x80040154, 0x80040154, L"REGDB_E_CLASSNOTREG"},
    {0x80070002, 0x80070002, L"ERROR_FILE_NOT_FOUND"},
    {0x80070003, 0x80070003, L"ERROR_PATH_NOT_FOUND"},
    {0x80070005, 0x80070005, L"E_ACCESSDENIED"},
    {0x8007000E, 0x8007000E, L"E_OUTOFMEMORY"},
    {0x80070057, 0x80070057, L"E_INVALIDARG"},
    {0x800700CE, 0x800700CE, L"ERROR_FILENAME_EXCED_RANGE (path too long)"},
    {0x800700EA, 0x800700EA, L"ERROR_MORE_DATA"},
    {0x8007010B, 0x8007010B, L"ERROR_DIRECTORY (not a folder)"},
    {0x800706BA, 0x800706BA, L"RPC_S_SERVER_UNAVAILABLE"},
    {0x800706BE, 0x800706BE, L"RPC_S_CALL_FAILED"},
    {0x80080005, 0x80080005, L"CO_E_SERVER_EXEC_FAILURE"},
    // Phone component codes. The server itself turns 0x4252 into E_ABORT.
    {0x80044252, 0x80044252, L"phone: cancelled by the user"},
    {0x80044360, 0x80044360, L"phone: memory full"},
    {0x80046017, 0x80046017, L"phone: memory full"}, // the user sees the memory-full message for it too
    {0x80040000, 0x8004FFFF, L"phone: failure"},
};

} // namespace

const wchar_t* ErrorName(HRESULT hr)
{
    const uint32_t value = static_cast<uint32_t>(hr);
    for (const ErrorRange& range : kErrorNames) {
        if (value >= range.first && value <= range.last)
            return range.name;
    }
    return nullptr;
}

} // namespace client
