// Bad requests from clients: every method of the server's three classes called
// out of process with null, empty, over-long and wrong-typed arguments, from a
// hand-written table and from random combinations of a fixed seed. Each call
// must answer a clear HRESULT (never a crash, a disconnect or a hang), and the
// server must still serve afterwards.
#include "ServerRig.h"
#include "common/Resource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

namespace {
const wchar_t kMirrorRoot[] = L"C:\\QuelvarBadRequests";
const std::wstring kPhone = L"Bad", kImei = L"350000000000017";
const std::wstring kMemory = std::wstring(kMirrorRoot) + L"\\Bad\\Phone memory (C)";
const std::wstring kNowhere = L"C:\\QuelvarBadRequests-nowhere\\none";
constexpr HRESULT kAnyFailure = 0x7FFFFFFF; // the design names no code: any failure
constexpr HRESULT kTooLong = static_cast<HRESULT>(0x800700CE);
constexpr unsigned kSeed = 0x5EED1234u;
constexpr int kRandomCallsPerMethod = 20;
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
constexpr LONG kNoWindow = 0x1234; // not a window
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::wstring Xs(size_t count)
{
    return std::wstring(count, L'x');
}

// A failure that means the server is gone or the call never reached it.
bool Transport(HRESULT hr)
{
    return HRESULT_FACILITY(hr) == FACILITY_RPC || (hr & 0xFFFFFF00) == 0x80070600 || (hr & 0xFFFFFF00) == 0x80070700;
}

// Bytes as an array of the given bounds and element type; the element count follows the bytes.
SAFEARRAY* Array(const Bytes& bytes, LONG lower = 0, VARTYPE type = VT_UI1, UINT dims = 1)
{
    SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(bytes.size()), lower}, {1, 0}};
    SAFEARRAY* array = SafeArrayCreate(type, dims, bounds);
    if (type == VT_UI1 && !bytes.empty()) {
        safearray_data data(array);
        memcpy(data.get(), bytes.data(), bytes.size());
    }
    return array;
}

// The VARIANTs a careless or hostile client sends where a byte array belongs.
enum Shape {
    Empty,
    Null,
    I4,
    Text,
    NullDispatch,
    NullUnknown,
    RefI4,
    RefVariant,
    RefArray,
    I4Elements,
    ByteTypeI4Elements,
    TwoDimensions,
    NullArray,
    TextElements,
    VariantElements,
    NoBytes,
    LowerFive,
    HugeBounds,
    LowerMinusFive,
    kShapes
};
void MakeShape(int shape, const Bytes& bytes, VARIANT* v)
{
    static LONG number = 7;
    static VARIANT inner;
    static SAFEARRAY* referenced = nullptr;
    VariantClear(&inner);
    if (referenced)
        SafeArrayDestroy(referenced);
    referenced = Array(bytes);
    VariantInit(v);
    switch (shape) {
    case Empty:
        break;
    case Null:
        v->vt = VT_NULL;
        break;
    case I4:
        v->vt = VT_I4, v->lVal = 5;
        break;
    case Text:
        v->vt = VT_BSTR, v->bstrVal = SysAllocString(L"x");
        break;
    case NullDispatch:
        v->vt = VT_DISPATCH, v->pdispVal = nullptr;
        break;
    case NullUnknown:
        v->vt = VT_UNKNOWN, v->punkVal = nullptr;
        break;
    case RefI4:
        v->vt = VT_BYREF | VT_I4, v->plVal = &number;
        break;
    case RefVariant:
        inner.vt = VT_ARRAY | VT_UI1, inner.parray = Array(bytes), v->vt = VT_BYREF | VT_VARIANT;
        v->pvarVal = &inner;
        break;
    case RefArray:
        v->vt = VT_BYREF | VT_ARRAY | VT_UI1, v->pparray = &referenced;
        break;
    case I4Elements:
        v->vt = VT_ARRAY | VT_I4, v->parray = Array(bytes, 0, VT_I4);
        break;
    case ByteTypeI4Elements:
        v->vt = VT_ARRAY | VT_UI1, v->parray = Array(bytes, 0, VT_I4);
        break;
    case TwoDimensions:
        v->vt = VT_ARRAY | VT_UI1, v->parray = Array(bytes, 0, VT_UI1, 2);
        break;
    case NullArray:
        v->vt = VT_ARRAY | VT_UI1, v->parray = nullptr;
        break;
    case TextElements:
        v->vt = VT_ARRAY | VT_BSTR, v->parray = Array(bytes, 0, VT_BSTR);
        break;
    case VariantElements:
        v->vt = VT_ARRAY | VT_VARIANT, v->parray = Array(bytes, 0, VT_VARIANT);
        break;
    case NoBytes:
        v->vt = VT_ARRAY | VT_UI1, v->parray = Array({});
        break;
    case LowerFive:
        v->vt = VT_ARRAY | VT_UI1, v->parray = Array(bytes, 5);
        break;
    case HugeBounds:
        v->vt = VT_ARRAY | VT_UI1, v->parray = Array(bytes, 0x7FFFFFF0);
        break;
    case LowerMinusFive:
        v->vt = VT_ARRAY | VT_UI1, v->parray = Array(bytes, -5);
        break;
    }
}

// A request as the shell extension serialises it, as bytes.
Bytes Request(UINT code, const std::vector<std::wstring>& from, const std::vector<std::wstring>& to = {},
              const std::wstring& title = L"")
{
    unique_variant encoded;
    EXPECT_EQ(S_OK, fileops::FileOperationRequest::Encode(nullptr, code, kQuiet, from, to, title, encoded.put()));
    return BytesOf(*encoded.get());
}
Bytes Cut(Bytes bytes, size_t keep)
{
    bytes.resize(std::min(keep, bytes.size()));
    return bytes;
}
// The request with every NUL after the image turned into 'A': no list or title ends.
Bytes Unterminated(Bytes bytes)
{
    for (size_t i = fileops::kRequestImageSize; i < bytes.size(); ++i)
        bytes[i] = bytes[i] ? bytes[i] : 'A';
    return bytes;
}

struct Row {
    std::string what;
    std::function<HRESULT()> call;
    HRESULT expected;
};

class BadRequests : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::printf("random combinations from seed 0x%X, %d per method\n", kSeed, kRandomCallsPerMethod);
        // The stand-in help control: the help requests that pass reach no real viewer.
        help_ =
            new RegistryOverride(HKEY_CLASSES_ROOT, L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                                 L"", TestProgramDir() + L"\\help_control.dll");
        rig_ = new ServerRig(kMirrorRoot, kPhone, kImei);
        rig_->phones.PutBytes(L"ALIAS:Bad\\C:\\have.txt", {'a', 'b', 'c'});
        EXPECT_EQ(S_OK, rig_->quelvar->RefreshFolder(Bstr(kMemory).get(), VARIANT_TRUE));
        shared_ = CreateLocal<IQuelvar>(CLSID_QuelvarSingleton, IID_IQuelvar).release();
        update_ = CreateLocal<IPIUpdate>(CLSID_PIUpdate, IID_IPIUpdate).release();
    }
    static void TearDownTestSuite()
    {
        update_->Release();
        EXPECT_EQ(S_OK, shared_->Terminate());
        shared_->Release();
        delete rig_;
        delete help_;
        std::printf("%d bad requests tried\n", tried_);
    }

    // Each row's exact answer; afterwards the server still answers a small call.
    static void Check(const std::vector<Row>& rows)
    {
        for (const Row& row : rows) {
            const HRESULT hr = row.call();
            ++tried_;
            EXPECT_FALSE(Transport(hr)) << row.what << ": " << HexResult(hr);
            if (row.expected == kAnyFailure)
                EXPECT_TRUE(FAILED(hr)) << row.what << ": " << HexResult(hr);
            else
                EXPECT_EQ(row.expected, hr) << row.what << ": " << HexResult(row.expected) << " != " << HexResult(hr);
        }
        ExpectServes();
    }
    static void ExpectServes()
    {
        unique_bstr imei;
        ASSERT_EQ(S_OK, rig_->quelvar->GetImei(Bstr(kPhone).get(), imei.put()));
        EXPECT_EQ(kImei, imei.c_str());
    }

    static IQuelvar* Main() { return rig_->quelvar.get(); }
    static std::vector<IQuelvar*> Both() { return {rig_->quelvar.get(), shared_}; }

    static RegistryOverride* help_;
    static ServerRig* rig_;
    static IQuelvar* shared_;
    static IPIUpdate* update_;
    static int tried_;
};
RegistryOverride* BadRequests::help_ = nullptr;
ServerRig* BadRequests::rig_ = nullptr;
IQuelvar* BadRequests::shared_ = nullptr;
IPIUpdate* BadRequests::update_ = nullptr;
int BadRequests::tried_ = 0;

// Paths that are null, empty, over-long, cut by a NUL, or outside every mirror.
const std::vector<std::pair<std::string, std::wstring>> kLongPaths = {
    {"300", kMemory + L"\\" + Xs(300)}, {"2000", Xs(2000)}, {"70000", kMemory + L"\\" + Xs(70000)}};
} // namespace

TEST_F(BadRequests, ByteArraysOfEveryWrongShapeAreRefusedByTheFileOperationAndTheUpload)
{
    const Bytes rename = Request(FO_RENAME, {kNowhere}, {kNowhere + L"2"});
    // What each shape answers: as a file operation (the bytes a rename request), as an upload.
    const HRESULT kInvalid = E_INVALIDARG;
    const std::vector<std::pair<HRESULT, HRESULT>> expected = {
        {kInvalid, kInvalid}, {kInvalid, kInvalid}, {kInvalid, kInvalid},   {kInvalid, kInvalid}, {kInvalid, kInvalid},
        {kInvalid, kInvalid}, {kInvalid, kInvalid}, {kInvalid, kInvalid},   {kInvalid, kInvalid}, {kInvalid, kInvalid},
        {kInvalid, kInvalid}, {kInvalid, kInvalid}, {E_POINTER, E_POINTER}, {kInvalid, kInvalid}, {kInvalid, kInvalid},
        {kInvalid, S_OK},     {E_FAIL, S_OK},       {kInvalid, kInvalid},   {E_FAIL, S_OK}};
    ASSERT_EQ(static_cast<size_t>(kShapes), expected.size());
    std::vector<Row> rows;
    for (IQuelvar* quelvar : Both()) {
        for (int shape = 0; shape < kShapes; ++shape) {
            const std::string what = "shape " + std::to_string(shape);
            rows.push_back({what + " file operation",
                            [=] {
                                unique_variant v;
                                MakeShape(shape, rename, v.put());
                                return quelvar->SHFileOperation(*v.get());
                            },
                            expected[shape].first});
            rows.push_back({what + " upload",
                            [=] {
                                unique_variant v;
                                MakeShape(shape, {'u', 'p'}, v.put());
                                return quelvar->UploadVFSFile(*v.get(), Bstr(kMemory + L"\\up.txt").get(), 2, 38411.5,
                                                              0);
                            },
                            expected[shape].second});
            // The read replaces whatever the client's VARIANT held.
            rows.push_back({what + " download",
                            [=] {
                                unique_variant v;
                                MakeShape(shape, {'d'}, v.put());
                                const HRESULT hr = quelvar->DownloadVFSFile(Bstr(kMemory + L"\\have.txt.vfslnk").get(),
                                                                            0, 1, 3, 0, v.get());
                                return SUCCEEDED(hr) && BytesOf(*v.get()) != Bytes{'a', 'b', 'c'} ? E_UNEXPECTED : hr;
                            },
                            S_OK});
        }
    }
    Check(rows);
}

TEST_F(BadRequests, FileOperationRequestsThatAreCutLieOrDoNotEndAreRefused)
{
    const Bytes rename = Request(FO_RENAME, {kNowhere}, {kNowhere + L"2"}, L"title");
    const std::vector<std::pair<std::string, std::pair<Bytes, HRESULT>>> requests = {
        {"29 bytes", {Cut(rename, 29), E_INVALIDARG}},
        {"image only", {Cut(rename, fileops::kRequestImageSize), E_INVALIDARG}},
        {"cut in the sources", {Cut(rename, 40), E_INVALIDARG}},
        {"sources without the unit after the NULs",
         {Cut(rename, fileops::kRequestImageSize + (kNowhere.size() + 2) * 2), E_INVALIDARG}},
        {"title without NUL", {Cut(rename, rename.size() - 2), E_INVALIDARG}},
        {"odd length", {Cut(rename, rename.size() - 1), E_INVALIDARG}},
        {"nothing ends", {Unterminated(rename), E_INVALIDARG}},
        {"no sources", {Request(FO_RENAME, {}, {kNowhere}), E_INVALIDARG}},
        {"two targets", {Request(FO_COPY, {kNowhere}, {kNowhere, kNowhere}), E_INVALIDARG}},
        {"unknown code", {Request(0xFFFFFFFF, {kNowhere}, {kNowhere + L"2"}), kAnyFailure}},
        {"phone and PC sources", {Request(FO_DELETE, {kMemory + L"\\have.txt.vfslnk", kNowhere}), E_INVALIDARG}},
        {"a window that is none",
         {[&] {
              Bytes b = rename;
              b[0] = 0x34, b[1] = 0x12;
              return b;
          }(),
          E_FAIL}}};
    std::vector<Row> rows;
    for (const auto& [what, request] : requests) {
        rows.push_back({what,
                        [bytes = request.first] {
                            unique_variant v;
                            v.get()->vt = VT_ARRAY | VT_UI1, v.get()->parray = Array(bytes);
                            return Main()->SHFileOperation(*v.get());
                        },
                        request.second});
    }
    for (const auto& [what, path] : kLongPaths) {
        for (UINT code : {UINT(FO_DELETE), UINT(FO_RENAME), UINT(0)})
            rows.push_back({what + " source, code " + std::to_string(code),
                            [code, path = path] {
                                unique_variant v;
                                v.get()->vt = VT_ARRAY | VT_UI1,
                                v.get()->parray = Array(Request(code, {path}, {kNowhere}));
                                return Main()->SHFileOperation(*v.get());
                            },
                            kTooLong});
    }
    Check(rows);
}

TEST_F(BadRequests, PathsNullEmptyOverLongOrCutAreAnsweredByEveryPathMethod)
{
    std::vector<Row> rows;
    using Call = std::function<HRESULT(IQuelvar*, BSTR)>;
    // Each method with what it answers for null/empty, for a path outside every mirror, and for an over-long path.
    const std::vector<std::tuple<std::string, Call, HRESULT, HRESULT>> methods = {
        {"RefreshFolder", [](IQuelvar* q, BSTR p) { return q->RefreshFolder(p, 5); }, S_OK, S_OK},
        {"CreateFolder", [](IQuelvar* q, BSTR p) { return q->CreateFolder(p); }, kAnyFailure, kAnyFailure},
        {"Refresh ITEM", [](IQuelvar* q, BSTR p) { return q->Refresh(ITEM, p); }, S_OK, S_OK},
        {"GetCapabilityObject",
         [](IQuelvar* q, BSTR p) {
             unique_variant v;
             return q->GetCapabilityObject(p, v.put());
         },
         S_OK, S_OK},
        {"Convert",
         [](IQuelvar* q, BSTR p) {
             unique_bstr out;
             return q->Convert(p, -32768, 32767, out.put(), kNoWindow);
         },
         E_FAIL, E_FAIL},
        {"DownloadVFSFile",
         [](IQuelvar* q, BSTR p) {
             unique_variant v;
             return q->DownloadVFSFile(p, 0, 1, 0, kNoWindow, v.put());
         },
         kAnyFailure, kAnyFailure},
        {"UploadVFSFile",
         [](IQuelvar* q, BSTR p) {
             unique_variant v;
             MakeByteArray({'u'}, v.get());
             return q->UploadVFSFile(*v.get(), p, 1, 38411.5, kNoWindow);
         },
         kAnyFailure, kAnyFailure},
        {"GetImei",
         [](IQuelvar* q, BSTR p) {
             unique_bstr out;
             return q->GetImei(p, out.put());
         },
         kAnyFailure, kAnyFailure}};
    for (IQuelvar* quelvar : Both()) {
        for (const auto& [name, call, none, outside] : methods) {
            rows.push_back({name + " null", [=, c = call] { return c(quelvar, nullptr); }, none});
            rows.push_back({name + " empty", [=, c = call] { return c(quelvar, Bstr(L"").get()); }, none});
            rows.push_back({name + " outside", [=, c = call] { return c(quelvar, Bstr(kNowhere).get()); }, outside});
            // A path cut by a NUL must not be acted on as the part before it.
            rows.push_back({name + " NUL inside",
                            [=, c = call] {
                                return c(quelvar,
                                         Bstr(kMemory + L"\\have.txt.vfslnk" + std::wstring(1, L'\0') + L"x").get());
                            },
                            E_INVALIDARG});
            for (const auto& [what, path] : kLongPaths)
                rows.push_back(
                    {name + " " + what, [=, c = call, p = path] { return c(quelvar, Bstr(p).get()); }, kTooLong});
        }
    }
    Check(rows);
}

TEST_F(BadRequests, NumbersDatesLevelsAndHelpCommandsOutOfRangeAreRefused)
{
    const std::wstring have = kMemory + L"\\have.txt.vfslnk";
    auto download = [have](LONG index, LONG count, LONG size) {
        unique_variant v;
        return Main()->DownloadVFSFile(Bstr(have).get(), index, count, size, kNoWindow, v.put());
    };
    auto upload = [](LONG size, DATE date) {
        unique_variant v;
        MakeByteArray({'u'}, v.get());
        return Main()->UploadVFSFile(*v.get(), Bstr(kMemory + L"\\dated.txt").get(), size, date, kNoWindow);
    };
    auto help = [](LONG command, LONG data, const std::wstring& file = L"guide.chm") {
        LONG window = 0;
        return Main()->OpenHtmlHelp(kNoWindow, Bstr(file).get(), command, data, &window);
    };
    constexpr LONG kMin = std::numeric_limits<LONG>::min(), kMax = std::numeric_limits<LONG>::max();
    std::vector<Row> rows = {
        {"count -1", [=] { return download(0, -1, 0); }, E_INVALIDARG},
        {"count 0", [=] { return download(0, 0, 0); }, E_INVALIDARG},
        {"size -1", [=] { return download(0, 1, -1); }, E_INVALIDARG},
        {"size min", [=] { return download(0, 1, kMin); }, E_INVALIDARG},
        {"index -1", [=] { return download(-1, 3, 0); }, E_INVALIDARG},
        {"index = count", [=] { return download(3, 3, 0); }, E_INVALIDARG},
        {"index max", [=] { return download(kMax, kMax, kMax); }, E_INVALIDARG},
        {"largest series", [=] { return download(kMax - 1, kMax, kMax); }, S_OK},
        {"upload size -1", [=] { return upload(-1, 38411.5); }, E_INVALIDARG},
        {"upload date NaN", [=] { return upload(1, kNaN); }, E_INVALIDARG},
        {"upload date infinite", [=] { return upload(1, HUGE_VAL); }, E_INVALIDARG},
        {"upload date 1e10", [=] { return upload(1, 1e10); }, E_INVALIDARG},
        {"upload date -1e10", [=] { return upload(1, -1e10); }, E_INVALIDARG},
        {"upload date -1 (1899)", [=] { return upload(1, -1.0); }, S_OK},
        {"Refresh level 2", [] { return Main()->Refresh(static_cast<LEVEL>(2), Bstr(L"Bad").get()); }, E_INVALIDARG},
        {"Refresh level -1", [] { return Main()->Refresh(static_cast<LEVEL>(-1), nullptr); }, E_INVALIDARG},
        {"Refresh ALL long alias", [] { return Main()->Refresh(ALL, Bstr(Xs(300)).get()); }, kTooLong},
        {"HideProgressDialog", [] { return Main()->HideProgressDialog(); }, S_OK},
        {"help topic", [=] { return help(0, 0); }, S_OK},
        {"help context", [=] { return help(0x0F, 77); }, S_OK},
        {"help topic with a pointer", [=] { return help(0, 0x1234); }, E_INVALIDARG},
        {"help search with a pointer", [=] { return help(3, 0x1234); }, E_INVALIDARG},
        {"help get window type", [=] { return help(5, 0); }, E_INVALIDARG},
        {"help initialize", [=] { return help(0x1C, 0); }, E_INVALIDARG},
        {"help command -1", [=] { return help(-1, kMax); }, E_INVALIDARG},
        {"help file 70000", [=] { return help(0, 0, Xs(70000)); }, kTooLong},
        {"no dispatch access",
         [] {
             com_ptr<IDispatch> dispatch;
             return Main()->QueryInterface(IID_IDispatch, dispatch.put_void());
         },
         E_NOINTERFACE}};
    Check(rows);
}

TEST_F(BadRequests, UpdateObjectAnswersBadPathsTypesAndStatuses)
{
    com_ptr<IDataStoreNotify> notify;
    ASSERT_EQ(S_OK, update_->QueryInterface(IID_IDataStoreNotify, notify.put_void()));
    std::vector<Row> rows = {
        {"UpdateFolder null", [] { return update_->UpdateFolder(nullptr, kNoWindow); }, S_OK},
        {"UpdateFolder empty", [] { return update_->UpdateFolder(Bstr(L"").get(), 0); }, S_OK},
        {"UpdateFolder ALIAS: only", [] { return update_->UpdateFolder(Bstr(L"ALIAS:").get(), 0); }, S_OK},
        {"UpdateFolder long type", [] { return update_->UpdateFolder(Bstr(L"ALIAS:Bad\\" + Xs(256)).get(), 0); },
         kTooLong},
        {"UpdateFolder NUL inside",
         [] { return update_->UpdateFolder(Bstr(L"ALIAS:Bad\\Contacts" + std::wstring(1, L'\0')).get(), 0); },
         E_INVALIDARG},
        {"UpdateAll -1", [] { return update_->UpdateAll(static_cast<PIU_DATA_TYPE>(-1), kNoWindow); }, E_NOTIMPL},
        {"UpdateAll 99", [] { return update_->UpdateAll(static_cast<PIU_DATA_TYPE>(99), 0); }, E_NOTIMPL}};
    for (const auto& [what, path] : kLongPaths) {
        rows.push_back(
            {"UpdateFolder " + what, [p = path] { return update_->UpdateFolder(Bstr(p).get(), 0); }, kTooLong});
        rows.push_back({"IsPhoneFolder " + what,
                        [p = path] {
                            VARIANT_BOOL is = VARIANT_TRUE;
                            return update_->IsPhoneFolder(Bstr(p).get(), &is);
                        },
                        kTooLong});
    }
    for (LONG status : {3L, 5L, -1L, 0x7FFFFFFFL, 2L, 4L})
        rows.push_back({"status " + std::to_string(status),
                        [=] { return notify->NotifySyncStatus(9, static_cast<SYNCSTATUS>(status), S_OK, ~0u, 0, ~0u); },
                        S_OK});
    Check(rows);
}

// Random combinations of the same bad values, beside the table: each call answers,
// and after each method's batch the server still serves.
TEST_F(BadRequests, RandomCombinationsOfASeedAreAnsweredAndTheServerServesOn)
{
    std::mt19937 random(kSeed);
    const std::vector<std::wstring> texts = {L"",
                                             Xs(300),
                                             Xs(2000),
                                             kMemory + L"\\" + Xs(70000),
                                             kMemory,
                                             kMemory + L"\\have.txt.vfslnk",
                                             kMirrorRoot,
                                             L"ALIAS:Bad",
                                             L"..\\..\\x",
                                             kNowhere,
                                             kMemory + L"\\a" + std::wstring(1, L'\0') + L"b"};
    const std::vector<LONG> numbers = {
        0, 1, 2, 3, -1, kNoWindow, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()};
    const std::vector<DATE> dates = {0, -1, 38411.5, -1e10, 1e10, kNaN, HUGE_VAL};
    auto pick = [&](const auto& pool) { return pool[random() % pool.size()]; };
    auto text = [&]() { return random() % 8 ? Bstr(pick(texts)) : unique_bstr(); };
    auto bytes = [&]() {
        // A rename between places that do not exist, cut or with bytes overwritten (never by a NUL).
        Bytes b = Request(random() % 2 ? FO_RENAME : 7, {kNowhere + L"\\" + pick(texts).substr(0, 300)},
                          {kNowhere + L"2"}, pick(texts).substr(0, 300));
        for (unsigned n = random() % 4; n > 0; --n)
            b[fileops::kRequestImageSize + random() % (b.size() - fileops::kRequestImageSize)] = 1 + random() % 255;
        return random() % 3 ? b : Cut(b, random() % b.size());
    };
    using Method = std::function<HRESULT()>;
    const std::vector<std::pair<std::string, Method>> methods = {
        {"RefreshFolder", [&] { return Main()->RefreshFolder(text().get(), static_cast<short>(pick(numbers))); }},
        {"SHFileOperation",
         [&] {
             unique_variant v;
             MakeShape(random() % 2 ? int(random() % kShapes) : int(LowerFive), bytes(), v.put());
             return Main()->SHFileOperation(*v.get());
         }},
        {"CreateFolder", [&] { return Main()->CreateFolder(text().get()); }},
        {"DownloadVFSFile",
         [&] {
             unique_variant v;
             MakeShape(random() % kShapes, {'d'}, v.put());
             return Main()->DownloadVFSFile(text().get(), pick(numbers), pick(numbers), pick(numbers), pick(numbers),
                                            v.get());
         }},
        {"UploadVFSFile",
         [&] {
             unique_variant v;
             MakeShape(random() % kShapes, {'u', 'p'}, v.put());
             return Main()->UploadVFSFile(*v.get(), text().get(), pick(numbers), pick(dates), pick(numbers));
         }},
        {"GetImei",
         [&] {
             unique_bstr out;
             return Main()->GetImei(text().get(), out.put());
         }},
        {"Refresh", [&] { return Main()->Refresh(static_cast<LEVEL>(pick(numbers)), text().get()); }},
        {"GetCapabilityObject",
         [&] {
             unique_variant v;
             return Main()->GetCapabilityObject(text().get(), v.put());
         }},
        {"Convert",
         [&] {
             unique_bstr out;
             return Main()->Convert(text().get(), static_cast<short>(pick(numbers)), static_cast<short>(pick(numbers)),
                                    out.put(), pick(numbers));
         }},
        {"OpenHtmlHelp",
         [&] {
             LONG window = 0;
             return Main()->OpenHtmlHelp(pick(numbers), text().get(), pick(numbers), pick(numbers), &window);
         }},
        {"UpdateFolder", [&] { return update_->UpdateFolder(text().get(), pick(numbers)); }},
        {"IsPhoneFolder", [&] {
             VARIANT_BOOL is;
             return update_->IsPhoneFolder(text().get(), &is);
         }}};
    for (const auto& [name, call] : methods) {
        for (int i = 0; i < kRandomCallsPerMethod; ++i) {
            const HRESULT hr = call();
            ++tried_;
            EXPECT_FALSE(Transport(hr)) << name << " #" << i << ": " << HexResult(hr);
        }
        ExpectServes();
    }
}
