// One open phone file, from fopen to fclose, with its name and the animation
// on the progress dialog while it is worked on.
#pragma once

#include "fileops/OperationListener.h"
#include "phone/PhoneFileSystem.h"

#include <string>

namespace fileops {

// Line 2 of the progress dialog: the last component of a phone path.
void ShowPhoneItem(COperationListener* listener, const std::wstring& phonePath);

class PhoneFile
{
public:
    // Opens the file, line 2 and the animation set just before; throws the
    // open's failure. The listener (may be null) receives the transfer's
    // progress and stays with the component until the file is closed.
    PhoneFile(phone::PhoneFileSystem& phoneFs, phone::OpenMode mode, const std::wstring& phonePath,
              COperationListener* listener, HMODULE graphics);
    PhoneFile(const PhoneFile&) = delete;
    PhoneFile& operator=(const PhoneFile&) = delete;
    // Closes a file still open; that close's failure is lost.
    ~PhoneFile();

    // Each throws the component's failure.
    void Read(VARIANT* data) { phoneFs_.fread(data, handle_); }
    void Write(const VARIANT& data) { phoneFs_.fwrite(data, handle_); }
    void SetTime(DATE modified) { phoneFs_.fsettime(handle_, modified); }
    DATE GetTime() { return phoneFs_.fgettime(handle_); }
    // The file counts as closed afterwards, also when the close throws.
    void Close();

private:
    phone::PhoneFileSystem& phoneFs_;
    long handle_ = 0;
    bool open_ = false;
};

} // namespace fileops
