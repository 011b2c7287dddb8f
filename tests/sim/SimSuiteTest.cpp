// The simulated phone suite driven out of process through COM, as the server
// and the command-line front end drive it.
#include "PhoneComponents.h"
#include "SimPhoneSuite.h"
#include "common/ComPtr.h"
#include "common/Resource.h"
#include "SimulatedPhones.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>
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

std::vector<unsigned char> Pattern(size_t size, unsigned seed)
{
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 31 + seed) & 0xFF);
    return bytes;
}

DATE MakeDate(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    DATE date = 0;
    SystemTimeToVariantTime(&time, &date);
    return date;
}

// A small COM object on the test's thread; the suite calls it back through its proxy.
template <typename I> class LocalObject : public I
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(I)) {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG count = --references_;
        if (count == 0)
            delete this;
        return count;
    }
    virtual ~LocalObject() = default;

private:
    ULONG references_ = 1;
};

class RecordingListener : public LocalObject<ITransferListener>
{
public:
    HRESULT STDMETHODCALLTYPE FileStarted() override
    {
        calls.push_back(L"started");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FileFinished() override
    {
        calls.push_back(L"finished");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TotalFiles(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CurrentFile(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TransferStatus(ULONG transferred, ULONG total) override
    {
        calls.push_back(L"status " + std::to_wstring(transferred) + L"/" + std::to_wstring(total));
        if (cancelTarget && calls.size() == cancelAtCall)
            cancelResult = cancelTarget->Cancel();
        return S_OK;
    }

    std::vector<std::wstring> calls;
    IVirtualFileSystem* cancelTarget = nullptr; // cancels through this, from inside the callback
    size_t cancelAtCall = 0;
    HRESULT cancelResult = E_UNEXPECTED;
};

class RecordingSink : public LocalObject<IDeviceNotifySink>
{
public:
    explicit RecordingSink(HRESULT answer = S_OK) : answer_(answer) {}
    HRESULT STDMETHODCALLTYPE DeviceEvent(LONG, LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeviceEventEx(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeviceDisconnect(BSTR imei, BSTR alias) override
    {
        events.push_back(L"disconnect " + std::wstring(imei ? imei : L"") + L" " + (alias ? alias : L""));
        return answer_;
    }
    HRESULT STDMETHODCALLTYPE DeviceConnect(BSTR imei, BSTR alias) override
    {
        events.push_back(L"connect " + std::wstring(imei ? imei : L"") + L" " + (alias ? alias : L""));
        return answer_;
    }

    std::vector<std::wstring> events;

private:
    HRESULT answer_;
};

class SimSuite : public testing::Test
{
protected:
    void SetUp() override
    {
        vfs_ = phones_.NewFileSystem();
        ASSERT_TRUE(vfs_);
    }

    static com_ptr<IVirtualFileSystem> NewFileSystem() { return SimulatedPhones::NewFileSystem(); }
    std::wstring StorePath(const std::wstring& relative) const { return phones_.Store() + L"\\" + relative; }

    void AddPhone(const std::wstring& alias, const std::wstring& imei, bool connected, double quotaC = 1000000)
    {
        phones_.AddPhone(alias, imei, L"OS-200", quotaC);
        if (connected)
            phones_.Connect(alias);
    }

    void PutFile(const std::wstring& path, const std::vector<unsigned char>& bytes, DATE modified = 0)
    {
        phones_.PutBytes(path, bytes, modified);
    }

    HRESULT ReadDir(const std::wstring& path, std::wstring& listing)
    {
        unique_bstr text;
        HRESULT hr = vfs_->readdir(Bstr(path).get(), text.put(), nullptr);
        listing = text.c_str();
        return hr;
    }

    HRESULT ReadFile(const std::wstring& path, std::vector<unsigned char>& bytes, ITransferListener* listener = nullptr)
    {
        LONG handle = 0;
        HRESULT hr = vfs_->fopen(1, Bstr(path).get(), 1, &handle, listener);
        if (hr != S_OK)
            return hr;
        unique_variant data;
        hr = vfs_->fread(data.get(), handle);
        bytes = BytesOf(*data.get());
        HRESULT closed = vfs_->fclose(handle);
        return hr != S_OK ? hr : closed;
    }

    HRESULT WriteFile(const std::wstring& path, const std::vector<unsigned char>& bytes, DATE modified = 0,
                      ITransferListener* listener = nullptr)
    {
        LONG handle = 0;
        HRESULT hr = vfs_->fopen(2, Bstr(path).get(), 1, &handle, listener);
        if (hr != S_OK)
            return hr;
        unique_variant data;
        MakeByteVariant(bytes, data);
        hr = vfs_->fwrite(*data.get(), handle);
        if (hr == S_OK && modified != 0)
            hr = vfs_->fsettime(handle, modified);
        HRESULT closed = vfs_->fclose(handle);
        return hr != S_OK ? hr : closed;
    }

    SimulatedPhones phones_;
    com_ptr<IVirtualFileSystem> vfs_;
};

const wchar_t kListingHead[] = L"<?xml version=\"1.0\"?>\r\n<folder-listing version=\"1.0\">\r\n";
const wchar_t kListingTail[] = L"</folder-listing>\r\n";

TEST_F(SimSuite, RootListsOnlyConnectedPhones)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    AddPhone(L"Phone2", L"350000000000002", false);
    AddPhone(L"My:Phone?", L"350000000000003", true);
    std::wstring listing;
    ASSERT_EQ(S_OK, ReadDir(L"", listing));
    // Phones come in the store's order; both connected ones and nothing else.
    EXPECT_NE(std::wstring::npos, listing.find(L"<folder name=\"Phone1\" user-perm=\"R\"/>\r\n"));
    EXPECT_NE(std::wstring::npos, listing.find(L"<folder name=\"My:Phone?\" user-perm=\"R\"/>\r\n"));
    EXPECT_EQ(std::wstring::npos, listing.find(L"Phone2"));
    EXPECT_EQ(0u, listing.find(kListingHead));

    ASSERT_EQ(S_OK, phones_->DisconnectPhone(Bstr(L"Phone1").get()));
    ASSERT_EQ(S_OK, ReadDir(L"", listing));
    EXPECT_EQ(std::wstring(kListingHead) + L"<folder name=\"My:Phone?\" user-perm=\"R\"/>\r\n" + kListingTail, listing);
}

TEST_F(SimSuite, PhoneRootListsMemoriesWithLabelAndType)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    std::wstring listing;
    ASSERT_EQ(S_OK, ReadDir(L"ALIAS:Phone1", listing));
    EXPECT_EQ(std::wstring(kListingHead) +
                  L"<folder name=\"C:\" label=\"Phone memory\" mem-type=\"PHONE\" user-perm=\"RW\"/>\r\n"
                  L"<folder name=\"E:\" label=\"Memory card\" mem-type=\"MMC\" user-perm=\"RW\"/>\r\n" +
                  kListingTail,
              listing);
    ASSERT_EQ(S_OK, ReadDir(L"ALIAS:Phone1\\C:", listing));
    EXPECT_EQ(std::wstring(kListingHead) + kListingTail, listing);
}

TEST_F(SimSuite, UnknownDisconnectedAndMalformedPathsFail)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    AddPhone(L"Off", L"350000000000002", false);
    PutFile(L"ALIAS:Off\\C:\\a.txt", {1, 2, 3});
    struct Case {
        const wchar_t* path;
        HRESULT expected;
    } cases[] = {
        {L"ALIAS:Nobody", kNotFound},
        {L"ALIAS:Phone1\\D:", kNotFound},
        {L"ALIAS:Phone1\\C:\\Missing", kNotFound},
        {L"ALIAS:Off", kNotFound},
        {L"ALIAS:Off\\C:", kNotFound},
        {L"Phone1", kBadPath},
        {L"ALIAS:Phone1\\Images", kBadPath},
        {L"ALIAS:Phone1\\C:\\\\x", kBadPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.path));
        std::wstring listing;
        EXPECT_EQ(HexResult(c.expected), HexResult(ReadDir(c.path, listing)));
        EXPECT_EQ(L"", listing);
    }
    // A name whose stored form would not fit a PC path is refused, never cut.
    const std::wstring longName(240, L'n');
    std::wstring listing;
    EXPECT_EQ(HexResult(kBadPath), HexResult(ReadDir(L"ALIAS:Phone1\\C:\\" + longName, listing)));
    EXPECT_EQ(HexResult(kBadPath), HexResult(WriteFile(L"ALIAS:Phone1\\C:\\" + longName, {1})));
    std::vector<unsigned char> bytes;
    EXPECT_EQ(HexResult(kNotFound), HexResult(ReadFile(L"ALIAS:Off\\C:\\a.txt", bytes)));
    unique_bstr imei;
    EXPECT_EQ(HexResult(kNotFound), HexResult(vfs_->GetImei(Bstr(L"Off").get(), imei.put())));
}

TEST_F(SimSuite, InvalidPcNamesRoundTripThroughTheStore)
{
    AddPhone(L"con", L"350000000000001", true);
    const wchar_t* names[] = {L"con.txt", L"a<b>c",      L"what?",     L"trailing.",    L".hidden",
                              L"100%",    L"pipe|star*", L"q\"colon:", L"predefgallery"};
    unsigned seed = 0;
    for (const wchar_t* name : names)
        PutFile(std::wstring(L"ALIAS:con\\C:\\Names\\") + name, Pattern(10, seed++));
    std::wstring listing;
    ASSERT_EQ(S_OK, ReadDir(L"ALIAS:con\\C:\\Names", listing));
    const wchar_t* listed[] = {L"con.txt", L"a&lt;b&gt;c", L"what?",         L"trailing.",    L".hidden",
                               L"100%",    L"pipe|star*",  L"q&quot;colon:", L"predefgallery"};
    seed = 0;
    for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); ++i) {
        SCOPED_TRACE(Narrow(names[i]));
        EXPECT_NE(std::wstring::npos, listing.find(L"<file name=\"" + std::wstring(listed[i]) + L"\" size=\"10\""));
        std::vector<unsigned char> bytes;
        ASSERT_EQ(S_OK, ReadFile(std::wstring(L"ALIAS:con\\C:\\Names\\") + names[i], bytes));
        EXPECT_EQ(Pattern(10, seed++), bytes);
    }
    // On the PC the names are escaped.
    EXPECT_TRUE(FileExists(StorePath(L"%63on\\mem-C\\Names\\%63on.txt")));
    EXPECT_TRUE(FileExists(StorePath(L"%63on\\mem-C\\Names\\trailing%2E")));
    EXPECT_TRUE(FileExists(StorePath(L"%63on\\mem-C\\Names\\q%22colon%3A")));
}

TEST_F(SimSuite, NamesWithControlCharactersAreStoredButNotListed)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    PutFile(L"ALIAS:Phone1\\C:\\bell\x07.txt", {7});
    PutFile(L"ALIAS:Phone1\\C:\\plain.txt", {8});
    unique_variant data;
    ASSERT_EQ(S_OK, phones_->GetFile(Bstr(L"ALIAS:Phone1\\C:\\bell\x07.txt").get(), data.get()));
    EXPECT_EQ(std::vector<unsigned char>{7}, BytesOf(*data.get()));
    // XML cannot carry the character: the listing stays readable without that entry.
    std::wstring listing;
    ASSERT_EQ(S_OK, ReadDir(L"ALIAS:Phone1\\C:", listing));
    EXPECT_EQ(std::wstring::npos, listing.find(L"bell"));
    EXPECT_NE(std::wstring::npos, listing.find(L"plain.txt"));
}

TEST_F(SimSuite, WriteThenReadRoundTripsBytesAndTimes)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    ASSERT_EQ(S_OK, vfs_->mkdir(Bstr(L"ALIAS:Phone1\\C:\\Images").get(), nullptr));
    const std::vector<unsigned char> content = Pattern(100000, 3);
    const DATE modified = MakeDate(2005, 2, 28, 13, 45, 8);
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\Images\\a.jpg", content, modified));

    std::wstring listing;
    ASSERT_EQ(S_OK, ReadDir(L"ALIAS:Phone1\\C:\\Images", listing));
    EXPECT_NE(std::wstring::npos, listing.find(L"<file name=\"a.jpg\" size=\"100000\" created=\""));
    EXPECT_NE(std::wstring::npos,
              listing.find(L"modified=\"20050228T134508\" user-perm=\"RWD\" type=\"image/jpeg\"/>"));

    LONG handle = 0;
    ASSERT_EQ(S_OK, vfs_->fopen(1, Bstr(L"ALIAS:Phone1\\C:\\Images\\a.jpg").get(), 1, &handle, nullptr));
    DATE read = 0;
    ASSERT_EQ(S_OK, vfs_->fgettime(handle, &read));
    EXPECT_DOUBLE_EQ(modified, read);
    LONG size = 0;
    ASSERT_EQ(S_OK, vfs_->fgetsize(handle, &size));
    EXPECT_EQ(100000, size);
    unique_variant data;
    ASSERT_EQ(S_OK, vfs_->fread(data.get(), handle));
    EXPECT_EQ(VT_ARRAY | VT_UI1, data.get()->vt);
    EXPECT_EQ(content, BytesOf(*data.get()));
    // fsettime on a read handle changes the phone file.
    const DATE later = MakeDate(2010, 12, 31, 23, 59, 58);
    ASSERT_EQ(S_OK, vfs_->fsettime(handle, later));
    ASSERT_EQ(S_OK, vfs_->fclose(handle));
    EXPECT_EQ(HexResult(kBadHandle), HexResult(vfs_->fclose(handle)));
    ASSERT_EQ(S_OK, ReadDir(L"ALIAS:Phone1\\C:\\Images", listing));
    EXPECT_NE(std::wstring::npos, listing.find(L"modified=\"20101231T235958\""));
}

TEST_F(SimSuite, TransfersReportChunksToTheListener)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    com_ptr<RecordingListener> writer = com_ptr<RecordingListener>::attach(new RecordingListener);
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\v.3gp", Pattern(150000, 1), 0, writer.get()));
    const std::vector<std::wstring> expected = {L"started", L"status 65536/150000", L"status 131072/150000",
                                                L"status 150000/150000", L"finished"};
    EXPECT_EQ(expected, writer->calls);

    com_ptr<RecordingListener> reader = com_ptr<RecordingListener>::attach(new RecordingListener);
    std::vector<unsigned char> bytes;
    ASSERT_EQ(S_OK, ReadFile(L"ALIAS:Phone1\\C:\\v.3gp", bytes, reader.get()));
    EXPECT_EQ(expected, reader->calls);
    EXPECT_EQ(Pattern(150000, 1), bytes);

    ASSERT_EQ(S_OK, phones_->SetChunkSize(1000));
    com_ptr<RecordingListener> small = com_ptr<RecordingListener>::attach(new RecordingListener);
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\empty.txt", {}, 0, small.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"started", L"status 0/0", L"finished"}), small->calls);
}

TEST_F(SimSuite, CancelFromInsideTransferStatusFailsTheTransfer)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    PutFile(L"ALIAS:Phone1\\C:\\big.bin", Pattern(200000, 2));

    com_ptr<RecordingListener> reader = com_ptr<RecordingListener>::attach(new RecordingListener);
    reader->cancelTarget = vfs_.get();
    reader->cancelAtCall = 2; // after the first chunk
    std::vector<unsigned char> bytes;
    EXPECT_EQ(HexResult(kCancelled), HexResult(ReadFile(L"ALIAS:Phone1\\C:\\big.bin", bytes, reader.get())));
    EXPECT_EQ(S_OK, reader->cancelResult);
    EXPECT_EQ((std::vector<std::wstring>{L"started", L"status 65536/200000"}), reader->calls);
    EXPECT_TRUE(bytes.empty());

    // A cancelled write stores nothing, and the cancel does not reach later transfers.
    com_ptr<RecordingListener> writer = com_ptr<RecordingListener>::attach(new RecordingListener);
    writer->cancelTarget = vfs_.get();
    writer->cancelAtCall = 3;
    EXPECT_EQ(HexResult(kCancelled),
              HexResult(WriteFile(L"ALIAS:Phone1\\C:\\new.bin", Pattern(200000, 4), 0, writer.get())));
    EXPECT_EQ(HexResult(kNotFound), HexResult(ReadFile(L"ALIAS:Phone1\\C:\\new.bin", bytes)));
    EXPECT_EQ(S_OK, ReadFile(L"ALIAS:Phone1\\C:\\big.bin", bytes));
    EXPECT_EQ(Pattern(200000, 2), bytes);
}

TEST_F(SimSuite, CancelFromAnotherClientStopsADelayedTransfer)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    PutFile(L"ALIAS:Phone1\\C:\\slow.bin", Pattern(100000, 5));
    ASSERT_EQ(S_OK, phones_->SetChunkSize(10000));
    ASSERT_EQ(S_OK, phones_->SetTransferDelay(300));
    HRESULT cancelled = E_UNEXPECTED;
    std::thread other([&cancelled] {
        com_apartment apartment(COINIT_MULTITHREADED);
        com_ptr<IVirtualFileSystem> vfs = NewFileSystem();
        Sleep(900);
        cancelled = vfs ? vfs->Cancel() : E_UNEXPECTED;
    });
    com_ptr<RecordingListener> reader = com_ptr<RecordingListener>::attach(new RecordingListener);
    std::vector<unsigned char> bytes;
    HRESULT hr = ReadFile(L"ALIAS:Phone1\\C:\\slow.bin", bytes, reader.get());
    other.join();
    EXPECT_EQ(S_OK, cancelled);
    EXPECT_EQ(HexResult(kCancelled), HexResult(hr));
    EXPECT_GT(reader->calls.size(), 1u);
    EXPECT_LT(reader->calls.size(), 11u);
}

TEST_F(SimSuite, QuotaRefusesTheCloseThatWouldOverfillAMemory)
{
    AddPhone(L"Phone1", L"350000000000001", true, 1000);
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\first.bin", Pattern(600, 1)));
    EXPECT_EQ(HexResult(kMemoryFull), HexResult(WriteFile(L"ALIAS:Phone1\\C:\\second.bin", Pattern(600, 2))));
    std::vector<unsigned char> bytes;
    EXPECT_EQ(HexResult(kNotFound), HexResult(ReadFile(L"ALIAS:Phone1\\C:\\second.bin", bytes)));
    EXPECT_FALSE(FileExists(StorePath(L"Phone1\\mem-C\\second.bin")));
    // A replaced file gives its room back; the other memory has its own quota.
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\C:\\first.bin", Pattern(1000, 3)));
    ASSERT_EQ(S_OK, WriteFile(L"ALIAS:Phone1\\E:\\second.bin", Pattern(600, 2)));
    EXPECT_EQ(HexResult(kMemoryFull), HexResult(WriteFile(L"ALIAS:Phone1\\C:\\one.bin", {1})));
    ASSERT_EQ(S_OK, ReadFile(L"ALIAS:Phone1\\C:\\first.bin", bytes));
    EXPECT_EQ(Pattern(1000, 3), bytes);
}

TEST_F(SimSuite, InjectedFaultsFailTheNextCallsThenClear)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    PutFile(L"ALIAS:Phone1\\C:\\a.txt", {1});
    struct Case {
        const wchar_t* operation;
        LONG code;
        std::function<HRESULT()> call;
    } cases[] = {
        {L"readdir", static_cast<LONG>(0x80041234),
         [&] {
             std::wstring listing;
             return ReadDir(L"ALIAS:Phone1", listing);
         }},
        {L"GetImei", 0x4252,
         [&] {
             unique_bstr imei;
             return vfs_->GetImei(Bstr(L"Phone1").get(), imei.put());
         }},
        {L"fopen", 1,
         [&] {
             std::vector<unsigned char> bytes;
             return ReadFile(L"ALIAS:Phone1\\C:\\a.txt", bytes);
         }},
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
        EXPECT_EQ(HexResult(c.code), HexResult(c.call()));
        EXPECT_EQ(HexResult(c.code), HexResult(c.call()));
        EXPECT_EQ(S_OK, c.call());
    }
    ASSERT_EQ(S_OK, phones_->SetFault(Bstr(L"deletefile").get(), static_cast<LONG>(0x80044343), 5));
    ASSERT_EQ(S_OK, phones_->ClearFaults());
    EXPECT_EQ(S_OK, vfs_->deletefile(Bstr(L"ALIAS:Phone1\\C:\\a.txt").get(), nullptr));
    EXPECT_EQ(E_INVALIDARG, phones_->SetFault(Bstr(L"readdir").get(), 0, 1));
}

TEST_F(SimSuite, FoldersRenamesAndDeletions)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    const std::wstring root = L"ALIAS:Phone1\\C:\\";
    ASSERT_EQ(S_OK, vfs_->mkdir(Bstr(root + L"predefphotos").get(), nullptr));
    EXPECT_EQ(HexResult(kAlreadyExists), HexResult(vfs_->mkdir(Bstr(root + L"predefphotos").get(), nullptr)));
    EXPECT_EQ(HexResult(kNotFound), HexResult(vfs_->mkdir(Bstr(root + L"none\\sub").get(), nullptr)));
    EXPECT_EQ(HexResult(kBadPath), HexResult(vfs_->mkdir(Bstr(L"ALIAS:Phone1\\C:").get(), nullptr)));
    ASSERT_EQ(S_OK, WriteFile(root + L"predefphotos\\p.jpg", {1, 2}));
    EXPECT_EQ(HexResult(kFolderNotEmpty), HexResult(vfs_->rmdir(Bstr(root + L"predefphotos").get(), nullptr)));
    ASSERT_EQ(S_OK, vfs_->rename(Bstr(root + L"predefphotos\\p.jpg").get(), Bstr(L"q?.jpg").get(), nullptr));
    std::vector<unsigned char> bytes;
    ASSERT_EQ(S_OK, ReadFile(root + L"predefphotos\\q?.jpg", bytes));
    EXPECT_EQ((std::vector<unsigned char>{1, 2}), bytes);
    ASSERT_EQ(S_OK, WriteFile(root + L"predefphotos\\r.jpg", {3}));
    EXPECT_EQ(HexResult(kAlreadyExists),
              HexResult(vfs_->rename(Bstr(root + L"predefphotos\\r.jpg").get(), Bstr(L"q?.jpg").get(), nullptr)));
    EXPECT_EQ(HexResult(kBadPath),
              HexResult(vfs_->rename(Bstr(root + L"predefphotos\\r.jpg").get(), Bstr(L"a\\b").get(), nullptr)));
    EXPECT_EQ(HexResult(kNotFound), HexResult(vfs_->deletefile(Bstr(root + L"predefphotos").get(), nullptr)));
    ASSERT_EQ(S_OK, vfs_->deletefile(Bstr(root + L"predefphotos\\q?.jpg").get(), nullptr));
    ASSERT_EQ(S_OK, vfs_->deletefile(Bstr(root + L"predefphotos\\r.jpg").get(), nullptr));
    EXPECT_EQ(HexResult(kNotFound), HexResult(vfs_->deletefile(Bstr(root + L"predefphotos\\r.jpg").get(), nullptr)));
    ASSERT_EQ(S_OK, vfs_->rmdir(Bstr(root + L"predefphotos").get(), nullptr));
    EXPECT_EQ(HexResult(kNotFound), HexResult(vfs_->rmdir(Bstr(root + L"predefphotos").get(), nullptr)));
}

TEST_F(SimSuite, ImeiRefreshAndCapability)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    unique_bstr imei;
    ASSERT_EQ(S_OK, vfs_->GetImei(Bstr(L"Phone1").get(), imei.put()));
    EXPECT_STREQ(L"350000000000001", imei.c_str());
    EXPECT_EQ(HexResult(kNotFound), HexResult(vfs_->GetImei(Bstr(L"Nobody").get(), imei.put())));
    EXPECT_EQ(S_OK, vfs_->Refresh(0, Bstr(L"").get()));
    EXPECT_EQ(S_OK, vfs_->Refresh(1, Bstr(L"ALIAS:Phone1\\E:").get()));
    EXPECT_EQ(HexResult(kNotFound), HexResult(vfs_->Refresh(1, Bstr(L"ALIAS:Phone1\\C:\\gone").get())));
    unique_variant capability;
    ASSERT_EQ(S_OK, vfs_->ReadObexCapability(Bstr(L"ALIAS:Phone1").get(), 1000, capability.get()));
    ASSERT_EQ(VT_BSTR, capability.get()->vt);
    std::wstring text = capability.get()->bstrVal;
    EXPECT_EQ(0u, text.find(L"<?xml version=\"1.0\"?>"));
    EXPECT_NE(std::wstring::npos, text.find(L"<Model>OS-200</Model>"));
    EXPECT_NE(std::wstring::npos, text.find(L"<SN>350000000000001</SN>"));
    EXPECT_EQ(HexResult(0x80044361),
              HexResult(vfs_->ReadObexCapability(Bstr(L"ALIAS:Phone1").get(), 10, capability.get())));
    EXPECT_EQ(E_NOTIMPL, vfs_->Reserved18());
}

TEST_F(SimSuite, NotificationsReachEveryRegisteredSink)
{
    AddPhone(L"Phone1", L"350000000000001", false);
    com_ptr<IDeviceNotifyRegistry> first;
    com_ptr<IDeviceNotifyRegistry> second;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DeviceNotifyRegistry, nullptr, CLSCTX_LOCAL_SERVER,
                                     __uuidof(IDeviceNotifyRegistry), first.put_void()));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DeviceNotifyRegistry, nullptr, CLSCTX_LOCAL_SERVER,
                                     __uuidof(IDeviceNotifyRegistry), second.put_void()));
    // The first sink fails every notification; the others are told all the same.
    com_ptr<RecordingSink> failing = com_ptr<RecordingSink>::attach(new RecordingSink(E_FAIL));
    com_ptr<RecordingSink> sinkA = com_ptr<RecordingSink>::attach(new RecordingSink);
    com_ptr<RecordingSink> sinkB = com_ptr<RecordingSink>::attach(new RecordingSink);
    LONG failingCookie = 0, cookieA = 0, cookieB = 0;
    ASSERT_EQ(S_OK, first->Add(failing.get(), &failingCookie));
    ASSERT_EQ(S_OK, first->Add(sinkA.get(), &cookieA));
    ASSERT_EQ(S_OK, second->Add(sinkB.get(), &cookieB));
    EXPECT_NE(cookieA, cookieB);
    EXPECT_NE(0, cookieA);

    ASSERT_EQ(S_OK, phones_->ConnectPhone(Bstr(L"Phone1").get()));
    ASSERT_EQ(S_OK, phones_->DisconnectPhone(Bstr(L"Phone1").get()));
    const std::vector<std::wstring> expected = {L"connect 350000000000001 Phone1",
                                                L"disconnect 350000000000001 Phone1"};
    EXPECT_EQ(expected, sinkA->events);
    EXPECT_EQ(expected, sinkB->events);
    EXPECT_EQ(expected, failing->events);

    // Removal works through any registry object.
    ASSERT_EQ(S_OK, second->Remove(cookieA));
    ASSERT_EQ(S_OK, first->Remove(failingCookie));
    EXPECT_EQ(E_INVALIDARG, first->Remove(cookieA));
    ASSERT_EQ(S_OK, phones_->ConnectPhone(Bstr(L"Phone1").get()));
    EXPECT_EQ(2u, sinkA->events.size());
    EXPECT_EQ(3u, sinkB->events.size());
    ASSERT_EQ(S_OK, second->Remove(cookieB));

    com_ptr<IUnknown> notASink = com_ptr<IUnknown>::attach(new RecordingListener);
    LONG cookie = 7;
    EXPECT_EQ(E_NOINTERFACE, first->Add(notASink.get(), &cookie));
    EXPECT_EQ(0, cookie);
}

TEST_F(SimSuite, KilledSuiteAnswersServerUnavailableAndRestartsWithItsPhones)
{
    AddPhone(L"Phone1", L"350000000000001", true);
    std::wstring listing;
    ASSERT_EQ(S_OK, ReadDir(L"", listing));
    LONG killed = 0;
    ASSERT_EQ(S_OK, phones_->Kill(&killed));
    unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(killed)));
    ASSERT_TRUE(process);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 10000));

    EXPECT_EQ(HexResult(kServerUnavailable), HexResult(ReadDir(L"", listing)));
    vfs_ = NewFileSystem();
    ASSERT_TRUE(vfs_);
    ASSERT_EQ(S_OK, ReadDir(L"", listing));
    EXPECT_NE(std::wstring::npos, listing.find(L"<folder name=\"Phone1\""));
    com_ptr<ISimPhoneSuite> control;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SimPhoneSuite, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(ISimPhoneSuite),
                                     control.put_void()));
    LONG restarted = 0;
    ASSERT_EQ(S_OK, control->GetProcessId(&restarted));
    EXPECT_NE(killed, restarted);
}

TEST_F(SimSuite, DeviceInformationAnswersFromTheStore)
{
    AddPhone(L"Phone1", L"350000000000001", true, 1000);
    PutFile(L"ALIAS:Phone1\\C:\\a.bin", Pattern(300, 1));
    com_ptr<IDeviceCatalog> catalog;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DeviceInformation, nullptr, CLSCTX_ALL, __uuidof(IDeviceCatalog),
                                     catalog.put_void()));
    com_ptr<IDeviceProperties> properties;
    ASSERT_EQ(S_OK, catalog.query(properties, __uuidof(IDeviceProperties)));
    EXPECT_EQ(S_OK, catalog->Connect());

    auto models = [&](const wchar_t* product) {
        std::vector<std::wstring> list;
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
    EXPECT_EQ((std::vector<std::wstring>{L"OS-100", L"OS-200", L"OS-300"}), models(L"Ostrelle"));
    EXPECT_EQ(std::vector<std::wstring>{}, models(L"Other"));
    ASSERT_EQ(S_OK, phones_->SetModelList(Bstr(L"Ostrelle").get(), Bstr(L"OS-200, X 1").get()));
    EXPECT_EQ((std::vector<std::wstring>{L"OS-200", L"X 1"}), models(L"Ostrelle"));

    auto modelValue = [&](const wchar_t* model, const wchar_t* key) {
        unique_bstr value;
        EXPECT_EQ(S_OK, catalog->GetModelValue(Bstr(model).get(), Bstr(key).get(), value.put()));
        return std::wstring(value.c_str());
    };
    EXPECT_EQ(L"25", modelValue(L"OS-100", L"Ostrelle_Sync"));
    EXPECT_EQ(L"", modelValue(L"OS-100", L"Unknown"));
    ASSERT_EQ(S_OK, phones_->SetModelValue(Bstr(L"OS-200").get(), Bstr(L"Ostrelle_Sync").get(), Bstr(L"7").get()));
    EXPECT_EQ(L"7", modelValue(L"OS-200", L"Ostrelle_Sync"));
    EXPECT_EQ(L"25", modelValue(L"OS-100", L"Ostrelle_Sync"));

    unique_bstr value;
    ASSERT_EQ(S_OK, properties->GetDeviceValue(Bstr(L"350000000000001").get(), Bstr(L"Model").get(), 0, value.put()));
    EXPECT_STREQ(L"OS-200", value.c_str());
    ASSERT_EQ(S_OK, properties->GetDeviceValue(Bstr(L"999").get(), Bstr(L"Model").get(), 0, value.put()));
    EXPECT_STREQ(L"", value.c_str());
    ASSERT_EQ(S_OK, properties->GetMemoryValue(Bstr(L"350000000000001").get(), Bstr(L"PHONE").get(), value.put()));
    EXPECT_STREQ(L"700", value.c_str());
    ASSERT_EQ(S_OK, properties->GetMemoryValue(Bstr(L"350000000000001").get(), Bstr(L"MMC").get(), value.put()));
    EXPECT_STREQ(L"512000000", value.c_str());
    EXPECT_EQ(HexResult(kNotFound),
              HexResult(properties->GetMemoryValue(Bstr(L"999").get(), Bstr(L"PHONE").get(), value.put())));
    EXPECT_EQ(S_OK, properties->SelectDevice(Bstr(L"350000000000001").get(), 0));
    EXPECT_EQ(S_OK, properties->SetSource(Bstr(L"Source").get()));
}

TEST_F(SimSuite, CommandLineFillsAndListsPhones)
{
    const std::wstring cli = L"\"" + ProductDir() + L"\\simphone.exe\" ";
    ASSERT_EQ(0u, RunProgram(cli + L"add \"Cli Phone\" 351111111111111 OS-100"));
    ASSERT_EQ(0u, RunProgram(cli + L"memory \"Cli Phone\" C \"Phone memory\" PHONE 100000"));
    ASSERT_EQ(0u, RunProgram(cli + L"connect \"Cli Phone\""));
    ASSERT_EQ(0u, RunProgram(cli + L"puttext \"ALIAS:Cli Phone\\C:\\predefgallery\\con.txt\" hello "
                                   L"\"2006-07-08 09:10:11\""));
    ASSERT_EQ(0u, RunProgram(cli + L"-x mkdir \"ALIAS:Cli Phone\\C:\\tab%09name\""));
    std::wstring listing;
    ASSERT_EQ(S_OK, ReadDir(L"ALIAS:Cli Phone\\C:\\predefgallery", listing));
    EXPECT_NE(std::wstring::npos, listing.find(L"<file name=\"con.txt\" size=\"5\""));
    EXPECT_NE(std::wstring::npos, listing.find(L"modified=\"20060708T091011\""));
    ASSERT_EQ(S_OK, ReadDir(L"ALIAS:Cli Phone\\C:", listing));
    EXPECT_NE(std::wstring::npos, listing.find(L"<folder name=\"tab&#x9;name\""));
    ASSERT_EQ(0u, RunProgram(cli + L"get \"ALIAS:Cli Phone\\C:\\predefgallery\\con.txt\" \"" + StorePath(L"out.txt") +
                             L"\""));
    EXPECT_EQ((std::vector<unsigned char>{'h', 'e', 'l', 'l', 'o'}), ReadBytes(StorePath(L"out.txt")));
    EXPECT_EQ(2u, RunProgram(cli + L"frobnicate"));
    EXPECT_EQ(1u, RunProgram(cli + L"connect Nobody"));
    EXPECT_EQ(1u, RunProgram(cli + L"add \"Cli Phone\" 352222222222222 OS-100"));
}

} // namespace
