#include "PhoneFile.h"

#include "common/ErrorFlow.h"

#include <shlwapi.h>

namespace fileops {

void ShowPhoneItem(COperationListener* listener, const std::wstring& phonePath)
{
    if (listener)
        listener->SetItemText(PathFindFileNameW(phonePath.c_str()));
}

PhoneFile::PhoneFile(phone::PhoneFileSystem& phoneFs, phone::OpenMode mode, const std::wstring& phonePath,
                     COperationListener* listener, HMODULE graphics)
    : phoneFs_(phoneFs)
{
    ShowPhoneItem(listener, phonePath);
    if (listener)
        listener->SetAnimation(graphics, ProgressAnimationId());
    try {
        handle_ = phoneFs_.fopen(mode, phonePath, listener);
    } catch (const _com_error& error) {
        QTRACE(L"(): VFSfopen failed! (file = %s, hr = 0x%X)\n", phonePath.c_str(), error.Error());
        throw;
    }
    open_ = true;
}

PhoneFile::~PhoneFile()
{
    if (open_)
        Guarded([&]() -> HRESULT {
            Close();
            return S_OK;
        });
}

void PhoneFile::Close()
{
    open_ = false;
    try {
        phoneFs_.fclose(handle_);
    } catch (const _com_error& error) {
        QTRACE(L"(): VFSfclose failed! (hr = 0x%X)\n", error.Error());
        throw;
    }
}

} // namespace fileops
