// The simulated phone suite as a test sees it: registered in the test prefix, with
// a store of its own for the length of a test.
#pragma once

#include "SimPhoneSuite.h"
#include "TestSupport.h"
#include "common/ComPtr.h"

#include <string>

namespace testing_support {

void RegisterPhoneSuite();

class SimulatedPhones
{
public:
    SimulatedPhones();
    SimulatedPhones(const SimulatedPhones&) = delete;
    SimulatedPhones& operator=(const SimulatedPhones&) = delete;
    ~SimulatedPhones();

    ISimPhoneSuite* operator->() const { return control_.get(); }
    const std::wstring& Store() const { return store_.path(); }

    // A phone with memory C: ("Phone memory") and E: ("Memory card"); not connected.
    void AddPhone(const std::wstring& alias, const std::wstring& imei, const std::wstring& model = L"OS-200");
    void Connect(const std::wstring& alias);
    void Disconnect(const std::wstring& alias);
    void MakeFolder(const std::wstring& phonePath);
    void PutText(const std::wstring& phonePath, const std::wstring& text);

private:
    TempDir store_;
    std::wstring previousStore_;
    com_ptr<ISimPhoneSuite> control_;
};

} // namespace testing_support
