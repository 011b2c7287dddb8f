#include "SimulatedPhones.h"

#include "Processes.h"
#include "Windows.h"
#include "common/ByteArray.h"

#include <gtest/gtest.h>

#include <cstring>

namespace testing_support {

namespace {
void Expect(HRESULT hr, const char* what)
{
    EXPECT_EQ(S_OK, hr) << what << " " << HexResult(hr);
}

bool g_suiteRegistered = false;

com_ptr<ISimPhoneSuite> NewControl()
{
    com_ptr<ISimPhoneSuite> control;
    CoCreateInstance(CLSID_SimPhoneSuite, nullptr, CLSCTX_LOCAL_SERVER, IID_ISimPhoneSuite, control.put_void());
    return control;
}

std::wstring SuiteCommand(const wchar_t* option)
{
    return L"\"" + ProductDir() + L"\\SimPhoneSuite.exe\" " + option;
}
} // namespace

unique_bstr Bstr(const std::wstring& text)
{
    return unique_bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

std::vector<unsigned char> BytesOf(const VARIANT& data)
{
    std::vector<unsigned char> bytes;
    ReadByteArray(data, bytes);
    return bytes;
}

void RegisterPhoneSuite()
{
    if (!g_suiteRegistered) {
        EXPECT_EQ(0u, RunProgram(SuiteCommand(L"/RegServer")));
        g_suiteRegistered = true;
    }
}

bool UnregisterPhoneSuite()
{
    // Every suite process is ended, its class objects revoked first.
    for (int attempt = 0; attempt < 4 && !FindProcesses(L"SimPhoneSuite.exe").empty(); ++attempt) {
        if (com_ptr<ISimPhoneSuite> control = NewControl()) {
            long processId = 0;
            control->Kill(&processId);
        }
        WaitForNoProcess(L"SimPhoneSuite.exe", 3000);
    }
    // A suite process that nobody can reach any more may linger under Wine.
    const bool gone = WaitForNoProcess(L"SimPhoneSuite.exe", 10000);
    EXPECT_EQ(0u, RunProgram(SuiteCommand(L"/UnregServer")));
    g_suiteRegistered = false;
    return gone;
}

SimulatedPhones::SimulatedPhones()
{
    RegisterPhoneSuite();
    control_ = NewControl();
    if (!control_) {
        // A suite process ending after its idle time answers no new client: once it
        // has gone, a fresh one does.
        WaitForNoProcess(L"SimPhoneSuite.exe", 30000);
        control_ = NewControl();
    }
    EXPECT_TRUE(control_) << "no control object of the suite";
    if (!control_)
        return;
    unique_bstr previous;
    if (SUCCEEDED(control_->GetStore(previous.put())))
        previousStore_ = previous.c_str();
    Expect(control_->SetStore(Bstr(store_.path()).get()), "SetStore");
    Expect(control_->ClearFaults(), "ClearFaults");
    Expect(control_->SetTransferDelay(0), "SetTransferDelay");
    Expect(control_->SetChunkSize(64 * 1024), "SetChunkSize");
}

SimulatedPhones::~SimulatedPhones()
{
    if (!control_)
        return;
    // A test that ended the suite's process reaches the store setting through a new one.
    if (FAILED(control_->ClearFaults()))
        control_ = NewControl();
    if (control_ && !previousStore_.empty())
        control_->SetStore(Bstr(previousStore_).get());
}

void SimulatedPhones::AddPhone(const std::wstring& alias, const std::wstring& imei, const std::wstring& model,
                               double quotaC)
{
    Expect(control_->AddPhone(Bstr(alias).get(), Bstr(imei).get(), Bstr(model).get()), "AddPhone");
    Expect(control_->AddMemory(Bstr(alias).get(), Bstr(L"C").get(), Bstr(L"Phone memory").get(), Bstr(L"PHONE").get(),
                               quotaC),
           "AddMemory C");
    Expect(control_->AddMemory(Bstr(alias).get(), Bstr(L"E").get(), Bstr(L"Memory card").get(), Bstr(L"MMC").get(),
                               512000000.0),
           "AddMemory E");
}

void SimulatedPhones::Connect(const std::wstring& alias)
{
    Expect(control_->ConnectPhone(Bstr(alias).get()), "ConnectPhone");
}

void SimulatedPhones::Disconnect(const std::wstring& alias)
{
    Expect(control_->DisconnectPhone(Bstr(alias).get()), "DisconnectPhone");
}

void SimulatedPhones::MakeFolder(const std::wstring& phonePath)
{
    Expect(control_->MakeFolder(Bstr(phonePath).get()), "MakeFolder");
}

void SimulatedPhones::PutBytes(const std::wstring& phonePath, const std::vector<unsigned char>& bytes, DATE modified)
{
    unique_variant data;
    Expect(MakeByteArray(bytes, data.put()), "MakeByteArray");
    Expect(control_->PutFile(Bstr(phonePath).get(), *data.get(), modified), "PutFile");
}

bool SimulatedPhones::Has(const std::wstring& phonePath) const
{
    unique_variant data;
    return control_->GetFile(Bstr(phonePath).get(), data.get()) == S_OK;
}

std::wstring SimulatedPhones::LastCall(const wchar_t* operation) const
{
    unique_bstr arguments;
    HRESULT hr = control_->TakeLastCall(Bstr(operation).get(), arguments.put());
    Expect(SUCCEEDED(hr) ? S_OK : hr, "TakeLastCall");
    return hr == S_OK ? arguments.c_str() : L"<none>";
}

long SimulatedPhones::Adds() const
{
    LONG count = -1;
    Expect(control_->GetAddCount(&count), "GetAddCount");
    return count;
}

long SimulatedPhones::FileSystems(long* made) const
{
    LONG alive = -1, madeSoFar = -1;
    Expect(control_->GetFileSystemCount(&alive, &madeSoFar), "GetFileSystemCount");
    if (made)
        *made = madeSoFar;
    return alive;
}

bool SimulatedPhones::WaitForFileSystems(long madeBefore, long alive, DWORD timeoutMs) const
{
    return PumpUntil(
        [&] {
            LONG nowAlive = -1, made = -1;
            return SUCCEEDED(control_->GetFileSystemCount(&nowAlive, &made)) && made > madeBefore && nowAlive == alive;
        },
        timeoutMs);
}

void SimulatedPhones::Kill()
{
    EXPECT_EQ(0u, RunProgram(L"\"" + ProductDir() + L"\\simphone.exe\" kill"));
}

void SimulatedPhones::Reconnect()
{
    control_.reset();
    control_ = NewControl();
    EXPECT_TRUE(control_) << "no control object of a fresh suite";
}

com_ptr<IVirtualFileSystem> SimulatedPhones::NewFileSystem()
{
    com_ptr<IVirtualFileSystem> fileSystem;
    Expect(
        CoCreateInstance(CLSID_VirtualFileSystem, nullptr, CLSCTX_ALL, IID_IVirtualFileSystem, fileSystem.put_void()),
        "creating a phone file system");
    return fileSystem;
}

} // namespace testing_support
