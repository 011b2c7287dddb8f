// The soak: several client processes at once work on two simulated phones for a
// number of rounds while the phone suite fails calls at random (and dies now and
// then); afterwards no byte is lost, the mirrors agree with the phones, the
// server is back to its size and still serves. Then a hundred requests at once,
// and clients killed in the middle of their work. `--rounds N --seed S` sizes it.
#include "ServerRig.h"
#include "Windows.h"
#include "common/Resource.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <thread>

using namespace testing_support;
using Bytes = std::vector<unsigned char>;

namespace {

const wchar_t kMirrorRoot[] = L"C:\\QuelvarSoak";
const wchar_t* const kPhones[] = {L"SA", L"SB"};
constexpr int kClients = 3;
constexpr long kChaosPermille = 100;
// The server's bound on workers running at once.
constexpr long kMaxWorkers = 4;
constexpr int kBurst = 100;
constexpr WORD kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;

// "--rounds 40" on the program's command line.
long Flag(const std::wstring& name, long fallback)
{
    const wchar_t* found = wcsstr(GetCommandLineW(), (name + L" ").c_str());
    return found ? wcstol(found + name.size(), nullptr, 10) : fallback;
}

std::wstring Quoted(const std::wstring& text)
{
    return L" \"" + text + L"\"";
}

struct Figures {
    DWORD handles = 0, threads = 0;
    // Client ends of pipes to a process that has gone: the platform's RPC keeps
    // the connections its calls had open to a suite that died (each with an
    // event), though nothing in the server refers to them any more.
    DWORD deadPeerPipes = 0;
    SIZE_T memory = 0;
};

// The system's handle list (GetProcessHandleCount answers 0 for another process under Wine).
struct SystemHandle {
    ULONG process;
    UCHAR type, flags;
    USHORT value;
    void* object;
    ACCESS_MASK access;
};
std::vector<USHORT> HandlesOf(DWORD pid)
{
    std::vector<ULONG> list(1 << 16);
    ULONG needed = 0;
    while (NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), list.data(), list.size() * 4, &needed) ==
           static_cast<NTSTATUS>(0xC0000004))
        list.resize(list.size() * 2);
    const auto* handles = reinterpret_cast<const SystemHandle*>(&list[1]);
    std::vector<USHORT> values;
    for (const SystemHandle* h = handles; h != handles + list[0]; ++h) {
        if (h->process == pid)
            values.push_back(h->value);
    }
    return values;
}

// Whether a handle of the process is the client end of a pipe whose server end has closed.
bool IsDeadPeerPipe(HANDLE process, USHORT value)
{
    HANDLE copy = nullptr;
    if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)), GetCurrentProcess(), &copy,
                         0, FALSE, DUPLICATE_SAME_ACCESS))
        return false;
    unique_handle owned(copy);
    ULONG typeBuffer[256] = {};
    ULONG length = 0;
    if (NtQueryObject(copy, ObjectTypeInformation, typeBuffer, sizeof(typeBuffer), &length) != 0)
        return false;
    const auto& type = *reinterpret_cast<const PUBLIC_OBJECT_TYPE_INFORMATION*>(typeBuffer);
    if (std::wstring(type.TypeName.Buffer, type.TypeName.Length / sizeof(wchar_t)) != L"File")
        return false;
    FILE_PIPE_LOCAL_INFORMATION pipe{};
    IO_STATUS_BLOCK status{};
    constexpr ULONG kClientEnd = 0, kClosing = 4;
    return NtQueryInformationFile(copy, &status, &pipe, sizeof(pipe), FilePipeLocalInformation) == 0 &&
           pipe.NamedPipeEnd == kClientEnd && pipe.NamedPipeState == kClosing;
}

// The server process as the system sees it.
Figures Measure(DWORD pid)
{
    Figures figures;
    unique_handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE, FALSE, pid));
    const std::vector<USHORT> handles = HandlesOf(pid);
    figures.handles = static_cast<DWORD>(handles.size());
    for (USHORT value : handles)
        figures.deadPeerPipes += IsDeadPeerPipe(process.get(), value);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    EXPECT_TRUE(GetProcessMemoryInfo(process.get(), &memory, sizeof(memory)));
    figures.memory = memory.PagefileUsage;
    unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 thread{};
    thread.dwSize = sizeof(thread);
    for (BOOL more = Thread32First(snapshot.get(), &thread); more; more = Thread32Next(snapshot.get(), &thread))
        figures.threads += thread.th32OwnerProcessID == pid;
    return figures;
}

// Answers every box of the product the way a patient user does, while it lives.
class BoxAnswerer
{
public:
    BoxAnswerer()
        : thread_([this] {
              while (!stop_) {
                  for (HWND box : VisibleDialogs(L"Ostrelle")) {
                      ClickButton(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
                      ++answered;
                  }
                  WaitForSingleObject(GetCurrentProcess(), 250);
              }
          })
    {
    }
    ~BoxAnswerer()
    {
        stop_ = true;
        thread_.join();
    }
    std::atomic<int> answered{0};

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A file the soak made, and every place where the user may find it after the
// operations it went through.
struct Tracked {
    Bytes bytes;
    std::vector<std::wstring> places;
    bool deleted = false; // the user deleted it: it may be gone everywhere
};

class Soak : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const wchar_t* alias : kPhones) {
            phones_.AddPhone(alias, alias == kPhones[0] ? L"350000000000091" : L"350000000000092");
            phones_.Connect(alias);
            for (int c = 0; c < kClients; ++c)
                phones_.MakeFolder(L"ALIAS:" + std::wstring(alias) + L"\\C:\\c" + std::to_wstring(c));
        }
        rig_.Open(kPhones[0]);
        MakeFolders(pc_.path(), {L"\\in", L"\\out", L"\\burst"});
        phones_.MakeFolder(L"ALIAS:SA\\C:\\burst");
        // The shared main object the clients use, made before the figures are taken.
        ASSERT_EQ(0u, Client(L"refresh" + Quoted(rig_.root) + L" --recursive"));
        std::vector<DWORD> servers = FindProcesses(L"ZentrelQuelvar.exe");
        ASSERT_EQ(1u, servers.size());
        server_ = servers.front();
        alive_ = phones_.FileSystems();
        // Workers have run side by side: what they load, and the connections the
        // platform keeps for calls at once, are no growth.
        std::vector<std::wstring> warm;
        for (int i = 0; i < 16; ++i)
            warm.push_back(L"w" + std::to_wstring(i));
        ASSERT_EQ(16, CopyAtOnce(warm));
    }
    void TearDown() override
    {
        rig_.Close();
        // The shared object keeps the server until it is terminated.
        EXPECT_EQ(0u, Client(L"terminate"));
        EXPECT_TRUE(WaitForNoProcess(L"ZentrelQuelvar.exe", 120000)) << "every worker has ended";
    }

    std::wstring Memory(int phone) const { return rig_.root + L"\\" + kPhones[phone] + L"\\Phone memory (C)"; }
    std::wstring Stored(int phone, const std::wstring& rest) const
    {
        return phones_.Store() + L"\\" + kPhones[phone] + L"\\mem-C\\" + rest;
    }
    // Runs the command-line client on the shared main object; its output goes to the log.
    HANDLE StartClient(const std::wstring& chain)
    {
        return StartProgram(L"\"" + ProductDir() + L"\\quelvar.exe\" -k --shared " + chain, log_.get(), log_.get());
    }
    DWORD Client(const std::wstring& chain)
    {
        unique_handle process(StartClient(chain));
        DWORD code = WaitForSingleObject(process.get(), 300000) == WAIT_OBJECT_0 ? 0 : ~0u;
        GetExitCodeProcess(process.get(), &code);
        return code;
    }
    // Hands a copy of each named PC file to phone A's "burst" folder at once, each
    // request over this window; the end messages that came.
    int CopyAtOnce(const std::vector<std::wstring>& names)
    {
        for (size_t i = 0; i < names.size(); ++i) {
            const std::wstring file = pc_.path() + L"\\burst\\" + names[i];
            WriteBytes(file, Bytes(100 + i, static_cast<unsigned char>(i)));
            EXPECT_EQ(S_OK, SendFileOperation(rig_.quelvar.get(), FO_COPY, kQuiet, {file}, {Memory(0) + L"\\burst"},
                                              window_.get()));
        }
        // Counted here: PumpUntil would dispatch them unseen.
        const UINT endMessage = RegisterWindowMessageW(contract::kFileOperationEndMessage);
        size_t ends = 0;
        for (const DWORD start = GetTickCount(); ends < names.size() && GetTickCount() - start < 600000;) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == endMessage)
                    ++ends;
                else
                    DispatchMessageW(&message);
            }
        }
        return static_cast<int>(ends);
    }
    // The suite may have died since the last call: a fresh process then answers.
    ISimPhoneSuite* Suite()
    {
        LONG pid = 0;
        if (FAILED(phones_->GetProcessId(&pid)))
            phones_.Reconnect();
        return phones_.operator->();
    }
    // Waits until every worker has let go of its phone component; the instances alive then.
    long IdleWorkers()
    {
        PumpUntil([&] { return Suite() && phones_.FileSystems() <= alive_; }, 120000);
        return phones_.FileSystems();
    }

    // One client's round: a new file goes onto phone A and then through one more operation.
    std::wstring Round(int client, int round, std::mt19937& random, std::map<std::wstring, Tracked>& files)
    {
        const std::wstring name = L"c" + std::to_wstring(client) + L"r" + std::to_wstring(round) + L".bin";
        const std::wstring folder = L"\\c" + std::to_wstring(client), source = pc_.path() + L"\\in\\" + name;
        const std::wstring mirrorA = Memory(0) + folder, mirrorB = Memory(1) + folder, link = mirrorA + L"\\" + name;
        Tracked& file = files[name];
        file.bytes.resize(random() % 40000);
        for (size_t i = 0; i < file.bytes.size(); ++i)
            file.bytes[i] = static_cast<unsigned char>(i * 31 + client * 7 + round);
        WriteBytes(source, file.bytes);
        file.places = {source, Stored(0, folder + L"\\" + name)};
        const wchar_t* const toPhone[] = {L"upload", L"copy", L"move"};
        const int first = random() % 3, second = random() % 6;
        // A user browses down from the top: after the suite's death the mirror is rebuilt.
        std::wstring chain = L"refresh" + Quoted(rig_.root) + L" --recursive + " + toPhone[first] + Quoted(source) +
                             (first ? L" --to" : L"") + Quoted(mirrorA) + (first == 2 ? L" --answer yes" : L"") +
                             L" + ";
        const std::wstring out = pc_.path() + L"\\out\\" + name;
        switch (second) {
        case 0:
            chain += L"download" + Quoted(link + L".vfslnk") + Quoted(out);
            file.places.push_back(out);
            break;
        case 1:
            chain += L"copy" + Quoted(link + L".vfslnk") + L" --to" + Quoted(mirrorB);
            file.places.push_back(Stored(1, folder + L"\\" + name));
            break;
        case 2:
            chain += L"move" + Quoted(link + L".vfslnk") + L" --to" + Quoted(pc_.path() + L"\\out") + L" --answer yes";
            file.places.push_back(out);
            break;
        case 3:
            chain += L"rename" + Quoted(link + L".vfslnk") + L" " + name + L".ren";
            file.places.push_back(Stored(0, folder + L"\\" + name + L".ren"));
            break;
        case 4:
            chain += L"delete" + Quoted(link + L".vfslnk");
            file.deleted = first == 2; // a moved file had only this place left
            break;
        default:
            chain += L"download-series" + Quoted(pc_.path() + L"\\out") + Quoted(link + L".vfslnk");
            file.places.push_back(out);
        }
        return chain + L" + refresh" + Quoted(mirrorA) + L" --files + refresh" + Quoted(mirrorB) + L" --files";
    }

    MirrorRootRig rig_{kMirrorRoot};
    SimulatedPhones phones_;
    TempDir pc_;
    unique_file log_{[] {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        return CreateFileW((TempDir().path() + L".log").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }()};
    unique_hwnd window_{CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr)};
    DWORD server_ = 0;
    long alive_ = 0;
};

} // namespace

TEST_F(Soak, ClientsAndRandomFaultsLoseNoByteAndTheServerRecovers)
{
    const long rounds = Flag(L"--rounds", 3), seed = Flag(L"--seed", 1);
    BoxAnswerer answerer;
    ASSERT_EQ(alive_, IdleWorkers());
    const Figures before = Measure(server_);
    const DWORD started = GetTickCount();
    std::mt19937 random(static_cast<unsigned>(seed));
    std::map<std::wstring, Tracked> files;
    ASSERT_EQ(S_OK, Suite()->SetFault(Bstr(L"Chaos").get(), seed, kChaosPermille));
    for (int round = 0; round < rounds; ++round) {
        std::vector<unique_handle> clients;
        std::vector<HANDLE> handles;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back(StartClient(Round(c, round, random, files)));
            handles.push_back(clients.back().get());
        }
        ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(kClients, handles.data(), TRUE, 600000)) << round;
    }
    ASSERT_EQ(S_OK, Suite()->SetFault(Bstr(L"Chaos").get(), 0, 0));
    const DWORD roundsMs = GetTickCount() - started;
    unique_bstr injected;
    Suite()->TakeLastCall(Bstr(L"Chaos").get(), injected.put());

    // Every file is byte-exact wherever it is, and somewhere unless the user deleted it.
    size_t bytesChecked = 0, copiesChecked = 0;
    for (const auto& [name, file] : files) {
        int found = 0;
        for (const std::wstring& place : file.places) {
            if (!FileExists(place))
                continue;
            EXPECT_EQ(file.bytes, ReadBytes(place)) << Narrow(place);
            bytesChecked += file.bytes.size(), ++copiesChecked, ++found;
        }
        EXPECT_TRUE(found || file.deleted) << Narrow(name) << " is lost";
    }
    // One refresh through the server (a reconnect after the suite's death empties the
    // mirror folders), and each mirror folder shows what its phone holds.
    EXPECT_EQ(0u, Client(L"refresh" + Quoted(rig_.root) + L" --recursive --files"));
    for (int phone = 0; phone < 2; ++phone) {
        for (int c = 0; c < kClients; ++c) {
            const std::wstring folder = L"\\c" + std::to_wstring(c);
            std::vector<std::wstring> shown;
            for (const std::wstring& name : NamesIn(Memory(phone) + folder))
                if (name != L"folder.vfsfolder")
                    shown.push_back(name.size() > 7 ? name.substr(0, name.size() - 7) : name);
            std::sort(shown.begin(), shown.end());
            EXPECT_EQ(NamesIn(Stored(phone, folder)), shown) << phone << Narrow(folder);
        }
    }

    // A hundred requests at once: each ends with its end message, a few workers at a time.
    const DWORD burstStarted = GetTickCount();
    std::vector<std::wstring> burst;
    for (int i = 0; i < kBurst; ++i)
        burst.push_back(L"b" + std::to_wstring(i) + L".txt");
    unique_bstr peak;
    Suite()->TakeLastCall(Bstr(L"FileSystemPeak").get(), peak.put());
    const long aliveBeforeBurst = phones_.FileSystems();
    EXPECT_EQ(kBurst, CopyAtOnce(burst)) << "end messages";
    ASSERT_EQ(S_OK, Suite()->TakeLastCall(Bstr(L"FileSystemPeak").get(), peak.put()));
    EXPECT_LE(_wtol(peak.c_str()), aliveBeforeBurst + kMaxWorkers);
    for (const std::wstring& name : burst)
        EXPECT_EQ(ReadBytes(pc_.path() + L"\\burst\\" + name), ReadBytes(Stored(0, L"burst\\" + name)));

    const long aliveAfter = IdleWorkers();
    const DWORD burstMs = GetTickCount() - burstStarted;
    // Workers that let go of their components end a moment later: waited for, a hang only is a failure.
    Figures after;
    PumpUntil([&] { return (after = Measure(server_)).threads <= before.threads + 4; }, 120000);
    printf("soak: %ld rounds of %d clients in %lu s, seed %ld, %zu files; faults: %ls; %d boxes answered\n"
           "soak: %zu bytes in %zu copies checked; %d requests at once in %lu s, at most %ls phone components "
           "alive\n"
           "soak: server handles %lu -> %lu (pipe ends to dead suites %lu -> %lu), threads %lu -> %lu, memory %lu KB "
           "-> %lu KB\n",
           rounds, kClients, roundsMs / 1000, seed, files.size(), injected.c_str(), answerer.answered.load(),
           bytesChecked, copiesChecked, kBurst, burstMs / 1000, peak.c_str(), before.handles, after.handles,
           before.deadPeerPipes, after.deadPeerPipes, before.threads, after.threads,
           static_cast<unsigned long>(before.memory / 1024), static_cast<unsigned long>(after.memory / 1024));
    // No component is left behind (a main object not reconnected after the suite's death holds none).
    EXPECT_LE(aliveAfter, alive_) << "phone components alive, " << aliveBeforeBurst << " before the burst";
    // The platform's leftovers of each death of the suite (a pipe end and its event) aside.
    const auto ours = [](const Figures& f) { return static_cast<long>(f.handles) - 2L * f.deadPeerPipes; };
    EXPECT_LE(ours(after), ours(before) + 100);
    EXPECT_LE(after.threads, before.threads + 4);
    EXPECT_LE(after.memory, before.memory + 16 * 1024 * 1024);

    // Clients killed in the middle of a download series and of a move leave the server serving.
    std::vector<std::wstring> links;
    for (int i = 0; i < 3; ++i) {
        phones_.PutBytes(L"ALIAS:SA\\C:\\c0\\k" + std::to_wstring(i) + L".bin", Bytes(20000, 'k'));
        links.push_back(Memory(0) + L"\\c0\\k" + std::to_wstring(i) + L".bin.vfslnk");
    }
    ASSERT_EQ(S_OK, rig_.quelvar->RefreshFolder(Bstr(Memory(0) + L"\\c0").get(), VARIANT_TRUE));
    Suite()->SetChunkSize(1000), Suite()->SetTransferDelay(100);
    const std::wstring victims[] = {L"download-series" + Quoted(pc_.path() + L"\\out") + Quoted(links[0]) +
                                        Quoted(links[1]),
                                    L"move" + Quoted(links[2]) + L" --to" + Quoted(pc_.path() + L"\\out")};
    for (const std::wstring& chain : victims) {
        unique_handle victim(StartClient(chain));
        ASSERT_TRUE(PumpUntil([] { return !VisibleDialogs(L"Copying from phone...").empty(); }, 120000));
        TerminateProcess(victim.get(), 1);
        WaitForSingleObject(victim.get(), INFINITE);
        EXPECT_EQ(S_OK, rig_.quelvar->RefreshFolder(Bstr(Memory(0) + L"\\c0").get(), VARIANT_TRUE)) << Narrow(chain);
    }
    Suite()->SetTransferDelay(0);
    IdleWorkers();
    EXPECT_EQ(Bytes(20000, 'k'), ReadBytes(FileExists(pc_.path() + L"\\out\\k2.bin") ? pc_.path() + L"\\out\\k2.bin"
                                                                                     : Stored(0, L"c0\\k2.bin")));
    EXPECT_EQ(0u, Client(L"refresh" + Quoted(Memory(1)) + L" --files"));
}
