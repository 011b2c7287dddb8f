// The device-information reader against an in-process stand-in of the component
// registered for the component's class: calls, argument orders and answer forms.
#include "phone/DeviceInfoReader.h"

#include "TestSupport.h"
#include "common/Resource.h"
#include "mirror/Configuration.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

// What the stand-in answers and what it was asked.
struct Script {
    HRESULT connectResult = S_OK;
    HRESULT sourceResult = S_OK;
    HRESULT callResult = S_OK;
    HRESULT selectResult = S_OK;
    std::wstring answer = L"answer";
    std::vector<std::optional<std::wstring>> list;

    int connects = 0;
    std::vector<std::wstring> sources;
    std::vector<std::wstring> calls;
};

class StandIn : public IDeviceCatalog, public IDeviceProperties
{
public:
    explicit StandIn(Script& script) : script_(script) {}
    virtual ~StandIn() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDeviceCatalog))
            *object = static_cast<IDeviceCatalog*>(this);
        else if (IsEqualIID(iid, IID_IDeviceProperties))
            *object = static_cast<IDeviceProperties*>(this);
        else
            *object = nullptr;
        if (*object)
            AddRef();
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references_;
        if (!left)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Connect() override
    {
        ++script_.connects;
        return script_.connectResult;
    }
    HRESULT STDMETHODCALLTYPE GetModelList(BSTR product, SAFEARRAY** models) override
    {
        Record(L"GetModelList", {product});
        if (FAILED(script_.callResult))
            return script_.callResult;
        *models = SafeArrayCreateVector(VT_BSTR, 1, static_cast<ULONG>(script_.list.size()));
        for (LONG i = 0; i < static_cast<LONG>(script_.list.size()); ++i) {
            if (script_.list[i]) {
                LONG index = i + 1;
                unique_bstr element(script_.list[i]->c_str(), static_cast<UINT>(script_.list[i]->size()));
                SafeArrayPutElement(*models, &index, element.get());
            }
        }
        return S_OK;
    }
    // Also the slot of the same name of the second interface.
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetModelValue(BSTR model, BSTR key, BSTR* value) override
    {
        Record(L"GetModelValue", {model, key});
        return Answer(value);
    }

    HRESULT STDMETHODCALLTYPE SelectDevice(BSTR imei, LONG flags) override
    {
        Record(L"SelectDevice", {imei, std::to_wstring(flags)});
        return script_.selectResult;
    }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDeviceValue(BSTR device, BSTR key, LONG flags, BSTR* value) override
    {
        Record(L"GetDeviceValue", {device, key, std::to_wstring(flags)});
        return Answer(value);
    }
    HRESULT STDMETHODCALLTYPE GetMemoryValue(BSTR first, BSTR second, BSTR* value) override
    {
        Record(L"GetMemoryValue", {first, second});
        return Answer(value);
    }
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSource(BSTR source) override
    {
        script_.sources.push_back(source ? source : L"");
        return script_.sourceResult;
    }

private:
    void Record(const wchar_t* name, std::initializer_list<std::wstring> arguments)
    {
        std::wstring call = name;
        for (const std::wstring& argument : arguments)
            call += L"|" + argument;
        script_.calls.push_back(call);
    }
    HRESULT Answer(BSTR* value)
    {
        *value = nullptr;
        if (FAILED(script_.callResult))
            return script_.callResult;
        *value = SysAllocStringLen(script_.answer.c_str(), static_cast<UINT>(script_.answer.size()));
        return S_OK;
    }

    Script& script_;
    ULONG references_ = 0;
};

class StandInFactory : public IClassFactory
{
public:
    explicit StandInFactory(Script& script) : script_(script) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (failCreation)
            return E_OUTOFMEMORY;
        com_ptr<IUnknown> instance(static_cast<IDeviceCatalog*>(new StandIn(script_)));
        return instance->QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    bool failCreation = false;

private:
    Script& script_;
};

class DeviceInfoReader : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_DeviceInformation, &factory_, CLSCTX_INPROC_SERVER,
                                              REGCLS_MULTIPLEUSE, &cookie_));
        mirror::ResetConfigurationForTesting();
    }
    void TearDown() override
    {
        CoRevokeClassObject(cookie_);
        mirror::ResetConfigurationForTesting();
    }

    Script script_;
    StandInFactory factory_{script_};
    DWORD cookie_ = 0;
};

std::optional<std::wstring> Text(const wchar_t* answer)
{
    return answer ? std::optional<std::wstring>(answer) : std::nullopt;
}

std::vector<std::wstring> SplitList(const wchar_t* list)
{
    std::vector<std::wstring> entries;
    for (; *list; list += wcslen(list) + 1)
        entries.push_back(list);
    return entries;
}

TEST_F(DeviceInfoReader, GettersPassTheirArgumentsInOrder)
{
    CDeviceInfoReader reader(true);
    ASSERT_TRUE(reader.IsValid());
    EXPECT_FALSE(reader.InitialisedCom());

    EXPECT_STREQ(L"answer", reader.GetModel(L"dev1"));
    EXPECT_STREQ(L"answer", reader.GetModelValue(L"N95", L"Ostrelle_Sync"));
    EXPECT_STREQ(L"answer", reader.GetMemoryValue(L"ALIAS:p1", L"free"));
    script_.selectResult = static_cast<HRESULT>(0x80041234);
    EXPECT_EQ(static_cast<HRESULT>(0x80041234), reader.SelectDevice(L"350000000000001"));
    EXPECT_EQ((std::vector<std::wstring>{L"GetDeviceValue|dev1|Model|0", L"GetModelValue|N95|Ostrelle_Sync",
                                         L"GetMemoryValue|ALIAS:p1|free", L"SelectDevice|350000000000001|0"}),
              script_.calls);
}

TEST_F(DeviceInfoReader, ConstructionFormsAndTheirFailures)
{
    struct Case {
        const char* name;
        const wchar_t* source;
        bool connect;
        HRESULT sourceResult;
        HRESULT connectResult;
        bool valid;
        std::vector<std::wstring> sources;
        int connects;
    };
    const Case cases[] = {
        {"default, connected", nullptr, true, S_OK, S_OK, true, {}, 1},
        {"default, not connected", nullptr, false, S_OK, S_OK, true, {}, 0},
        {"named source", L"Quarnet", true, S_OK, S_OK, true, {L"Quarnet"}, 1},
        {"empty source is not passed", L"", true, S_OK, S_OK, true, {}, 1},
        {"source refused", L"Quarnet", true, E_FAIL, S_OK, false, {L"Quarnet"}, 0},
        {"connect refused", nullptr, true, S_OK, E_FAIL, false, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script_ = Script{};
        script_.sourceResult = c.sourceResult;
        script_.connectResult = c.connectResult;
        std::unique_ptr<CDeviceInfoReader> reader(c.source ? new CDeviceInfoReader(c.source, c.connect)
                                                           : new CDeviceInfoReader(c.connect));
        EXPECT_EQ(c.valid, reader->IsValid());
        EXPECT_EQ(c.sources, script_.sources);
        EXPECT_EQ(c.connects, script_.connects);
        if (!c.valid) {
            EXPECT_EQ(nullptr, reader->GetModel(L"dev1"));
            EXPECT_EQ(E_FAIL, reader->SelectDevice(L"1"));
        }
    }
}

TEST_F(DeviceInfoReader, NoComponentAnswersNullAndFailedCallsEmptyStrings)
{
    for (bool created : {false, true}) {
        SCOPED_TRACE(created ? "every call fails" : "component cannot be created");
        script_ = Script{};
        script_.callResult = E_FAIL;
        factory_.failCreation = !created;
        CDeviceInfoReader reader(true);
        EXPECT_EQ(created, reader.IsValid());
        const std::optional<std::wstring> none = created ? std::optional<std::wstring>(L"") : std::nullopt;
        EXPECT_EQ(none, Text(reader.GetModel(L"dev1")));
        EXPECT_EQ(none, Text(reader.GetModelValue(L"N95", L"key")));
        EXPECT_EQ(none, Text(reader.GetMemoryValue(L"a", L"b")));
        EXPECT_EQ(nullptr, reader.GetModelList(L"Ostrelle"));
        if (!created) {
            EXPECT_EQ(E_FAIL, reader.SelectDevice(L"1"));
            EXPECT_TRUE(script_.calls.empty());
        }
    }
}

TEST_F(DeviceInfoReader, ListSkipsNullElementsAndEndsWithAnEmptyString)
{
    CDeviceInfoReader reader(true);
    script_.list = {std::wstring(L"N95"), std::nullopt, std::wstring(L"E71")};
    const wchar_t* list = reader.GetModelList(L"Ostrelle");
    ASSERT_NE(nullptr, list);
    EXPECT_EQ((std::vector<std::wstring>{L"N95", L"E71"}), SplitList(list));
    EXPECT_EQ(0, memcmp(L"N95\0E71\0\0", list, 9 * sizeof(wchar_t)));
    EXPECT_EQ(L"GetModelList|Ostrelle", script_.calls.back());

    script_.list = {std::wstring(L"A"), std::wstring(), std::wstring(L"B")};
    EXPECT_EQ((std::vector<std::wstring>{L"A", L"B"}), SplitList(reader.GetModelList(L"Ostrelle")));
    script_.list = {};
    EXPECT_TRUE(SplitList(reader.GetModelList(L"Ostrelle")).empty());
}

TEST_F(DeviceInfoReader, LongAnswersAndListsAreCutAtTheBufferEnd)
{
    CDeviceInfoReader reader(true);
    struct Case {
        size_t length;
        size_t kept;
    };
    for (const Case& c : {Case{4999, 4999}, Case{5000, 4999}, Case{20000, 4999}, Case{0, 0}}) {
        SCOPED_TRACE(c.length);
        script_.answer = std::wstring(c.length, L'm');
        const wchar_t* answer = reader.GetModelValue(L"N95", L"key");
        ASSERT_NE(nullptr, answer);
        EXPECT_EQ(std::wstring(c.kept, L'm'), std::wstring(answer));
    }
    script_.list = {std::wstring(3000, L'a'), std::wstring(3000, L'b'), std::wstring(L"c")};
    const wchar_t* list = reader.GetModelList(L"Ostrelle");
    ASSERT_NE(nullptr, list);
    // 3001 characters for the first entry, 1997 + 1 for the cut second, 1 for the end.
    EXPECT_EQ((std::vector<std::wstring>{std::wstring(3000, L'a'), std::wstring(1997, L'b')}), SplitList(list));
    EXPECT_EQ(L'\0', list[4998]);
    EXPECT_EQ(L'\0', list[4999]);
}

TEST_F(DeviceInfoReader, ReaderInitialisesComOnAThreadWithoutIt)
{
    bool initialised = false;
    HRESULT afterwards = E_FAIL;
    std::thread worker([&] {
        {
            CDeviceInfoReader reader(false);
            initialised = reader.InitialisedCom();
        }
        // The reader undid its initialisation: the thread starts afresh.
        afterwards = CoInitialize(nullptr);
        if (SUCCEEDED(afterwards))
            CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(initialised);
    EXPECT_EQ(S_OK, afterwards);
}

TEST_F(DeviceInfoReader, FactoryPassesTheVendorNameUnlessItIsTheDefault)
{
    struct Case {
        const wchar_t* vendor;
        std::vector<std::wstring> sources;
    };
    for (const Case& c : {Case{L"Zentrel", {}}, Case{L"Quarnet", {L"Quarnet"}}, Case{L"zentrel", {L"zentrel"}}}) {
        SCOPED_TRACE(Narrow(c.vendor));
        script_ = Script{};
        mirror::SetVendorName(c.vendor);
        std::unique_ptr<CDeviceInfoReader> reader = mirror::OpenDeviceInfoReader();
        ASSERT_TRUE(reader);
        EXPECT_TRUE(reader->IsValid());
        EXPECT_EQ(c.sources, script_.sources);
        EXPECT_EQ(1, script_.connects);
    }
}

TEST_F(DeviceInfoReader, ModelValueAndNumber)
{
    mirror::SetVendorName(L"Zentrel");
    struct Case {
        const char* name;
        std::wstring answer;
        HRESULT callResult;
        bool found;
        std::wstring value;
        int number;
        bool component = true;
    };
    const Case cases[] = {
        {"number", L"12", S_OK, true, L"12", 12},
        {"text", L"abc", S_OK, true, L"abc", 0},
        {"nothing", L"", S_OK, false, L"", -1},
        {"failure", L"12", E_FAIL, false, L"", -1},
        {"no component", L"12", S_OK, false, L"", -1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script_ = Script{};
        factory_.failCreation = !c.component;
        script_.answer = c.answer;
        script_.callResult = c.callResult;
        wchar_t value[32] = L"old";
        EXPECT_EQ(c.found, mirror::GetModelValue(L"dev1", L"Ostrelle_Sync", value, 32));
        EXPECT_EQ(c.value, value);
        EXPECT_EQ(c.number, mirror::GetModelNumber(L"dev1", L"Ostrelle_Sync"));
    }
    // The model is kept in 31 characters and the value cut to the caller's buffer.
    script_ = Script{};
    factory_.failCreation = false;
    script_.answer = std::wstring(40, L'x');
    wchar_t value[8];
    EXPECT_TRUE(mirror::GetModelValue(L"dev1", L"key", value, 8));
    EXPECT_STREQ(L"xxxxxxx", value);
    EXPECT_EQ(L"GetModelValue|" + std::wstring(31, L'x') + L"|key", script_.calls.back());
}

} // namespace
