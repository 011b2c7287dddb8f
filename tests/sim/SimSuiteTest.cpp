// What the server and its tests rely on in the simulated phone suite, driven out
// of process through COM as the server drives it.
#include "PhoneComponents.h"
#include "SimPhoneSuite.h"
#include "common/ByteArray.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "SimulatedPhones.h"
#include "TestObject.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

using namespace testing_support;

namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80044343);
constexpr HRESULT kBadPath = static_cast<HRESULT>(0x80044341);
constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x80044344);
constexpr HRESULT kFolderNotEmpty = static_cast<HRESULT>(0x80044345);
constexpr HRESULT kBadHandle = static_cast<HRESULT>(0x80044346);
constexpr HRESULT kCancelled = static_cast<HRESULT>(0x80044252);
constexpr HRESULT kMemoryFull = static_cast<HRESULT>(0x80044360);

#define EXPECT_HR(expected, call) EXPECT_EQ(HexResult(expected), HexResult(call))

using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::wstring>;

const std::wstring kHead = L"<?xml version=\"1.0\"?>\r\n<folder-listing version=\"1.0\">\r\n";
const std::wstring kTail = L"</folder-listing>\r\n";

Bytes Pattern(size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 31 + seed) & 0xFF);
    return bytes;
}

bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

// Records the transfer callbacks; cancels through the component at the given callback.
class RecordingListener : public TestObject<ITransferListener>
{
public:
    HRESULT STDMETHODCALLTYPE FileStarted() override { return Record(L"started"); }
    HRESULT STDMETHODCALLTYPE FileFinished() override { return Record(L"finished"); }
    HRESULT STDMETHODCALLTYPE TotalFiles(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CurrentFile(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TransferStatus(ULONG transferred, ULONG total) override
    {
        Record(L"status " + std::to_wstring(transferred) + L"/" + std::to_wstring(total));
        if (cancelTarget && calls.size() == cancelAtCall)
            cancelResult = cancelTarget->Cancel();
        return S_OK;
    }
    HRESULT Record(const std::wstring& call)
    {
        calls.push_back(call);
        return S_OK;
    }

    Lines calls;
    IVirtualFileSystem* cancelTarget = nullptr;
    size_t cancelAtCall = 0;
    HRESULT cancelResult = E_UNEXPECTED;
};

class RecordingSink : public TestObject<IDeviceNotifySink>
{
public:
    explicit RecordingSink(HRESULT answer = S_OK) : answer_(answer) {}
    HRESULT STDMETHODCALLTYPE DeviceEvent(LONG, LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeviceEventEx(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeviceDisconnect(BSTR imei, BSTR alias) override { return Event(L"off ", imei, alias); }
    HRESULT STDMETHODCALLTYPE DeviceConnect(BSTR imei, BSTR alias) override { return Event(L"on ", imei, alias); }

    Lines calls;

private:
    HRESULT Event(const wchar_t* kind, BSTR imei, BSTR alias)
    {
        calls.push_back(kind + std::wstring(imei) + L" " + alias);
        return answer_;
    }
    HRESULT answer_;
};

// Every test starts with "Phone1" connected, its memory C: holding up to a million bytes.
class SimSuite : public testing::Test
{
protected:
    void SetUp() override
    {
        AddPhone(L"Phone1", L"350000000000001");
        vfs_ = phones_.NewFileSystem();
        ASSERT_TRUE(vfs_);
    }

    void AddPhone(const std::wstring& alias, const std::wstring& imei, double quotaC = 1000000)
    {
        phones_.AddPhone(alias, imei, L"OS-200", quotaC);
        phones_.Connect(alias);
    }

    HRESULT ReadDir(const std::wstring& path, std::wstring* listing = nullptr)
    {
        unique_bstr text;
        HRESULT hr = vfs_->readdir(Bstr(path).get(), text.put(), nullptr);
        if (listing)
            *listing = text.c_str();
        return hr;
    }

    // The listing of a folder that must be readable.
    std::wstring List(const std::wstring& path)
    {
        std::wstring listing;
        EXPECT_EQ(S_OK, ReadDir(path, &listing)) << Narrow(path);
        return listing;
    }

    HRESULT ReadFile(const std::wstring& path, Bytes* bytes = nullptr, ITransferListener* listener = nullptr)
    {
        LONG handle = 0;
        HRESULT hr = vfs_->fopen(1, Bstr(path).get(), 1, &handle, listener);
        if (hr != S_OK)
            return hr;
        unique_variant data;
        hr = vfs_->fread(data.get(), handle);
        if (bytes)
            *bytes = BytesOf(*data.get());
        HRESULT closed = vfs_->fclose(handle);
        return hr != S_OK ? hr : closed;
    }

    // The contents of a file that must be readable.
    Bytes Read(const std::wstring& path, ITransferListener* listener = nullptr)
    {
        Bytes bytes;
        EXPECT_EQ(S_OK, ReadFile(path, &bytes, listener)) << Narrow(path);
        return bytes;
    }

    HRESULT WriteFile(const std::wstring& path, const Bytes& bytes, DATE modified = 0,
                      ITransferListener* listener = nullptr)
    {
        LONG handle = 0;
        HRESULT hr = vfs_->fopen(2, Bstr(path).get(), 1, &handle, listener);
        if (hr != S_OK)
            return hr;
        unique_variant data;
        MakeByteArray(bytes, data.put());
        hr = vfs_->fwrite(*data.get(), handle);
        if (hr == S_OK && modified != 0)
            hr = vfs_->fsettime(handle, modified);
        HRESULT closed = vfs_->fclose(handle);
        return hr != S_OK ? hr : closed;
    }

    SimulatedPhones phones_;
    com_ptr<IVirtualFileSystem> vfs_;
};

TEST_F(SimSuite, ListingsOfTheRootAPhoneAndAMemoryAndTheirFailures)
{
    phones_.AddPhone(L"Off", L"350000000000002");
    EXPECT_EQ(kHead + L"<folder name=\"Phone1\" user-perm=\"R\"/>\r\n" + kTail, List(L""));
    EXPECT_EQ(kHead +
                  L"<folder name=\"C:\" label=\"Phone memory\" mem-type=\"PHONE\" user-perm=\"RW\"/>\r\n"
                  L"<folder name=\"E:\" label=\"Memory card\" mem-type=\"MMC\" user-perm=\"RW\"/>\r\n" +
                  kTail,
              List(L"ALIAS:Phone1"));
    EXPECT_EQ(kHead + kTail, List(L"ALIAS:Phone1\\C:"));

    // A name whose stored form would not fit a PC path is refused, never cut.
    const std::wstring longPath = L"ALIAS:Phone1\\C:\\" + std::wstring(240, L'n');
    const std::pair<std::wstring, HRESULT> cases[] = {
        {L"ALIAS:Nobody", kNotFound},
        {L"ALIAS:Phone1\\D:", kNotFound},
        {L"ALIAS:Phone1\\C:\\Missing", kNotFound},
        {L"ALIAS:Off", kNotFound},
        {L"Phone1", kBadPath},
        {L"ALIAS:Phone1\\C:\\\\x", kBadPath},
        {longPath, kBadPath},
    };
    for (const auto& [path, expected] : cases) {
        std::wstring listing = L"stale";
        EXPECT_HR(expected, ReadDir(path, &listing)) << Narrow(path);
        EXPECT_EQ(L"", listing);
    }
    EXPECT_HR(kBadPath, WriteFile(longPath, {1}));
}

TEST_F(SimSuite, NamesInvalidOnThePcRoundTripAndControlCharactersStayOutOfListings)
{
    const std::wstring folder = L"ALIAS:Phone1\\C:\\Names\\";
    const std::pair<const wchar_t*, const wchar_t*> names[] = {{L"con.txt", L"con.txt"},
                                                               {L"a<b>c", L"a&lt;b&gt;c"},
                                                               {L"trailing.", L"trailing."},
                                                               {L"q\"colon:", L"q&quot;colon:"}};
    for (unsigned i = 0; i < std::size(names); ++i)
        phones_.PutBytes(folder + names[i].first, Pattern(10, i));
    // XML cannot carry a control character: the listing stays readable without that entry.
    phones_.PutBytes(folder + L"bell\x07.txt", {7});
    EXPECT_TRUE(phones_.Has(folder + L"bell\x07.txt"));

    const std::wstring listing = List(folder);
    EXPECT_FALSE(Contains(listing, L"bell"));
    for (unsigned i = 0; i < std::size(names); ++i) {
        EXPECT_TRUE(Contains(listing, L"<file name=\"" + std::wstring(names[i].second) + L"\" size=\"10\""))
            << Narrow(names[i].first);
        EXPECT_EQ(Pattern(10, i), Read(folder + names[i].first)) << Narrow(names[i].first);
    }
}

TEST_F(SimSuite, FilesKeepBytesTimesAndSizesAndTransfersReportChunks)
{
    const std::wstring path = L"ALIAS:Phone1\\C:\\a.jpg";
    const DATE modified = 38411.0 + (13 * 3600 + 45 * 60 + 8) / 86400.0; // 2005-02-28 13:45:08
    const Lines chunks = {L"started", L"status 65536/150000", L"status 131072/150000", L"status 150000/150000",
                          L"finished"};
    auto writer = MakeTestObject<RecordingListener>();
    ASSERT_EQ(S_OK, WriteFile(path, Pattern(150000, 3), modified, writer.get()));
    EXPECT_EQ(chunks, writer->calls);
    const std::wstring listing = List(L"ALIAS:Phone1\\C:");
    EXPECT_TRUE(Contains(listing, L"<file name=\"a.jpg\" size=\"150000\" created=\""));
    EXPECT_TRUE(Contains(listing, L"modified=\"20050228T134508\" user-perm=\"RWD\" type=\"image/jpeg\"/>"));

    auto reader = MakeTestObject<RecordingListener>();
    LONG handle = 0, size = 0;
    DATE read = 0;
    unique_variant data;
    ASSERT_EQ(S_OK, vfs_->fopen(1, Bstr(path).get(), 1, &handle, reader.get()));
    ASSERT_EQ(S_OK, vfs_->fgettime(handle, &read));
    EXPECT_DOUBLE_EQ(modified, read);
    ASSERT_EQ(S_OK, vfs_->fgetsize(handle, &size));
    EXPECT_EQ(150000, size);
    ASSERT_EQ(S_OK, vfs_->fread(data.get(), handle));
    EXPECT_EQ(Pattern(150000, 3), BytesOf(*data.get()));
    EXPECT_EQ(chunks, reader->calls);
    ASSERT_EQ(S_OK, vfs_->fclose(handle));
    EXPECT_HR(kBadHandle, vfs_->fclose(handle));

    auto empty = MakeTestObject<RecordingListener>();
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\empty.txt", {}, 0, empty.get()));
    EXPECT_EQ((Lines{L"started", L"status 0/0", L"finished"}), empty->calls);
}

TEST_F(SimSuite, CancelFromInsideTransferStatusFailsTheTransferAndStoresNothing)
{
    phones_.PutBytes(L"ALIAS:Phone1\\C:\\big.bin", Pattern(200000, 2));
    auto reader = MakeTestObject<RecordingListener>();
    reader->cancelTarget = vfs_.get();
    reader->cancelAtCall = 2; // after the first chunk
    Bytes bytes;
    EXPECT_HR(kCancelled, ReadFile(L"ALIAS:Phone1\\C:\\big.bin", &bytes, reader.get()));
    EXPECT_EQ(S_OK, reader->cancelResult);
    EXPECT_EQ((Lines{L"started", L"status 65536/200000"}), reader->calls);
    EXPECT_TRUE(bytes.empty());

    // The cancel does not reach later transfers.
    auto writer = MakeTestObject<RecordingListener>();
    writer->cancelTarget = vfs_.get();
    writer->cancelAtCall = 3;
    EXPECT_HR(kCancelled, WriteFile(L"ALIAS:Phone1\\C:\\new.bin", Pattern(200000, 4), 0, writer.get()));
    EXPECT_FALSE(phones_.Has(L"ALIAS:Phone1\\C:\\new.bin"));
    EXPECT_EQ(Pattern(200000, 2), Read(L"ALIAS:Phone1\\C:\\big.bin"));
}

TEST_F(SimSuite, QuotaRefusesTheCloseThatWouldOverfillAMemory)
{
    AddPhone(L"Small", L"350000000000004", 1000);
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Small\\C:\\first.bin", Pattern(600, 1)));
    EXPECT_HR(kMemoryFull, WriteFile(L"ALIAS:Small\\C:\\second.bin", Pattern(600, 2)));
    EXPECT_FALSE(phones_.Has(L"ALIAS:Small\\C:\\second.bin"));
    // A replaced file gives its room back; the other memory has its own quota.
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Small\\C:\\first.bin", Pattern(1000, 3)));
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Small\\E:\\second.bin", Pattern(600, 2)));
    EXPECT_HR(kMemoryFull, WriteFile(L"ALIAS:Small\\C:\\one.bin", {1}));
}

TEST_F(SimSuite, InjectedFaultsFailTheNextCallsThenClear)
{
    const struct {
        const wchar_t* operation;
        LONG code;
    } cases[] = {{L"readdir", static_cast<LONG>(0x80041234)}, {L"READDIR", 0x4252}};
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, phones_->SetFault(Bstr(c.operation).get(), c.code, 2));
        EXPECT_HR(c.code, ReadDir(L"ALIAS:Phone1"));
        EXPECT_HR(c.code, ReadDir(L"ALIAS:Phone1"));
        EXPECT_EQ(S_OK, ReadDir(L"ALIAS:Phone1"));
    }
    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"fclose").get(), static_cast<LONG>(kMemoryFull), 5));
    ASSERT_EQ(S_OK, phones_->ClearFaults());
    EXPECT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\b.txt", {2}));
    EXPECT_EQ(E_INVALIDARG, phones_->SetFault(Bstr(L"readdir").get(), 0, 1));
}

TEST_F(SimSuite, FoldersRenamesAndDeletions)
{
    auto path = [](const wchar_t* name) { return Bstr(std::wstring(L"ALIAS:Phone1\\C:\\predefphotos") + name); };
    auto mkdir = [&](const wchar_t* name) { return vfs_->mkdir(path(name).get(), nullptr); };
    auto rmdir = [&](const wchar_t* name) { return vfs_->rmdir(path(name).get(), nullptr); };
    auto remove = [&](const wchar_t* name) { return vfs_->deletefile(path(name).get(), nullptr); };
    auto rename = [&](const wchar_t* name, const wchar_t* to) {
        return vfs_->rename(path(name).get(), Bstr(to).get(), nullptr);
    };
    ASSERT_EQ(S_OK, mkdir(L""));
    EXPECT_HR(kAlreadyExists, mkdir(L""));
    EXPECT_HR(kNotFound, mkdir(L"\\none\\sub"));
    EXPECT_HR(kBadPath, vfs_->mkdir(Bstr(L"ALIAS:Phone1\\C:").get(), nullptr));
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\predefphotos\\p.jpg", {1, 2}));
    EXPECT_HR(kFolderNotEmpty, rmdir(L""));
    ASSERT_EQ(S_OK, rename(L"\\p.jpg", L"q?.jpg"));
    EXPECT_EQ((Bytes{1, 2}), Read(L"ALIAS:Phone1\\C:\\predefphotos\\q?.jpg"));
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\predefphotos\\r.jpg", {3}));
    EXPECT_HR(kAlreadyExists, rename(L"\\r.jpg", L"q?.jpg"));
    EXPECT_HR(kBadPath, rename(L"\\r.jpg", L"a\\b"));
    EXPECT_HR(kNotFound, remove(L""));
    ASSERT_EQ(S_OK, remove(L"\\q?.jpg"));
    ASSERT_EQ(S_OK, remove(L"\\r.jpg"));
    EXPECT_HR(kNotFound, remove(L"\\r.jpg"));
    ASSERT_EQ(S_OK, rmdir(L""));
    EXPECT_HR(kNotFound, rmdir(L""));
}

TEST_F(SimSuite, ImeiRefreshAndCapabilityAreAnsweredAndTheirLastCallsSeen)
{
    unique_bstr imei;
    ASSERT_EQ(S_OK, vfs_->GetImei(Bstr(L"Phone1").get(), imei.put()));
    EXPECT_EQ(std::wstring(L"350000000000001"), imei.c_str());
    EXPECT_HR(kNotFound, vfs_->GetImei(Bstr(L"Nobody").get(), imei.put()));

    EXPECT_EQ(L"<none>", phones_.LastCall(L"Refresh"));
    EXPECT_EQ(S_OK, vfs_->Refresh(0, Bstr(L"").get()));
    EXPECT_EQ(S_OK, vfs_->Refresh(1, Bstr(L"ALIAS:Phone1\\E:").get()));
    EXPECT_EQ(L"1|ALIAS:Phone1\\E:", phones_.LastCall(L"Refresh"));
    EXPECT_EQ(L"<none>", phones_.LastCall(L"Refresh"));
    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"Refresh").get(), E_FAIL, 1));
    EXPECT_HR(E_FAIL, vfs_->Refresh(0, Bstr(L"ALIAS:Phone1").get()));
    EXPECT_EQ(L"0|ALIAS:Phone1", phones_.LastCall(L"Refresh"));
    EXPECT_HR(kNotFound, vfs_->Refresh(1, Bstr(L"ALIAS:Phone1\\C:\\gone").get()));

    // The capability object names the phone it was asked for.
    unique_variant capability;
    ASSERT_EQ(S_OK, vfs_->ReadObexCapability(Bstr(L"ALIAS:Phone1").get(), 1000, capability.get()));
    EXPECT_EQ(L"ALIAS:Phone1|1000", phones_.LastCall(L"ReadObexCapability"));
    ASSERT_EQ(VT_BSTR, capability.get()->vt);
    const std::wstring text = capability.get()->bstrVal;
    EXPECT_EQ(0u, text.find(L"<?xml version=\"1.0\"?>"));
    EXPECT_TRUE(Contains(text, L"<Model>OS-200</Model>"));
    EXPECT_TRUE(Contains(text, L"<SN>350000000000001</SN>"));
    EXPECT_HR(0x80044361, vfs_->ReadObexCapability(Bstr(L"ALIAS:Phone1").get(), 10, capability.get()));
    EXPECT_HR(kBadPath, vfs_->ReadObexCapability(Bstr(L"ALIAS:Phone1\\C:").get(), 1000, capability.get()));
}

TEST_F(SimSuite, NotificationsReachEverySinkOfEveryRegistryUntilRemoved)
{
    com_ptr<IDeviceNotifyRegistry> registries[2];
    for (auto& registry : registries)
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DeviceNotifyRegistry, nullptr, CLSCTX_LOCAL_SERVER,
                                         __uuidof(IDeviceNotifyRegistry), registry.put_void()));
    // A failing sink does not keep the next one from being told.
    const com_ptr<RecordingSink> sinks[] = {MakeTestObject<RecordingSink>(E_FAIL), MakeTestObject<RecordingSink>()};
    LONG cookies[2] = {};
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(S_OK, registries[i]->Add(sinks[i].get(), &cookies[i]));
    EXPECT_NE(cookies[0], cookies[1]);
    phones_.Disconnect(L"Phone1");
    phones_.Connect(L"Phone1");
    for (const auto& sink : sinks)
        EXPECT_EQ((Lines{L"off 350000000000001 Phone1", L"on 350000000000001 Phone1"}), sink->calls);

    // Removal works through any registry object, once.
    ASSERT_EQ(S_OK, registries[1]->Remove(cookies[0]));
    EXPECT_EQ(E_INVALIDARG, registries[0]->Remove(cookies[0]));
    phones_.Disconnect(L"Phone1");
    EXPECT_EQ(2u, sinks[0]->calls.size());
    EXPECT_EQ(3u, sinks[1]->calls.size());
    ASSERT_EQ(S_OK, registries[0]->Remove(cookies[1]));
}

} // namespace
