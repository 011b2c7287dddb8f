// The simulated phone suite driven out of process through COM, as the server
// and the command-line front end drive it.
#include "PhoneComponents.h"
#include "SimPhoneSuite.h"
#include "common/ByteArray.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <thread>
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
constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BA);

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

DATE MakeDate(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME time{year, month, 0, day, hour, minute, second, 0};
    DATE date = 0;
    SystemTimeToVariantTime(&time, &date);
    return date;
}

bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

// A small COM object on the test's thread that records what the suite calls back through its proxy.
template <typename I> class RecordingObject : public I
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = iid == IID_IUnknown || iid == __uuidof(I) ? static_cast<I*>(this) : nullptr;
        if (*out)
            AddRef();
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG count = --references_;
        if (count == 0)
            delete this;
        return count;
    }
    virtual ~RecordingObject() = default;

    Lines calls;

protected:
    HRESULT Record(const std::wstring& call, HRESULT answer = S_OK)
    {
        calls.push_back(call);
        return answer;
    }

private:
    ULONG references_ = 1;
};

template <typename T, typename... Arguments> com_ptr<T> Make(Arguments&&... arguments)
{
    return com_ptr<T>::attach(new T(std::forward<Arguments>(arguments)...));
}

class RecordingListener : public RecordingObject<ITransferListener>
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

    IVirtualFileSystem* cancelTarget = nullptr; // cancels through this, from inside the callback
    size_t cancelAtCall = 0;
    HRESULT cancelResult = E_UNEXPECTED;
};

class RecordingSink : public RecordingObject<IDeviceNotifySink>
{
public:
    explicit RecordingSink(HRESULT answer = S_OK) : answer_(answer) {}
    HRESULT STDMETHODCALLTYPE DeviceEvent(LONG, LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeviceEventEx(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeviceDisconnect(BSTR imei, BSTR alias) override
    {
        return Event(L"disconnect ", imei, alias);
    }
    HRESULT STDMETHODCALLTYPE DeviceConnect(BSTR imei, BSTR alias) override { return Event(L"connect ", imei, alias); }

private:
    HRESULT Event(const wchar_t* kind, BSTR imei, BSTR alias)
    {
        return Record(kind + std::wstring(imei ? imei : L"") + L" " + (alias ? alias : L""), answer_);
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

    HRESULT GetImei(const std::wstring& alias, std::wstring* imei = nullptr)
    {
        unique_bstr text;
        HRESULT hr = vfs_->GetImei(Bstr(alias).get(), text.put());
        if (imei)
            *imei = text.c_str();
        return hr;
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

TEST_F(SimSuite, RootListsConnectedPhonesAndPhoneRootListsMemories)
{
    phones_.AddPhone(L"Phone2", L"350000000000002");
    AddPhone(L"My:Phone?", L"350000000000003");
    EXPECT_EQ(kHead +
                  L"<folder name=\"C:\" label=\"Phone memory\" mem-type=\"PHONE\" user-perm=\"RW\"/>\r\n"
                  L"<folder name=\"E:\" label=\"Memory card\" mem-type=\"MMC\" user-perm=\"RW\"/>\r\n" +
                  kTail,
              List(L"ALIAS:Phone1"));
    EXPECT_EQ(kHead + kTail, List(L"ALIAS:Phone1\\C:"));

    const std::wstring root = List(L"");
    EXPECT_TRUE(Contains(root, L"<folder name=\"Phone1\" user-perm=\"R\"/>\r\n"));
    EXPECT_FALSE(Contains(root, L"Phone2"));
    phones_.Disconnect(L"Phone1");
    EXPECT_EQ(kHead + L"<folder name=\"My:Phone?\" user-perm=\"R\"/>\r\n" + kTail, List(L""));
}

TEST_F(SimSuite, UnknownDisconnectedAndMalformedPathsFail)
{
    phones_.AddPhone(L"Off", L"350000000000002");
    phones_.PutBytes(L"ALIAS:Off\\C:\\a.txt", {1, 2, 3});
    // A name whose stored form would not fit a PC path is refused, never cut.
    const std::wstring longPath = L"ALIAS:Phone1\\C:\\" + std::wstring(240, L'n');
    const std::pair<std::wstring, HRESULT> cases[] = {
        {L"ALIAS:Nobody", kNotFound},
        {L"ALIAS:Phone1\\D:", kNotFound},
        {L"ALIAS:Phone1\\C:\\Missing", kNotFound},
        {L"ALIAS:Off", kNotFound},
        {L"ALIAS:Off\\C:", kNotFound},
        {L"Phone1", kBadPath},
        {L"ALIAS:Phone1\\Images", kBadPath},
        {L"ALIAS:Phone1\\C:\\\\x", kBadPath},
        {longPath, kBadPath},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(Narrow(path));
        std::wstring listing;
        EXPECT_HR(expected, ReadDir(path, &listing));
        EXPECT_EQ(L"", listing);
    }
    EXPECT_HR(kBadPath, WriteFile(longPath, {1}));
    EXPECT_HR(kNotFound, ReadFile(L"ALIAS:Off\\C:\\a.txt"));
    EXPECT_HR(kNotFound, GetImei(L"Off"));
}

TEST_F(SimSuite, NamesInvalidOnThePcRoundTripThroughTheStore)
{
    AddPhone(L"con", L"350000000000003");
    const std::wstring folder = L"ALIAS:con\\C:\\Names\\";
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"con.txt", L"con.txt"},       {L"a<b>c", L"a&lt;b&gt;c"},       {L"what?", L"what?"},
        {L"trailing.", L"trailing."},   {L".hidden", L".hidden"},         {L"100%", L"100%"},
        {L"pipe|star*", L"pipe|star*"}, {L"q\"colon:", L"q&quot;colon:"}, {L"predefgallery", L"predefgallery"},
    };
    for (unsigned i = 0; i < std::size(names); ++i)
        phones_.PutBytes(folder + names[i].first, Pattern(10, i));
    // XML cannot carry a control character: the listing stays readable without that entry.
    phones_.PutBytes(folder + L"bell\x07.txt", {7});
    unique_variant bell;
    ASSERT_EQ(S_OK, phones_->GetFile(Bstr(folder + L"bell\x07.txt").get(), bell.get()));
    EXPECT_EQ(Bytes{7}, BytesOf(*bell.get()));

    const std::wstring listing = List(folder);
    EXPECT_FALSE(Contains(listing, L"bell"));
    for (unsigned i = 0; i < std::size(names); ++i) {
        SCOPED_TRACE(Narrow(names[i].first));
        EXPECT_TRUE(Contains(listing, L"<file name=\"" + std::wstring(names[i].second) + L"\" size=\"10\""));
        EXPECT_EQ(Pattern(10, i), Read(folder + names[i].first));
    }
    // On the PC the names are escaped.
    for (const wchar_t* stored : {L"%63on.txt", L"trailing%2E", L"q%22colon%3A"})
        EXPECT_TRUE(FileExists(phones_.Store() + L"\\%63on\\mem-C\\Names\\" + stored)) << Narrow(stored);
}

TEST_F(SimSuite, WriteThenReadRoundTripsBytesAndTimes)
{
    const std::wstring folder = L"ALIAS:Phone1\\C:\\Images";
    ASSERT_EQ(S_OK, vfs_->mkdir(Bstr(folder).get(), nullptr));
    const Bytes content = Pattern(100000, 3);
    const DATE modified = MakeDate(2005, 2, 28, 13, 45, 8);
    ASSERT_EQ(S_OK, WriteFile(folder + L"\\a.jpg", content, modified));
    const std::wstring listing = List(folder);
    EXPECT_TRUE(Contains(listing, L"<file name=\"a.jpg\" size=\"100000\" created=\""));
    EXPECT_TRUE(Contains(listing, L"modified=\"20050228T134508\" user-perm=\"RWD\" type=\"image/jpeg\"/>"));

    LONG handle = 0, size = 0;
    DATE read = 0;
    unique_variant data;
    ASSERT_EQ(S_OK, vfs_->fopen(1, Bstr(folder + L"\\a.jpg").get(), 1, &handle, nullptr));
    ASSERT_EQ(S_OK, vfs_->fgettime(handle, &read));
    EXPECT_DOUBLE_EQ(modified, read);
    ASSERT_EQ(S_OK, vfs_->fgetsize(handle, &size));
    EXPECT_EQ(100000, size);
    ASSERT_EQ(S_OK, vfs_->fread(data.get(), handle));
    EXPECT_EQ(content, BytesOf(*data.get()));
    // fsettime on a read handle changes the phone file.
    ASSERT_EQ(S_OK, vfs_->fsettime(handle, MakeDate(2010, 12, 31, 23, 59, 58)));
    ASSERT_EQ(S_OK, vfs_->fclose(handle));
    EXPECT_HR(kBadHandle, vfs_->fclose(handle));
    EXPECT_TRUE(Contains(List(folder), L"modified=\"20101231T235958\""));
}

TEST_F(SimSuite, TransfersReportChunksToTheListener)
{
    const Lines expected = {L"started", L"status 65536/150000", L"status 131072/150000", L"status 150000/150000",
                            L"finished"};
    auto writer = Make<RecordingListener>();
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\v.3gp", Pattern(150000, 1), 0, writer.get()));
    EXPECT_EQ(expected, writer->calls);
    auto reader = Make<RecordingListener>();
    EXPECT_EQ(Pattern(150000, 1), Read(L"ALIAS:Phone1\\C:\\v.3gp", reader.get()));
    EXPECT_EQ(expected, reader->calls);

    ASSERT_EQ(S_OK, phones_->SetChunkSize(1000));
    auto empty = Make<RecordingListener>();
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\empty.txt", {}, 0, empty.get()));
    EXPECT_EQ((Lines{L"started", L"status 0/0", L"finished"}), empty->calls);
}

TEST_F(SimSuite, CancelFromInsideTransferStatusFailsTheTransfer)
{
    phones_.PutBytes(L"ALIAS:Phone1\\C:\\big.bin", Pattern(200000, 2));
    auto reader = Make<RecordingListener>();
    reader->cancelTarget = vfs_.get();
    reader->cancelAtCall = 2; // after the first chunk
    Bytes bytes;
    EXPECT_HR(kCancelled, ReadFile(L"ALIAS:Phone1\\C:\\big.bin", &bytes, reader.get()));
    EXPECT_EQ(S_OK, reader->cancelResult);
    EXPECT_EQ((Lines{L"started", L"status 65536/200000"}), reader->calls);
    EXPECT_TRUE(bytes.empty());

    // A cancelled write stores nothing, and the cancel does not reach later transfers.
    auto writer = Make<RecordingListener>();
    writer->cancelTarget = vfs_.get();
    writer->cancelAtCall = 3;
    EXPECT_HR(kCancelled, WriteFile(L"ALIAS:Phone1\\C:\\new.bin", Pattern(200000, 4), 0, writer.get()));
    EXPECT_HR(kNotFound, ReadFile(L"ALIAS:Phone1\\C:\\new.bin"));
    EXPECT_EQ(Pattern(200000, 2), Read(L"ALIAS:Phone1\\C:\\big.bin"));
}

TEST_F(SimSuite, CancelFromAnotherClientStopsADelayedTransfer)
{
    phones_.PutBytes(L"ALIAS:Phone1\\C:\\slow.bin", Pattern(100000, 5));
    ASSERT_EQ(S_OK, phones_->SetChunkSize(10000));
    ASSERT_EQ(S_OK, phones_->SetTransferDelay(300));
    HRESULT cancelled = E_UNEXPECTED;
    std::thread other([&cancelled] {
        com_apartment apartment(COINIT_MULTITHREADED);
        com_ptr<IVirtualFileSystem> vfs = SimulatedPhones::NewFileSystem();
        Sleep(900);
        cancelled = vfs ? vfs->Cancel() : E_UNEXPECTED;
    });
    auto reader = Make<RecordingListener>();
    HRESULT hr = ReadFile(L"ALIAS:Phone1\\C:\\slow.bin", nullptr, reader.get());
    other.join();
    EXPECT_EQ(S_OK, cancelled);
    EXPECT_HR(kCancelled, hr);
    EXPECT_GT(reader->calls.size(), 1u);
    EXPECT_LT(reader->calls.size(), 11u);
}

TEST_F(SimSuite, QuotaRefusesTheCloseThatWouldOverfillAMemory)
{
    AddPhone(L"Small", L"350000000000004", 1000);
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Small\\C:\\first.bin", Pattern(600, 1)));
    EXPECT_HR(kMemoryFull, WriteFile(L"ALIAS:Small\\C:\\second.bin", Pattern(600, 2)));
    EXPECT_HR(kNotFound, ReadFile(L"ALIAS:Small\\C:\\second.bin"));
    EXPECT_FALSE(FileExists(phones_.Store() + L"\\Small\\mem-C\\second.bin"));
    // A replaced file gives its room back; the other memory has its own quota.
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Small\\C:\\first.bin", Pattern(1000, 3)));
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Small\\E:\\second.bin", Pattern(600, 2)));
    EXPECT_HR(kMemoryFull, WriteFile(L"ALIAS:Small\\C:\\one.bin", {1}));
    EXPECT_EQ(Pattern(1000, 3), Read(L"ALIAS:Small\\C:\\first.bin"));
}

TEST_F(SimSuite, InjectedFaultsFailTheNextCallsThenClear)
{
    phones_.PutBytes(L"ALIAS:Phone1\\C:\\a.txt", {1});
    struct Case {
        const wchar_t* operation;
        LONG code;
        std::function<HRESULT()> call;
    } cases[] = {
        {L"readdir", static_cast<LONG>(0x80041234), [&] { return ReadDir(L"ALIAS:Phone1"); }},
        {L"GetImei", 0x4252, [&] { return GetImei(L"Phone1"); }},
        {L"fopen", 1, [&] { return ReadFile(L"ALIAS:Phone1\\C:\\a.txt"); }},
        {L"FCLOSE", static_cast<LONG>(0x80044360), [&] { return WriteFile(L"ALIAS:Phone1\\C:\\b.txt", {2}); }},
        {L"mkdir", static_cast<LONG>(0x8004434D),
         [&] { return vfs_->mkdir(Bstr(L"ALIAS:Phone1\\C:\\d").get(), nullptr); }},
        {L"Refresh", static_cast<LONG>(0x80004005), [&] { return vfs_->Refresh(0, Bstr(L"ALIAS:Phone1").get()); }},
        {L"ReadObexCapability", static_cast<LONG>(0x80044343),
         [&] {
             unique_variant capability;
             return vfs_->ReadObexCapability(Bstr(L"ALIAS:Phone1").get(), 1000, capability.get());
         }},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(Narrow(c.operation));
        ASSERT_EQ(S_OK, phones_->SetFault(Bstr(c.operation).get(), c.code, 2));
        EXPECT_HR(c.code, c.call());
        EXPECT_HR(c.code, c.call());
        EXPECT_EQ(S_OK, c.call());
    }
    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"deletefile").get(), static_cast<LONG>(0x80044343), 5));
    ASSERT_EQ(S_OK, phones_->ClearFaults());
    EXPECT_EQ(S_OK, vfs_->deletefile(Bstr(L"ALIAS:Phone1\\C:\\a.txt").get(), nullptr));
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

TEST_F(SimSuite, ImeiRefreshAndCapability)
{
    std::wstring imei;
    ASSERT_EQ(S_OK, GetImei(L"Phone1", &imei));
    EXPECT_EQ(L"350000000000001", imei);
    EXPECT_HR(kNotFound, GetImei(L"Nobody"));
    EXPECT_EQ(S_OK, vfs_->Refresh(0, Bstr(L"").get()));
    EXPECT_EQ(S_OK, vfs_->Refresh(1, Bstr(L"ALIAS:Phone1\\E:").get()));
    EXPECT_HR(kNotFound, vfs_->Refresh(1, Bstr(L"ALIAS:Phone1\\C:\\gone").get()));
    unique_variant capability;
    ASSERT_EQ(S_OK, vfs_->ReadObexCapability(Bstr(L"ALIAS:Phone1").get(), 1000, capability.get()));
    ASSERT_EQ(VT_BSTR, capability.get()->vt);
    const std::wstring text = capability.get()->bstrVal;
    EXPECT_EQ(0u, text.find(L"<?xml version=\"1.0\"?>"));
    EXPECT_TRUE(Contains(text, L"<Model>OS-200</Model>"));
    EXPECT_TRUE(Contains(text, L"<SN>350000000000001</SN>"));
    EXPECT_HR(0x80044361, vfs_->ReadObexCapability(Bstr(L"ALIAS:Phone1").get(), 10, capability.get()));
    EXPECT_EQ(E_NOTIMPL, vfs_->Reserved18());
}

TEST_F(SimSuite, NotificationsReachEveryRegisteredSink)
{
    com_ptr<IDeviceNotifyRegistry> registries[2];
    for (auto& registry : registries)
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DeviceNotifyRegistry, nullptr, CLSCTX_LOCAL_SERVER,
                                         __uuidof(IDeviceNotifyRegistry), registry.put_void()));
    // The first sink fails every notification; the others are told all the same.
    const com_ptr<RecordingSink> sinks[] = {Make<RecordingSink>(E_FAIL), Make<RecordingSink>(), Make<RecordingSink>()};
    LONG cookies[3] = {};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(S_OK, registries[i / 2]->Add(sinks[i].get(), &cookies[i]));
    EXPECT_NE(cookies[1], cookies[2]);
    EXPECT_NE(0, cookies[1]);
    phones_.Disconnect(L"Phone1");
    phones_.Connect(L"Phone1");
    for (const auto& sink : sinks)
        EXPECT_EQ((Lines{L"disconnect 350000000000001 Phone1", L"connect 350000000000001 Phone1"}), sink->calls);

    // Removal works through any registry object.
    ASSERT_EQ(S_OK, registries[1]->Remove(cookies[1]));
    ASSERT_EQ(S_OK, registries[0]->Remove(cookies[0]));
    EXPECT_EQ(E_INVALIDARG, registries[0]->Remove(cookies[1]));
    phones_.Disconnect(L"Phone1");
    EXPECT_EQ(2u, sinks[1]->calls.size());
    EXPECT_EQ(3u, sinks[2]->calls.size());
    ASSERT_EQ(S_OK, registries[1]->Remove(cookies[2]));

    LONG cookie = 7;
    EXPECT_EQ(E_NOINTERFACE, registries[0]->Add(Make<RecordingListener>().get(), &cookie));
    EXPECT_EQ(0, cookie);
}

TEST_F(SimSuite, KilledSuiteAnswersServerUnavailableAndRestartsWithItsPhones)
{
    ASSERT_EQ(S_OK, ReadDir(L""));
    LONG killed = 0;
    ASSERT_EQ(S_OK, phones_->Kill(&killed));
    unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(killed)));
    ASSERT_TRUE(process);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 10000));

    EXPECT_HR(kServerUnavailable, ReadDir(L""));
    vfs_ = SimulatedPhones::NewFileSystem();
    ASSERT_TRUE(vfs_);
    EXPECT_TRUE(Contains(List(L""), L"<folder name=\"Phone1\""));
    com_ptr<ISimPhoneSuite> control;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SimPhoneSuite, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(ISimPhoneSuite),
                                     control.put_void()));
    LONG restarted = 0;
    ASSERT_EQ(S_OK, control->GetProcessId(&restarted));
    EXPECT_NE(killed, restarted);
}

TEST_F(SimSuite, DeviceInformationAnswersFromTheStore)
{
    phones_.PutBytes(L"ALIAS:Phone1\\C:\\a.bin", Pattern(300, 1));
    com_ptr<IDeviceCatalog> catalog;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DeviceInformation, nullptr, CLSCTX_ALL, __uuidof(IDeviceCatalog),
                                     catalog.put_void()));
    com_ptr<IDeviceProperties> properties;
    ASSERT_EQ(S_OK, catalog.query(properties, __uuidof(IDeviceProperties)));
    EXPECT_EQ(S_OK, catalog->Connect());

    auto models = [&](const wchar_t* product) {
        Lines list;
        SAFEARRAY* array = nullptr;
        EXPECT_EQ(S_OK, catalog->GetModelList(Bstr(product).get(), &array));
        unique_safearray owner(array);
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
            BSTR model = nullptr;
            SafeArrayGetElement(array, &i, &model);
            list.push_back(unique_bstr(model).c_str());
        }
        return list;
    };
    EXPECT_EQ((Lines{L"OS-100", L"OS-200", L"OS-300"}), models(L"Ostrelle"));
    EXPECT_EQ(Lines{}, models(L"Other"));
    ASSERT_EQ(S_OK, phones_->SetModelList(Bstr(L"Ostrelle").get(), Bstr(L"OS-200, X 1").get()));
    EXPECT_EQ((Lines{L"OS-200", L"X 1"}), models(L"Ostrelle"));

    unique_bstr value; // each answer below lands here
    auto text = [&](HRESULT hr) {
        EXPECT_EQ(S_OK, hr);
        return std::wstring(value.c_str());
    };
    auto modelValue = [&](const wchar_t* model, const wchar_t* key) {
        return text(catalog->GetModelValue(Bstr(model).get(), Bstr(key).get(), value.put()));
    };
    EXPECT_EQ(L"25", modelValue(L"OS-100", L"Ostrelle_Sync"));
    EXPECT_EQ(L"", modelValue(L"OS-100", L"Unknown"));
    ASSERT_EQ(S_OK, phones_->SetModelValue(Bstr(L"OS-200").get(), Bstr(L"Ostrelle_Sync").get(), Bstr(L"7").get()));
    EXPECT_EQ(L"7", modelValue(L"OS-200", L"Ostrelle_Sync"));
    EXPECT_EQ(L"25", modelValue(L"OS-100", L"Ostrelle_Sync"));

    const unique_bstr imei = Bstr(L"350000000000001"), unknown = Bstr(L"999");
    const unique_bstr model = Bstr(L"Model");
    EXPECT_EQ(L"OS-200", text(properties->GetDeviceValue(imei.get(), model.get(), 0, value.put())));
    EXPECT_EQ(L"", text(properties->GetDeviceValue(unknown.get(), model.get(), 0, value.put())));
    EXPECT_EQ(L"999700", text(properties->GetMemoryValue(imei.get(), Bstr(L"PHONE").get(), value.put())));
    EXPECT_EQ(L"512000000", text(properties->GetMemoryValue(imei.get(), Bstr(L"MMC").get(), value.put())));
    EXPECT_HR(kNotFound, properties->GetMemoryValue(unknown.get(), Bstr(L"PHONE").get(), value.put()));
    EXPECT_EQ(S_OK, properties->SelectDevice(imei.get(), 0));
    EXPECT_EQ(S_OK, properties->SetSource(Bstr(L"Source").get()));
}

TEST_F(SimSuite, CommandLineFillsAndListsPhones)
{
    const std::wstring cli = L"\"" + ProductDir() + L"\\simphone.exe\" ";
    const std::wstring out = phones_.Store() + L"\\out.txt";
    for (const wchar_t* command : {L"add \"Cli Phone\" 351111111111111 OS-100",
                                   L"memory \"Cli Phone\" C \"Phone memory\" PHONE 100000", L"connect \"Cli Phone\"",
                                   L"puttext \"ALIAS:Cli Phone\\C:\\predefgallery\\con.txt\" hello "
                                   L"\"2006-07-08 09:10:11\"",
                                   L"-x mkdir \"ALIAS:Cli Phone\\C:\\tab%09name\""})
        ASSERT_EQ(0u, RunProgram(cli + command)) << Narrow(command);
    const std::wstring gallery = List(L"ALIAS:Cli Phone\\C:\\predefgallery");
    EXPECT_TRUE(Contains(gallery, L"<file name=\"con.txt\" size=\"5\""));
    EXPECT_TRUE(Contains(gallery, L"modified=\"20060708T091011\""));
    EXPECT_TRUE(Contains(List(L"ALIAS:Cli Phone\\C:"), L"<folder name=\"tab&#x9;name\""));
    ASSERT_EQ(0u, RunProgram(cli + L"get \"ALIAS:Cli Phone\\C:\\predefgallery\\con.txt\" \"" + out + L"\""));
    EXPECT_EQ((Bytes{'h', 'e', 'l', 'l', 'o'}), ReadBytes(out));
    EXPECT_EQ(2u, RunProgram(cli + L"frobnicate"));
    EXPECT_EQ(1u, RunProgram(cli + L"connect Nobody"));
    EXPECT_EQ(1u, RunProgram(cli + L"add \"Cli Phone\" 352222222222222 OS-100"));
}

} // namespace
