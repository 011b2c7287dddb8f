// The OBEX FTP peer of the running test program, started by obexpeer/with-peer.sh
// and driven through its control folder.
#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

// The peer of the running test program.
class ObexPeer
{
public:
    struct Item {
        bool folder = false;
        long long size = 0;
        long long modified = 0; // seconds since 1970, UTC
    };

    static std::wstring Port() { return Env("OBEX_PEER_PORT"); }
    // The served folder as this program reaches it.
    static std::wstring Dir() { return Env("OBEX_PEER_DIR"); }
    static std::wstring Address() { return L"tcp:127.0.0.1:" + Port(); }

    // Asks the script for one thing (see with-peer.sh) and waits for its answer;
    // the answer's lines after "ok", or false when it failed or never came.
    static bool Ask(const std::string& request, std::vector<std::string>* lines = nullptr, DWORD timeoutMs = 60000)
    {
        static int next = 0;
        const std::wstring control = Env("OBEX_PEER_CONTROL");
        const std::wstring name =
            control + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++next);
        const HANDLE change = FindFirstChangeNotificationW(control.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
        EXPECT_NE(INVALID_HANDLE_VALUE, change);
        WriteText(name + L".tmp", request + "\n");
        bool answered = MoveFileW((name + L".tmp").c_str(), (name + L".req").c_str());
        const DWORD start = GetTickCount();
        while (answered && !FileExists(name + L".done")) {
            if (GetTickCount() - start > timeoutMs)
                answered = false;
            // The notification wakes at once; its time-out covers one that was missed.
            else if (WaitForSingleObject(change, 200) == WAIT_OBJECT_0)
                FindNextChangeNotification(change);
        }
        if (change != INVALID_HANDLE_VALUE)
            FindCloseChangeNotification(change);
        if (!answered)
            return false;
        const std::vector<unsigned char> bytes = ReadBytes(name + L".done");
        DeleteFileW((name + L".done").c_str());
        std::istringstream answer(std::string(bytes.begin(), bytes.end()));
        std::vector<std::string> all;
        for (std::string line; std::getline(answer, line);)
            all.push_back(line);
        if (all.empty() || all[0] != "ok")
            return false;
        if (lines)
            lines->assign(all.begin() + 1, all.end());
        return true;
    }
    static bool Stop() { return Ask("stop"); }
    static bool Start() { return Ask("start"); }
    // A file of random bytes below the served folder ('/' between names).
    static bool MakeFile(const std::wstring& path, size_t size)
    {
        return Ask("file\t" + Narrow(path) + "\t" + std::to_string(size));
    }
    // Every served item by its path ('\' between names).
    static std::map<std::wstring, Item> Manifest()
    {
        std::vector<std::string> lines;
        std::map<std::wstring, Item> items;
        EXPECT_TRUE(Ask("manifest", &lines));
        for (const std::string& line : lines) {
            const size_t a = line.find('\t'), b = line.find('\t', a + 1), c = line.find('\t', b + 1);
            if (c == std::string::npos)
                continue;
            std::wstring path = Widen(line.substr(a + 1, b - a - 1));
            for (wchar_t& ch : path)
                ch = ch == L'/' ? L'\\' : ch;
            items[path] = {line[0] == 'd', std::stoll(line.substr(b + 1, c - b - 1)), std::stoll(line.substr(c + 1))};
        }
        return items;
    }

private:
    static std::wstring Env(const char* name)
    {
        const char* value = getenv(name);
        return value ? Widen(value) : L"";
    }
};

} // namespace testing_support
