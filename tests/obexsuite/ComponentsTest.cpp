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

std::wstring Env(const char* name)
{
    const char* value = getenv(name);
    return value ? Widen(value) : L"";
}

std::wstring Served()
{
    return Env("OBEX_PEER_DIR");
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
        if (++statuses == cancelAt_ && target_) {
            HRESULT answer = E_FAIL;
            std::thread canceller([&] { answer = target_->Cancel(); });
            canceller.join();
            cancelAnswer = answer;
        }
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
        obex::PhoneConfig config;
        config.Remove(L"peer");
        config.Remove(L"gone");
        std::wstring why;
        ASSERT_EQ(S_OK, config.Add({L"peer", L"tcp:127.0.0.1:" + Env("OBEX_PEER_PORT"), kImei, L"PeerModel"}, why))
            << Narrow(why);
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
        BSTR listing = nullptr;
        EXPECT_EQ(expected, fs_->readdir(Bstr(path).get(), &listing, nullptr)) << Narrow(path);
        std::wstring text = listing ? listing : L"";
        SysFreeString(listing);
        return text;
    }

    // A folder the peer can write to: made through OBEX, not as this test's user.
    void PeerFolder(const std::wstring& name)
    {
        ASSERT_EQ(S_OK, fs_->mkdir(Bstr(L"ALIAS:peer\\C:\\" + name).get(), nullptr));
    }

    HRESULT Put(const std::wstring& path, const std::vector<unsigned char>& bytes,
                ITransferListener* listener = nullptr, DATE modified = 0)
    {
        LONG handle = 0;
        HRESULT hr = fs_->fopen(ObexFileSystem::WriteMode, Bstr(path).get(), 1, &handle, listener);
        if (FAILED(hr))
            return hr;
        unique_variant data;
        EXPECT_EQ(S_OK, MakeByteArray(bytes, data.get()));
        hr = fs_->fwrite(*data.get(), handle);
        if (SUCCEEDED(hr) && modified != 0) {
            EXPECT_EQ(S_OK, fs_->fsettime(handle, modified));
        }
        const HRESULT closed = fs_->fclose(handle);
        return FAILED(hr) ? hr : closed;
    }

    HRESULT Get(const std::wstring& path, std::vector<unsigned char>& bytes, ITransferListener* listener = nullptr,
                DATE* modified = nullptr)
    {
        bytes.clear();
        LONG handle = 0;
        HRESULT hr = fs_->fopen(ObexFileSystem::ReadMode, Bstr(path).get(), 1, &handle, listener);
        if (FAILED(hr))
            return hr;
        unique_variant data;
        hr = fs_->fread(data.get(), handle);
        if (SUCCEEDED(hr))
            bytes = BytesOf(*data.get());
        if (modified) {
            EXPECT_EQ(S_OK, fs_->fgettime(handle, modified));
        }
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
    ReadDir(L"ALIAS:peer\\C:\\missing", kNotFound);
    ReadDir(L"no path", static_cast<HRESULT>(0x80044341));
}

TEST_F(ObexComponents, AFolderListsItsItemsUnderTheirTrueNamesWithTheMemoryType)
{
    MakeFolders(Served(), {L"\\listed", L"\\listed\\Ordner \u00C4 & B"});
    WriteText(Served() + L"\\listed\\a&b.txt", "123456");
    const std::wstring listing = ReadDir(L"ALIAS:peer\\C:\\listed");
    EXPECT_NE(std::wstring::npos, listing.find(L"<folder name=\"Ordner \u00C4 &amp; B\" size=\"4096\""))
        << Narrow(listing);
    EXPECT_NE(std::wstring::npos, listing.find(L"<file name=\"a&amp;b.txt\" size=\"6\"")) << Narrow(listing);
    EXPECT_NE(std::wstring::npos, listing.find(L"mem-type=\"DEV\"/>\n<file")) << Narrow(listing);
    EXPECT_EQ(std::wstring::npos, listing.find(L"Z\"")) << "times are local, without the UTC mark";
}

TEST_F(ObexComponents, UploadAndDownloadAreByteExactWithTheirCallbacks)
{
    PeerFolder(L"transfer");
    const std::vector<unsigned char> bytes = Pattern(300000, 1);
    const com_ptr<Listener> up = MakeTestObject<Listener>();
    const std::wstring name = L"ALIAS:peer\\C:\\transfer\\<odd> \"name\" \u00E9.bin";
    ASSERT_EQ(S_OK, Put(name, bytes, up.get()));
    EXPECT_EQ(1, up->started);
    EXPECT_EQ(1, up->finished);
    EXPECT_EQ(5, up->statuses) << "one status each 64 KiB and the last";
    EXPECT_EQ(300000u, up->lastTransferred);
    EXPECT_EQ(300000u, up->lastTotal);

    const com_ptr<Listener> down = MakeTestObject<Listener>();
    std::vector<unsigned char> back;
    DATE modified = 0;
    ASSERT_EQ(S_OK, Get(name, back, down.get(), &modified));
    EXPECT_TRUE(back == bytes);
    EXPECT_EQ(1, down->started);
    EXPECT_EQ(1, down->finished);
    EXPECT_EQ(5, down->statuses);
    EXPECT_EQ(300000u, down->lastTransferred);
    EXPECT_GT(modified, 40000.0);

    // obexftpd takes a PUT with an empty body for a delete and makes no file: the
    // write is no success. A file written by a plain PC program reads back.
    EXPECT_EQ(static_cast<HRESULT>(0x80044342), Put(L"ALIAS:peer\\C:\\transfer\\empty", {}));
    EXPECT_FALSE(FileExists(Served() + L"\\transfer\\empty"));
    WriteBytes(Served() + L"\\transfer\\pcempty", {});
    ASSERT_EQ(S_OK, Get(L"ALIAS:peer\\C:\\transfer\\pcempty", back));
    EXPECT_TRUE(back.empty());
    WriteBytes(Served() + L"\\transfer\\pc.bin", Pattern(5000, 2));
    ASSERT_EQ(S_OK, Get(L"ALIAS:peer\\C:\\transfer\\pc.bin", back));
    EXPECT_TRUE(back == Pattern(5000, 2));

    EXPECT_EQ(kNotFound, Get(L"ALIAS:peer\\C:\\transfer\\none", back));
    EXPECT_EQ(kNotFound, Put(L"ALIAS:peer\\C:\\nofolder\\x", bytes));
}

TEST_F(ObexComponents, AnOverwriteThePhoneIgnoredFailsAndKeepsTheOldFile)
{
    PeerFolder(L"over");
    ASSERT_EQ(S_OK, Put(L"ALIAS:peer\\C:\\over\\same.txt", {'o', 'n', 'e'}));
    // obexftpd answers success and keeps the old file: of another size, and of the same.
    EXPECT_EQ(kAlreadyExists, Put(L"ALIAS:peer\\C:\\over\\same.txt", {'t', 'w', 'o', '!'}));
    EXPECT_EQ(kAlreadyExists, Put(L"ALIAS:peer\\C:\\over\\same.txt", {'t', 'w', 'o'}));
    EXPECT_EQ((std::vector<unsigned char>{'o', 'n', 'e'}), ReadBytes(Served() + L"\\over\\same.txt"));
    MakeFolders(Served(), {L"\\over\\dir"});
    EXPECT_EQ(kAlreadyExists, Put(L"ALIAS:peer\\C:\\over\\dir", {'x'}));
}

TEST_F(ObexComponents, FoldersAndDeletes)
{
    EXPECT_EQ(S_OK, fs_->mkdir(Bstr(L"ALIAS:peer\\C:\\made").get(), nullptr));
    EXPECT_TRUE(DirectoryExists(Served() + L"\\made"));
    EXPECT_EQ(kAlreadyExists, fs_->mkdir(Bstr(L"ALIAS:peer\\C:\\made").get(), nullptr));
    EXPECT_EQ(S_OK, fs_->mkdir(Bstr(L"ALIAS:peer\\C:\\made\\inner").get(), nullptr));
    EXPECT_TRUE(DirectoryExists(Served() + L"\\made\\inner"));
    EXPECT_EQ(kFolderNotEmpty, fs_->rmdir(Bstr(L"ALIAS:peer\\C:\\made").get(), nullptr));
    EXPECT_TRUE(DirectoryExists(Served() + L"\\made\\inner"));
    EXPECT_EQ(S_OK, fs_->rmdir(Bstr(L"ALIAS:peer\\C:\\made\\inner").get(), nullptr));
    EXPECT_FALSE(DirectoryExists(Served() + L"\\made\\inner"));
    EXPECT_EQ(kNotFound, fs_->rmdir(Bstr(L"ALIAS:peer\\C:\\made\\inner").get(), nullptr));

    WriteText(Served() + L"\\made\\gone.txt", "x");
    EXPECT_EQ(S_OK, fs_->deletefile(Bstr(L"ALIAS:peer\\C:\\made\\gone.txt").get(), nullptr));
    EXPECT_FALSE(FileExists(Served() + L"\\made\\gone.txt"));
    EXPECT_EQ(kNotFound, fs_->deletefile(Bstr(L"ALIAS:peer\\C:\\made\\gone.txt").get(), nullptr));
    EXPECT_EQ(kNotSupported, fs_->rename(Bstr(L"ALIAS:peer\\C:\\made").get(), Bstr(L"x").get(), nullptr));
}

TEST_F(ObexComponents, CancelFromAnotherThreadAbortsTheRunningTransfer)
{
    PeerFolder(L"cancel");
    WriteBytes(Served() + L"\\cancel\\big.bin", Pattern(1000000, 3));
    const com_ptr<Listener> down = MakeTestObject<Listener>(fs_.get(), 2);
    std::vector<unsigned char> back;
    EXPECT_EQ(kCancelled, Get(L"ALIAS:peer\\C:\\cancel\\big.bin", back, down.get()));
    EXPECT_EQ(S_OK, down->cancelAnswer);
    EXPECT_EQ(2, down->statuses) << "no packet after the cancel";
    EXPECT_GE(down->lastTransferred, 131072u);
    EXPECT_LT(down->lastTransferred, 140000u);
    EXPECT_EQ(0, down->finished);

    const com_ptr<Listener> up = MakeTestObject<Listener>(fs_.get(), 2);
    EXPECT_EQ(kCancelled, Put(L"ALIAS:peer\\C:\\cancel\\up.bin", Pattern(1000000, 4), up.get()));
    EXPECT_EQ(2, up->statuses);
    EXPECT_FALSE(FileExists(Served() + L"\\cancel\\up.bin")) << "nothing of a cancelled new file stays";

    // The session goes on: the next transfer of any instance works.
    ASSERT_EQ(S_OK, Get(L"ALIAS:peer\\C:\\cancel\\big.bin", back));
    EXPECT_TRUE(back == Pattern(1000000, 3));
    // A cancel with no transfer running reaches no later one.
    EXPECT_EQ(S_OK, fs_->Cancel());
    ASSERT_EQ(S_OK, Get(L"ALIAS:peer\\C:\\cancel\\big.bin", back));
}

TEST_F(ObexComponents, ImeiCapabilityAndDeviceInformation)
{
    BSTR imei = nullptr;
    ASSERT_EQ(S_OK, fs_->GetImei(Bstr(L"peer").get(), &imei));
    EXPECT_EQ(kImei, std::wstring(imei));
    SysFreeString(imei);
    EXPECT_EQ(kNotFound, fs_->GetImei(Bstr(L"nobody").get(), &imei));
    EXPECT_EQ(S_OK, fs_->Refresh(0, Bstr(L"ALIAS:peer").get()));

    // obexftpd has no capability object.
    unique_variant capability;
    EXPECT_EQ(kNotSupported, fs_->ReadObexCapability(Bstr(L"ALIAS:peer").get(), 1000, capability.get()));

    const com_ptr<obex::DeviceInfo> info = obex::DeviceInfo::Create();
    BSTR value = nullptr;
    ASSERT_EQ(S_OK, info->GetDeviceValue(Bstr(kImei).get(), Bstr(L"Model").get(), 0, &value));
    EXPECT_EQ(L"PeerModel", std::wstring(value));
    SysFreeString(value);
    SAFEARRAY* models = nullptr;
    ASSERT_EQ(S_OK, info->GetModelList(Bstr(L"Ostrelle").get(), &models));
    std::vector<std::wstring> list;
    BSTR* elements = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(models, reinterpret_cast<void**>(&elements)));
    for (ULONG i = 0; i < models->rgsabound[0].cElements; ++i)
        list.emplace_back(elements[i]);
    SafeArrayUnaccessData(models);
    SafeArrayDestroy(models);
    EXPECT_EQ((std::vector<std::wstring>{L"OBEX FTP phone", L"PeerModel"}), list);
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
    EXPECT_EQ(E_POINTER, registry->Add(nullptr, &cookie));
    ReadDir(L"ALIAS:peer");
}
