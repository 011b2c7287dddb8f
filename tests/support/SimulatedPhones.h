// The simulated phone suite as a test sees it: registered in the test prefix, with
// a store of its own for the length of a test and no faults or slow-down left
// from an earlier test.
#pragma once

#include "PhoneComponents.h"
#include "SimPhoneSuite.h"
#include "TestSupport.h"
#include "common/ComPtr.h"
#include "common/Resource.h"

#include <string>
#include <vector>

namespace testing_support {

void RegisterPhoneSuite();
// Ends every suite process and removes the suite's registration, so that no phone
// component can be made; false when a process nobody can reach lingered.
// RegisterPhoneSuite registers it again.
bool UnregisterPhoneSuite();

unique_bstr Bstr(const std::wstring& text);
// The bytes of a byte-array VARIANT; none for anything else.
std::vector<unsigned char> BytesOf(const VARIANT& data);

class SimulatedPhones
{
public:
    SimulatedPhones();
    SimulatedPhones(const SimulatedPhones&) = delete;
    SimulatedPhones& operator=(const SimulatedPhones&) = delete;
    // The store setting is the machine's: it is left as it was found.
    ~SimulatedPhones();

    ISimPhoneSuite* operator->() const { return control_.get(); }
    const std::wstring& Store() const { return store_.path(); }

    // A phone with memory C: ("Phone memory", PHONE) and E: ("Memory card", MMC); not connected.
    void AddPhone(const std::wstring& alias, const std::wstring& imei, const std::wstring& model = L"OS-200",
                  double quotaC = 64000000.0);
    void Connect(const std::wstring& alias);
    void Disconnect(const std::wstring& alias);
    void MakeFolder(const std::wstring& phonePath);
    void PutBytes(const std::wstring& phonePath, const std::vector<unsigned char>& bytes, DATE modified = 0);
    bool Has(const std::wstring& phonePath) const;
    // The arguments of the operation's last call that reached the suite since the
    // previous question ("<none>" when none came).
    std::wstring LastCall(const wchar_t* operation) const;
    // Registrations for notifications the suite's process has taken since it started.
    long Adds() const;
    // Phone file-system instances alive in the suite's process (and made since it started).
    long FileSystems(long* made = nullptr) const;
    // Waits until more than `madeBefore` phone file-system instances were made and
    // `alive` are alive: a worker has made its own and released it again; false on
    // time-out (a hang).
    bool WaitForFileSystems(long madeBefore, long alive, DWORD timeoutMs = 120000) const;
    // Ends the suite's process at once, as a crash would; from any thread.
    static void Kill();
    // After a Kill: the control object of a fresh process, which finds the
    // phones in the store.
    void Reconnect();
    // A phone file-system component of its own, as the server makes one per call.
    static com_ptr<IVirtualFileSystem> NewFileSystem();

private:
    TempDir store_;
    std::wstring previousStore_;
    com_ptr<ISimPhoneSuite> control_;
};

} // namespace testing_support
