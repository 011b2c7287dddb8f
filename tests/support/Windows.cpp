#include "Windows.h"

#include <commctrl.h>

namespace testing_support {
namespace {
struct Search {
    const std::wstring* title;
    std::vector<HWND> found;
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
    if (*search->title == title)
        search->found.push_back(window);
    return TRUE;
}
} // namespace

std::vector<HWND> VisibleDialogs(const std::wstring& title)
{
    Search search{&title, {}};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        const std::vector<HWND> found = VisibleDialogs(title);
        if (!found.empty())
            return found.front();
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

std::future<std::optional<std::wstring>> AnswerDialog(const std::wstring& title, int button, int textId,
                                                      DWORD timeoutMs)
{
    return std::async(std::launch::async, [=]() -> std::optional<std::wstring> {
        HWND dialog = WaitForDialog(title, timeoutMs);
        if (!dialog)
            return std::nullopt;
        const std::wstring text = ControlText(dialog, textId);
        ClickButton(dialog, button);
        return text;
    });
}

} // namespace testing_support
