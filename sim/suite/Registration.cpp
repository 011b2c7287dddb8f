#include "Registration.h"

#include "PhoneComponents.h"
#include "SimPhoneSuite.h"
#include "phone/SuiteRegistration.h"

namespace {

// The phone components and the suite's own control; TYPELIB resources 1 the
// phone components, 2 the control.
std::vector<suite_registration::ClassEntry> SuiteClasses()
{
    std::vector<suite_registration::ClassEntry> classes = suite_registration::PhoneComponentClasses();
    classes.push_back(
        {&CLSID_SimPhoneSuite, L"Simulated phone suite control", L"SimPhoneSuite.Control.1", &LIBID_SimPhoneSuiteLib});
    return classes;
}

} // namespace

HRESULT RegisterSuite()
{
    return suite_registration::Register(SuiteClasses(), 2);
}

HRESULT UnregisterSuite()
{
    return suite_registration::Unregister(SuiteClasses(), {&LIBID_PhoneComponentsLib, &LIBID_SimPhoneSuiteLib});
}
