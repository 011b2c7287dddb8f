// The phone-commands component: converts a phone file into another format and
// writes the result beside it. Its failure switch is the fault "Convert". The
// recorded call "PhoneCommands" counts the instances made since a test last
// took it; "Convert" holds the arguments of the last conversion.
#pragma once

#include "ComObject.h"
#include "PhoneComponents.h"

class PhoneCommands : public SuiteObject<PhoneCommands, IPhoneCommands>
{
public:
    PhoneCommands();
    HRESULT STDMETHODCALLTYPE Convert(BSTR path, short targetFormat, short sourceFormat, BSTR* newName) override;
};
