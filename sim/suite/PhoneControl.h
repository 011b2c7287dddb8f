// The phone-control component: renames a phone, that is its alias in the store.
// Its failure switch is the fault "RenamePhone" of the suite control.
#pragma once

#include "ComObject.h"
#include "PhoneComponents.h"

class PhoneControl : public SuiteObject<PhoneControl, IPhoneControl>
{
public:
    HRESULT STDMETHODCALLTYPE RenamePhone(BSTR oldName, BSTR newName) override;
};
