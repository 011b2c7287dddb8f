// Bad requests from clients: every method of the server's three classes called
// out of process with null, empty, over-long and wrong-typed arguments, from a
// hand-written table and from random combinations of a fixed seed. Each call
// must answer a clear HRESULT (never a crash, a disconnect or a hang), and the
// server must still serve afterwards.
#include "ServerRig.h"
#include "common/ByteArray.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

namespace {
const wchar_t kMirrorRoot[] = L"C:\\QuelvarBadRequests";
const std::wstring kPhone = L"Bad", kImei = L"350000000000017";
const std::wstring kMemory = std::wstring(kMirrorRoot) + L"\\Bad\\Phone memory (C)";
const std::wstring kHave = kMemory + L"\\have.txt.vfslnk", kNowhere = L"C:\\QuelvarBadRequests-nowhere\\none";
const Bytes kHaveBytes = {'a', 'b', 'c'};
constexpr HRESULT kAnyFailure = 0x7FFFFFFF; // the design names no code: any failure
constexpr HRESULT kTooLong = static_cast<HRESULT>(0x800700CE), kInvalid = E_INVALIDARG;
constexpr unsigned kSeed = 0x5EED1234u;
constexpr int kRandomCallsPerMethod = 20;
constexpr LONG kNoWindow = 0x1234, kMin = std::numeric_limits<LONG>::min(), kMax = std::numeric_limits<LONG>::max();
constexpr DATE kDate = 38411.5;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::wstring kNul(1, L'\0');

std::wstring Xs(size_t count)
{
    return std::wstring(count, L'x');
}

// A failure that means the server is gone or the call never reached it.
bool Transport(HRESULT hr)
{
    return HRESULT_FACILITY(hr) == FACILITY_RPC || (hr & 0xFFFFFE00) == 0x80070600;
}

// What a careless or hostile client sends where a byte array belongs: the VARIANT's
// type and, for an array, its element type, lower bound and dimensions (0: one, empty).
struct Shape {
    VARTYPE vt, elements;
    LONG lower, dims;
    HRESULT asRequest, asUpload; // the request's bytes are a rename between places that do not exist
};
const Shape kShapes[] = {
    {VT_ARRAY | VT_UI1, VT_UI1, 0, 1, E_FAIL, S_OK},
    {VT_EMPTY, 0, 0, 1, kInvalid, kInvalid},
    {VT_NULL, 0, 0, 1, kInvalid, kInvalid},
    {VT_I4, 0, 0, 1, kInvalid, kInvalid},
    {VT_BSTR, 0, 0, 1, kInvalid, kInvalid},
    {VT_DISPATCH, 0, 0, 1, kInvalid, kInvalid},
    {VT_BYREF | VT_I4, 0, 0, 1, kInvalid, kInvalid},
    {VT_BYREF | VT_VARIANT, VT_UI1, 0, 1, kInvalid, kInvalid}, // a reference to a byte array
    {VT_BYREF | VT_ARRAY | VT_UI1, VT_UI1, 0, 1, kInvalid, kInvalid},
    {VT_ARRAY | VT_I4, VT_I4, 0, 1, kInvalid, kInvalid},
    {VT_ARRAY | VT_BSTR, VT_BSTR, 0, 1, kInvalid, kInvalid},
    {VT_ARRAY | VT_UI1, VT_I4, 0, 1, kInvalid, kInvalid},  // said to be bytes, holding longs
    {VT_ARRAY | VT_UI1, VT_UI1, 0, 2, kInvalid, kInvalid}, // two dimensions
    {VT_ARRAY | VT_UI1, 0, 0, 1, E_POINTER, E_POINTER},    // no array
    {VT_ARRAY | VT_UI1, VT_UI1, 0, 0, kInvalid, S_OK},     // no bytes
    {VT_ARRAY | VT_UI1, VT_UI1, 5, 1, E_FAIL, S_OK},
    {VT_ARRAY | VT_UI1, VT_UI1, 0x7FFFFFFF, 1, kInvalid, kInvalid}}; // bounds past the largest LONG
constexpr int kShapeCount = sizeof(kShapes) / sizeof(kShapes[0]);

// The VARIANT of the shape holding the bytes; what a reference points to lives until the next one.
void MakeShape(int index, const Bytes& bytes, VARIANT* v)
{
    static LONG number = 7;
    static unique_variant inner;
    static unique_safearray held;
    static SAFEARRAY* referenced = nullptr;
    const Shape& shape = kShapes[index];
    SAFEARRAY* array = nullptr;
    if (shape.elements) {
        SAFEARRAYBOUND bounds[2] = {{shape.dims ? static_cast<ULONG>(bytes.size()) : 0, shape.lower}, {1, 0}};
        array = SafeArrayCreate(shape.elements, static_cast<UINT>(std::max(1L, shape.dims)), bounds);
        safearray_data data(array);
        if (shape.elements == VT_UI1 && shape.dims)
            memcpy(data.get(), bytes.data(), bytes.size());
    }
    VariantInit(v);
    v->vt = shape.vt;
    if (shape.vt == (VT_BYREF | VT_I4))
        v->plVal = &number;
    else if (shape.vt == (VT_BYREF | VT_VARIANT)) {
        inner.put()->vt = VT_ARRAY | VT_UI1;
        inner.get()->parray = array;
        v->pvarVal = inner.get();
    } else if (shape.vt & VT_BYREF) {
        held.reset(array);
        referenced = array;
        v->pparray = &referenced;
    } else
        v->parray = array; // null for the types that are no arrays
}

// A request as the shell extension serialises it, as bytes, and cut or with its NULs overwritten.
Bytes Request(UINT code, const std::vector<std::wstring>& from, const std::vector<std::wstring>& to = {},
              size_t keep = SIZE_MAX, bool terminated = true)
{
    unique_variant encoded;
    EXPECT_EQ(S_OK,
              fileops::FileOperationRequest::Encode(nullptr, code, FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI,
                                                    from, to, L"title", encoded.put()));
    Bytes bytes = BytesOf(*encoded.get());
    for (size_t i = fileops::kRequestImageSize; i < bytes.size() && !terminated; ++i)
        bytes[i] = bytes[i] ? bytes[i] : 'A';
    bytes.resize(std::min(keep, bytes.size()));
    return bytes;
}
const Bytes kRename = Request(FO_RENAME, {kNowhere}, {kNowhere + L"2"});

// Every method of the three classes; a row gives the arguments each takes, and its answer.
constexpr int RefreshFolder = 0, FileOperation = 1, CreateFolder = 2, Download = 3, Upload = 4, GetImei = 5,
              Refresh = 6, Capability = 7, Convert = 8, Help = 9, UpdateFolder = 10, IsPhoneFolder = 11, UpdateAll = 12,
              Notify = 13, kMethods = 14;
struct Row {
    HRESULT expected;
    int method;
    std::optional<std::wstring> text; // null when not set
    LONG a = 0, b = 1, c = 0, d = 0;  // in the method's order; d is the window where it takes one
    DATE date = kDate;
    int shape = 0;
    Bytes bytes = {'u', 'p'};
};
HRESULT Invoke(IQuelvar* q, IPIUpdate* update, const Row& x)
{
    unique_bstr text = x.text ? Bstr(*x.text) : unique_bstr(), out;
    unique_variant v;
    MakeShape(x.shape, x.bytes, v.put());
    VARIANT_BOOL is = VARIANT_FALSE;
    LONG window = 0;
    com_ptr<IDataStoreNotify> notify;
    const std::function<HRESULT()> calls[] = {
        [&] { return q->RefreshFolder(text.get(), static_cast<VARIANT_BOOL>(x.a)); },
        [&] { return q->SHFileOperation(*v.get()); },
        [&] { return q->CreateFolder(text.get()); },
        [&] { return q->DownloadVFSFile(text.get(), x.a, x.b, x.c, x.d, v.get()); },
        [&] { return q->UploadVFSFile(*v.get(), text.get(), x.a, x.date, x.d); },
        [&] { return q->GetImei(text.get(), out.put()); },
        [&] { return q->Refresh(static_cast<LEVEL>(x.a), text.get()); },
        [&] { return q->GetCapabilityObject(text.get(), v.put()); },
        [&] { return q->Convert(text.get(), static_cast<short>(x.a), static_cast<short>(x.b), out.put(), x.d); },
        [&] { return q->OpenHtmlHelp(x.d, text.get(), x.a, x.b, &window); },
        [&] { return update->UpdateFolder(text.get(), x.d); },
        [&] { return update->IsPhoneFolder(text.get(), &is); },
        [&] { return update->UpdateAll(static_cast<PIU_DATA_TYPE>(x.a), x.d); },
        [&] {
            update->QueryInterface(IID_IDataStoreNotify, notify.put_void());
            return notify->NotifySyncStatus(9, static_cast<SYNCSTATUS>(x.a), S_OK, ~0u, 0, ~0u);
        }};
    const HRESULT hr = calls[x.method]();
    // A download replaces whatever the client's VARIANT held.
    return x.method == Download && SUCCEEDED(hr) && BytesOf(*v.get()) != kHaveBytes ? E_UNEXPECTED : hr;
}

class BadRequests : public SharedRig<>
{
protected:
    static void SetUpTestSuite()
    {
        std::printf("random combinations from seed 0x%X, %d per method\n", kSeed, kRandomCallsPerMethod);
        // The stand-in help control: the help requests that pass reach no real viewer.
        help_ =
            new RegistryOverride(HKEY_CLASSES_ROOT, L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                                 L"", TestProgramDir() + L"\\help_control.dll");
        rig_ = std::make_unique<ServerRig>(kMirrorRoot, kPhone, kImei);
        rig_->phones.PutBytes(L"ALIAS:Bad\\C:\\have.txt", kHaveBytes);
        EXPECT_EQ(S_OK, q()->RefreshFolder(Bstr(kMemory).get(), VARIANT_TRUE));
        shared_ = CreateLocal<IQuelvar>(CLSID_QuelvarSingleton, IID_IQuelvar).detach();
        update_ = CreateLocal<IPIUpdate>(CLSID_PIUpdate, IID_IPIUpdate).detach();
    }
    static void TearDownTestSuite()
    {
        update_->Release();
        EXPECT_EQ(S_OK, shared_->Terminate());
        shared_->Release();
        rig_.reset();
        delete help_;
        std::printf("%d bad requests tried\n", tried_);
    }

    // Each row's exact answer, through the main object and the shared one; then
    // the server still answers a small call.
    static void Check(const std::vector<Row>& rows)
    {
        for (IQuelvar* quelvar : {q(), shared_}) {
            for (size_t i = 0; i < rows.size(); ++i) {
                const HRESULT hr = Invoke(quelvar, update_, rows[i]);
                ++tried_;
                const bool right =
                    rows[i].expected == kAnyFailure ? FAILED(hr) && !Transport(hr) : hr == rows[i].expected;
                EXPECT_TRUE(right) << "row " << i << ", method " << rows[i].method << ": "
                                   << HexResult(rows[i].expected) << " expected, " << HexResult(hr);
            }
        }
        ExpectServes();
    }
    static void ExpectServes()
    {
        unique_bstr imei;
        ASSERT_EQ(S_OK, q()->GetImei(Bstr(kPhone).get(), imei.put()));
        EXPECT_EQ(kImei, imei.c_str());
    }

    // Random uploads may have written over the file the downloads read.
    void SetUp() override { rig_->phones.PutBytes(L"ALIAS:Bad\\C:\\have.txt", kHaveBytes); }

    static inline RegistryOverride* help_ = nullptr;
    static inline IQuelvar* shared_ = nullptr;
    static inline IPIUpdate* update_ = nullptr;
    static inline int tried_ = 0;
};
} // namespace

TEST_F(BadRequests, ByteArraysOfEveryWrongShapeAreRefusedAndADownloadReplacesWhatItIsGiven)
{
    std::vector<Row> rows;
    for (int shape = 0; shape < kShapeCount; ++shape) {
        rows.push_back({kShapes[shape].asRequest, FileOperation, {}, 0, 0, 0, 0, kDate, shape, kRename});
        rows.push_back({kShapes[shape].asUpload, Upload, kMemory + L"\\up.txt", 2, 0, 0, 0, kDate, shape});
        rows.push_back({S_OK, Download, kHave, 0, 1, 3, 0, kDate, shape});
    }
    Check(rows);
}

TEST_F(BadRequests, FileOperationRequestsThatAreCutLieOrDoNotEndAreRefused)
{
    const size_t image = fileops::kRequestImageSize, sources = image + (kNowhere.size() + 2) * 2;
    const std::vector<std::wstring> from = {kNowhere}, to = {kNowhere + L"2"};
    Bytes noWindow = kRename;
    noWindow[0] = 0x34, noWindow[1] = 0x12;
    std::vector<std::pair<Bytes, HRESULT>> requests = {
        {Request(FO_RENAME, from, to, image - 1), kInvalid},
        {Request(FO_RENAME, from, to, image), kInvalid},
        {Request(FO_RENAME, from, to, sources), kInvalid},            // no unit after the NULs
        {Request(FO_RENAME, from, to, kRename.size() - 2), kInvalid}, // a title without its NUL
        {Request(FO_RENAME, from, to, kRename.size() - 1), kInvalid}, // half a unit
        {Request(FO_RENAME, from, to, SIZE_MAX, false), kInvalid},    // nothing ends
        {Request(FO_RENAME, {}, to), kInvalid},
        {Request(0xFFFFFFFF, from, to), kAnyFailure},
        {noWindow, E_FAIL}};
    for (const std::wstring& path : {kMemory + L"\\" + Xs(300), Xs(2000), kMemory + L"\\" + Xs(70000)}) {
        for (UINT code : {UINT(FO_DELETE), UINT(FO_RENAME), 0u})
            requests.push_back({Request(code, {path}, {kNowhere}), kTooLong});
    }
    std::vector<Row> rows;
    for (const auto& [bytes, expected] : requests)
        rows.push_back({expected, FileOperation, {}, 0, 0, 0, 0, kDate, 0, bytes});
    Check(rows);
}

TEST_F(BadRequests, PathsNullEmptyOverLongOrCutByANulAreAnsweredByEveryMethodThatTakesOne)
{
    // Each method with its numbers and its answer for a null path, and its answer for a path outside every mirror.
    const std::vector<std::pair<Row, HRESULT>> methods = {
        {{S_OK, RefreshFolder, {}, 5}, S_OK},
        {{S_OK, CreateFolder, {}}, S_OK},
        {{kAnyFailure, Download, {}, 0, 1, 0, kNoWindow}, kAnyFailure},
        {{kAnyFailure, Upload, {}, 2, 0, 0, kNoWindow}, kAnyFailure},
        {{kAnyFailure, GetImei, {}}, kAnyFailure},
        {{S_OK, Refresh, {}, ITEM}, S_OK},
        {{S_OK, Capability, {}}, S_OK},
        {{E_FAIL, Convert, {}, -32768, 32767, 0, kNoWindow}, E_FAIL},
        {{S_OK, Help, {}, 0, 0, 0, kNoWindow}, S_OK},
        {{S_OK, UpdateFolder, {}, 0, 0, 0, kNoWindow}, S_OK},
        {{S_OK, IsPhoneFolder, {}}, S_OK}};
    std::vector<Row> rows;
    for (auto [row, outside] : methods) {
        rows.push_back(row);
        row.text = L"";
        rows.push_back(row);
        // A path cut by a NUL must not be acted on as the part before it.
        for (const std::wstring& path :
             {kNowhere, kHave + kNul + L"x", kMemory + L"\\" + Xs(300), Xs(2000), kMemory + L"\\" + Xs(70000)}) {
            row.text = path;
            row.expected = path == kNowhere ? outside : path.size() < MAX_PATH ? kInvalid : kTooLong;
            rows.push_back(row);
        }
    }
    Check(rows);
}

TEST_F(BadRequests, NumbersDatesLevelsStatusesAndHelpCommandsOutOfRangeAreRefused)
{
    const std::wstring up = kMemory + L"\\dated.txt", chm = L"guide.chm";
    std::vector<Row> rows = {{S_OK, Download, kHave, kMax - 1, kMax, kMax, kNoWindow},
                             {S_OK, Upload, up, 2, 0, 0, kNoWindow, -1.0}, // 1899-12-29
                             {kInvalid, Upload, up, -1, 0, 0, kNoWindow},
                             {kInvalid, Refresh, L"Bad", 2},
                             {kInvalid, Refresh, {}, -1},
                             {kTooLong, Refresh, Xs(300), ALL},
                             {S_OK, Help, chm, 0x0F, 77}, // a help context is a number
                             {S_OK, UpdateFolder, L"ALIAS:"},
                             {kTooLong, UpdateFolder, L"ALIAS:Bad\\" + Xs(256)},
                             {kInvalid, UpdateFolder, L"ALIAS:Bad\\Contacts" + kNul},
                             {E_NOTIMPL, UpdateAll, {}, -1, 0, 0, kNoWindow},
                             {E_NOTIMPL, UpdateAll, {}, 99}};
    // Index, count and total size of a download at LONG's ends (others: the transfer test's series).
    for (const auto& n : {std::array<LONG, 3>{0, 1, kMin}, {kMax, kMax, kMax}})
        rows.push_back({kInvalid, Download, kHave, n[0], n[1], n[2], kNoWindow});
    for (DATE date : {kNaN, HUGE_VAL, 1e10, -1e10})
        rows.push_back({kInvalid, Upload, up, 2, 0, 0, kNoWindow, date});
    // Help commands whose data the control would take for a pointer: a topic, a search query, the window
    // type and the cookie it writes through one, and a command that does not exist.
    for (const auto& n : {std::array<LONG, 2>{0, 0x1234}, {3, 0x1234}, {5, 0}, {0x1C, 0}, {-1, kMax}})
        rows.push_back({kInvalid, Help, chm, n[0], n[1]});
    for (LONG status : {3L, 5L, -1L, kMax, 2L, 4L})
        rows.push_back({S_OK, Notify, {}, status});
    Check(rows);
    for (IUnknown* object : std::initializer_list<IUnknown*>{q(), shared_, update_}) {
        com_ptr<IDispatch> dispatch; // there is no dispatch access
        EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IDispatch, dispatch.put_void()));
    }
}

// Random combinations of the same bad values beside the table: each call answers,
// and after each method's batch the server still serves.
TEST_F(BadRequests, RandomCombinationsOfASeedAreAnsweredAndTheServerServesOn)
{
    std::mt19937 random(kSeed);
    // The last one cannot be a name in a request.
    const std::vector<std::wstring> texts = {L"",          Xs(300),  Xs(2000),           kMemory + L"\\" + Xs(70000),
                                             kMemory,      kHave,    kMirrorRoot,        L"ALIAS:Bad",
                                             L"..\\..\\x", kNowhere, kHave + kNul + L"b"};
    const std::vector<LONG> numbers = {0, 1, 2, 3, -1, kNoWindow, kMin, kMax};
    const std::vector<DATE> dates = {0, -1, kDate, -1e10, 1e10, kNaN, HUGE_VAL};
    auto pick = [&](const auto& pool) { return pool[random() % pool.size()]; };
    for (int method = 0; method < kMethods; ++method) {
        for (int i = 0; i < kRandomCallsPerMethod; ++i) {
            Row x{S_OK,          method,        pick(texts),
                  pick(numbers), pick(numbers), pick(numbers),
                  pick(numbers), pick(dates),   static_cast<int>(random() % kShapeCount)};
            if (random() % 8 == 0)
                x.text.reset();
            if (method == FileOperation) {
                // A rename or an unknown code between places that do not exist, cut or with bytes
                // overwritten (never by a NUL, which could make a name of a place that exists).
                const std::wstring name = kNowhere + texts[random() % (texts.size() - 1)].substr(0, 300);
                x.bytes = Request(random() % 2 ? FO_RENAME : 7, {name}, {kNowhere + L"2"},
                                  random() % 3 ? SIZE_MAX : random() % 400);
                for (unsigned n = random() % 4; n > 0 && x.bytes.size() > 40; --n)
                    x.bytes[30 + random() % (x.bytes.size() - 30)] = static_cast<unsigned char>(1 + random() % 255);
            }
            const HRESULT hr = Invoke(q(), update_, x);
            ++tried_;
            EXPECT_FALSE(Transport(hr)) << "method " << method << " #" << i << ": " << HexResult(hr);
        }
        ExpectServes();
    }
}
