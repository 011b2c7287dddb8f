// The OBEX suite's components in process against an OBEX FTP server of the
// test's own (obexftpd serving a fresh folder), through the configuration the
// suite reads.
#include "DeviceInfo.h"
#include "NotifyRegistry.h"
#include "ObexFileSystem.h"
#include "ObexPeer.h"
#include "PhoneConfig.h"
#include "SimulatedPhones.h"
#include "TestObject.h"
#include "TestSupport.h"
#include "Windows.h"
#include "common/ByteArray.h"

#include <gtest/gtest.h>

#include <thread>

using namespace testing_support;
using obex::ObexFileSystem;

namespace {

const HRESULT kNotFound = static_cast<HRESULT>(0x80044353);
const HRESULT kAlreadyExists = static_cast<HRESULT>(0x80044354);
const HRESULT kFolderNotEmpty = static_cast<HRESULT>(0x8004434C);
const HRESULT kCancelled = static_cast<HRESULT>(0x80044252);
const HRESULT kNoAnswer = static_cast<HRESULT>(0x8004434A);
const HRESULT kNotSupported = static_cast<HRESULT>(0x80046012);
const wchar_t kImei[] = L"350000000000017";

// A path on the peer's one memory.
std::wstring OnPeer(const std::wstring& path)
{
    return L"ALIAS:peer\\C:\\" + path;
}

std::vector<unsigned char> Pattern(size_t size, unsigned seed)
{
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 131 + seed * 7 + (i >> 10)) & 0xFF);
    return bytes;
}

// Counts the callbacks of a transfer; may cancel on its nth status, from another
// thread while the transfer waits in the callback.
class Listener final : public TestObject<ITransferListener>
{
public:
    explicit Listener(IVirtualFileSystem* cancelTarget = nullptr, int cancelAt = 0)
        : target_(cancelTarget), cancelAt_(cancelAt)
    {
    }
    STDMETHODIMP FileStarted() override { return ++started, S_OK; }
    STDMETHODIMP FileFinished() override { return ++finished, S_OK; }
    STDMETHODIMP TotalFiles(LONG) override { return S_OK; }
    STDMETHODIMP CurrentFile(LONG) override { return S_OK; }
    STDMETHODIMP TransferStatus(ULONG transferred, ULONG total) override
    {
        lastTransferred = transferred;
        lastTotal = total;
        if (++statuses == cancelAt_ && target_)
            std::thread([this] { cancelAnswer = target_->Cancel(); }).join();
        return S_OK;
    }

    int started = 0, finished = 0, statuses = 0;
    ULONG lastTransferred = 0, lastTotal = 0;
    HRESULT cancelAnswer = E_PENDING;

private:
    IVirtualFileSystem* target_;
    int cancelAt_;
};

// Records the notifications it hears.
class Sink final : public TestObject<IDeviceNotifySink>
{
public:
    STDMETHODIMP DeviceEvent(LONG, LONG, LONG) override { return S_OK; }
    STDMETHODIMP DeviceEventEx(LONG, LONG, LONG, LONG) override { return S_OK; }
    STDMETHODIMP DeviceDisconnect(BSTR imei, BSTR alias) override
    {
        events.push_back(L"disconnect " + std::wstring(imei) + L" " + alias);
        return S_OK;
    }
    STDMETHODIMP DeviceConnect(BSTR imei, BSTR alias) override
    {
        events.push_back(L"connect " + std::wstring(imei) + L" " + alias);
        return S_OK;
    }
    std::vector<std::wstring> events;
};

class ObexComponents : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The sinks are marshalled through the phone components' type library,
        // which a registered suite provides.
        RegisterPhoneSuite();
        obex::PhoneConfig config;
        config.Remove(L"peer");
        config.Remove(L"gone");
        std::wstring why;
        ASSERT_EQ(S_OK, config.Add({L"peer", ObexPeer::Address(), kImei, L"PeerModel"}, why)) << Narrow(why);
        // Nothing listens on port 1.
        ASSERT_EQ(S_OK, config.Add({L"gone", L"tcp:127.0.0.1:1", L"", L""}, why)) << Narrow(why);
    }
    static void TearDownTestSuite()
    {
        obex::PhoneConfig().Remove(L"peer");
        obex::PhoneConfig().Remove(L"gone");
    }

    com_ptr<ObexFileSystem> fs_ = ObexFileSystem::Create();

    std::wstring ReadDir(const std::wstring& path, HRESULT expected = S_OK)
    {
        unique_bstr listing;
        EXPECT_EQ(expected, fs_->readdir(Bstr(path).get(), listing.put(), nullptr)) << Narrow(path);
        return listing.c_str();
    }

    // A folder the peer can write to: made through OBEX, not as this test's user.
    void PeerFolder(const std::wstring& name) { ASSERT_EQ(S_OK, fs_->mkdir(Bstr(OnPeer(name)).get(), nullptr)); }

    HRESULT Put(const std::wstring& path, const std::vector<unsigned char>& bytes,
                ITransferListener* listener = nullptr)
    {
        LONG handle = 0;
        HRESULT hr = fs_->fopen(ObexFileSystem::WriteMode, Bstr(OnPeer(path)).get(), 1, &handle, listener);
        if (FAILED(hr))
            return hr;
        unique_variant data;
        EXPECT_EQ(S_OK, MakeByteArray(bytes, data.get()));
        hr = fs_->fwrite(*data.get(), handle);
        const HRESULT closed = fs_->fclose(handle);
        return FAILED(hr) ? hr : closed;
    }

    HRESULT Get(const std::wstring& path, std::vector<unsigned char>& bytes, ITransferListener* listener = nullptr)
    {
        bytes.clear();
        LONG handle = 0;
        HRESULT hr = fs_->fopen(ObexFileSystem::ReadMode, Bstr(OnPeer(path)).get(), 1, &handle, listener);
        if (FAILED(hr))
            return hr;
        unique_variant data;
        hr = fs_->fread(data.get(), handle);
        if (SUCCEEDED(hr))
            bytes = BytesOf(*data.get());
        EXPECT_EQ(S_OK, fs_->fclose(handle));
        return hr;
    }
};

} // namespace

TEST_F(ObexComponents, TheRootListsThePhonesThatAnswerAndAPhoneItsOneMemory)
{
    EXPECT_EQ(L"<?xml version=\"1.0\"?>\r\n<folder-listing version=\"1.0\">\r\n"
              L"<folder name=\"peer\" user-perm=\"R\"/>\r\n</folder-listing>\r\n",
              ReadDir(L""));
    EXPECT_EQ(L"<?xml version=\"1.0\"?>\r\n<folder-listing version=\"1.0\">\r\n"
              L"<folder name=\"C:\" label=\"Phone memory\" mem-type=\"DEV\" user-perm=\"RW\"/>\r\n"
              L"</folder-listing>\r\n",
              ReadDir(L"ALIAS:peer"));
    ReadDir(L"ALIAS:gone", kNoAnswer);
    ReadDir(L"ALIAS:nobody", kNotFound);
    ReadDir(OnPeer(L"missing"), kNotFound);
    ReadDir(L"no path", static_cast<HRESULT>(0x80044341));
}

TEST_F(ObexComponents, TransfersReportTheirProgressAndWritesThePhoneDidNotDoFail)
{
    PeerFolder(L"transfer");
    const std::vector<unsigned char> bytes = Pattern(300000, 1);
    const com_ptr<Listener> up = MakeTestObject<Listener>(), down = MakeTestObject<Listener>();
    const std::wstring name = L"transfer\\<odd> \"name\" \u00E9.bin";
    ASSERT_EQ(S_OK, Put(name, bytes, up.get()));
    std::vector<unsigned char> back;
    ASSERT_EQ(S_OK, Get(name, back, down.get()));
    EXPECT_TRUE(back == bytes);
    for (const Listener* listener : {up.get(), down.get()}) {
        EXPECT_EQ(1, listener->started);
        EXPECT_EQ(1, listener->finished);
        EXPECT_EQ(5, listener->statuses) << "one status each 64 KiB and the last";
        EXPECT_EQ(300000u, listener->lastTransferred);
        EXPECT_EQ(300000u, listener->lastTotal);
    }

    // obexftpd takes a PUT with an empty body for a delete and makes no file: the
    // write is no success. An empty file reads back.
    EXPECT_EQ(static_cast<HRESULT>(0x80044342), Put(L"transfer\\empty", {}));
    EXPECT_FALSE(FileExists(ObexPeer::Dir() + L"\\transfer\\empty"));
    WriteBytes(ObexPeer::Dir() + L"\\transfer\\pcempty", {});
    ASSERT_EQ(S_OK, Get(L"transfer\\pcempty", back));
    EXPECT_TRUE(back.empty());
    EXPECT_EQ(kNotFound, Get(L"transfer\\none", back));
    EXPECT_EQ(kNotFound, Put(L"nofolder\\x", bytes));

    // obexftpd answers an overwrite with success and keeps the old file: of another size, and of the same.
    ASSERT_EQ(S_OK, Put(L"transfer\\same.txt", {'o', 'n', 'e'}));
    EXPECT_EQ(kAlreadyExists, Put(L"transfer\\same.txt", {'t', 'w', 'o', '!'}));
    EXPECT_EQ(kAlreadyExists, Put(L"transfer\\same.txt", {'t', 'w', 'o'}));
    EXPECT_EQ((std::vector<unsigned char>{'o', 'n', 'e'}), ReadBytes(ObexPeer::Dir() + L"\\transfer\\same.txt"));
    EXPECT_EQ(kAlreadyExists, Put(L"transfer", {'x'}));
}

TEST_F(ObexComponents, FolderAndDeleteRefusalsHaveTheSuitesCodes)
{
    PeerFolder(L"made");
    MakeFolders(ObexPeer::Dir(), {L"\\made\\inner"});
    const struct {
        HRESULT got;
        HRESULT expected;
    } cases[] = {
        {fs_->mkdir(Bstr(OnPeer(L"made")).get(), nullptr), kAlreadyExists},
        {fs_->rmdir(Bstr(OnPeer(L"made")).get(), nullptr), kFolderNotEmpty},
        {fs_->rmdir(Bstr(OnPeer(L"missing")).get(), nullptr), kNotFound},
        {fs_->deletefile(Bstr(OnPeer(L"made\\missing.txt")).get(), nullptr), kNotFound},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, c.got) << &c - cases;
    EXPECT_TRUE(DirectoryExists(ObexPeer::Dir() + L"\\made\\inner"));
}

// A download cancelled on the server's progress dialog: see the server's end-to-end test.
TEST_F(ObexComponents, CancelFromAnotherThreadAbortsAnUploadAndLeavesNoPartOfTheFile)
{
    PeerFolder(L"cancel");
    const com_ptr<Listener> up = MakeTestObject<Listener>(fs_.get(), 2);
    EXPECT_EQ(kCancelled, Put(L"cancel\\up.bin", Pattern(1000000, 4), up.get()));
    EXPECT_EQ(S_OK, up->cancelAnswer);
    EXPECT_EQ(2, up->statuses) << "no packet after the cancel";
    EXPECT_EQ(0, up->finished);
    EXPECT_FALSE(FileExists(ObexPeer::Dir() + L"\\cancel\\up.bin")) << "nothing of a cancelled new file stays";

    // The session goes on, and a cancel with no transfer running reaches no later one.
    EXPECT_EQ(S_OK, fs_->Cancel());
    ASSERT_EQ(S_OK, Put(L"cancel\\up.bin", Pattern(1000, 4)));
    EXPECT_TRUE(ReadBytes(ObexPeer::Dir() + L"\\cancel\\up.bin") == Pattern(1000, 4));
}

TEST_F(ObexComponents, CapabilityAndDeviceInformationOfAPhoneWithoutACapabilityObject)
{
    unique_variant capability;
    EXPECT_EQ(kNotSupported, fs_->ReadObexCapability(Bstr(L"ALIAS:peer").get(), 1000, capability.get()));
    const com_ptr<obex::DeviceInfo> info = obex::DeviceInfo::Create();
    BSTR value = nullptr;
    ASSERT_EQ(S_OK, info->GetDeviceValue(Bstr(kImei).get(), Bstr(L"Model").get(), 0, &value));
    EXPECT_EQ(L"PeerModel", std::wstring(unique_bstr(value).c_str()));
    unique_safearray models;
    ASSERT_EQ(S_OK, info->GetModelList(Bstr(L"Ostrelle").get(), models.put()));
    const safearray_data names(models.get());
    ASSERT_EQ(2u, models.get()->rgsabound[0].cElements);
    const BSTR* list = static_cast<BSTR*>(names.get());
    EXPECT_EQ((std::vector<std::wstring>{L"OBEX FTP phone", L"PeerModel"}),
              (std::vector<std::wstring>{list[0], list[1]}));
    EXPECT_EQ(kNotFound, info->GetMemoryValue(Bstr(kImei).get(), Bstr(L"DEV").get(), &value))
        << "without figures from the phone the free memory is unknown";
}

TEST_F(ObexComponents, SinksHearWhenAPhoneStopsAndStartsAnswering)
{
    // As the server does: the root listing first, then the registration.
    ReadDir(L"");
    const com_ptr<obex::NotifyRegistry> registry = obex::NotifyRegistry::Create();
    const com_ptr<Sink> sink = MakeTestObject<Sink>();
    LONG cookie = 0;
    ASSERT_EQ(S_OK, registry->Add(sink.get(), &cookie));
    EXPECT_NE(0, cookie);
    ASSERT_TRUE(ObexPeer::Stop());
    EXPECT_TRUE(PumpUntil([&] { return !sink->events.empty(); }, 60000));
    ASSERT_TRUE(ObexPeer::Start());
    EXPECT_TRUE(PumpUntil([&] { return sink->events.size() >= 2; }, 60000));
    // A renamed phone goes under its old name and comes under its new one.
    std::wstring why;
    ASSERT_EQ(S_OK, obex::PhoneConfig().Rename(L"peer", L"peer2", why));
    EXPECT_TRUE(PumpUntil([&] { return sink->events.size() >= 4; }, 60000));
    ASSERT_EQ(S_OK, obex::PhoneConfig().Rename(L"peer2", L"peer", why));
    EXPECT_TRUE(PumpUntil([&] { return sink->events.size() >= 6; }, 60000));
    const std::wstring imei = kImei;
    EXPECT_EQ((std::vector<std::wstring>{L"disconnect " + imei + L" peer", L"connect " + imei + L" peer",
                                         L"disconnect " + imei + L" peer", L"connect " + imei + L" peer2",
                                         L"disconnect " + imei + L" peer2", L"connect " + imei + L" peer"}),
              sink->events);
    // Another registry object removes it: the sinks are the process's.
    EXPECT_EQ(S_OK, obex::NotifyRegistry::Create()->Remove(cookie));
    EXPECT_EQ(E_INVALIDARG, registry->Remove(cookie));
    ReadDir(L"ALIAS:peer");
}
