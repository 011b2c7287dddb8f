#include "Windows.h"

#include <commctrl.h>

namespace testing_support {
namespace {
struct Search {
    const std::wstring* title;
    HWND found;
    std::vector<HWND>* all; // every match when set, else the first
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(window))
        return TRUE;
    wchar_t title[512] = {};
    GetWindowTextW(window, title, 512);
    if (*search->title == title) {
        search->found = window;
        if (!search->all)
            return FALSE;
        search->all->push_back(window);
    }
    return TRUE;
}
} // namespace

std::vector<HWND> FindDialogs(const std::wstring& title)
{
    std::vector<HWND> found;
    Search search{&title, nullptr, &found};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return found;
}

HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        Search search{&title, nullptr, nullptr};
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

std::wstring ControlText(HWND dialog, int id)
{
    wchar_t text[2048] = {};
    SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
    return text;
}

void ClickButton(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::pair<LRESULT, LRESULT> ProgressBar(HWND dialog)
{
    HWND bar = GetDlgItem(dialog, 102);
    return {SendMessageW(bar, PBM_GETPOS, 0, 0), SendMessageW(bar, PBM_GETRANGE, FALSE, 0)};
}

} // namespace testing_support
