#include "Windows.h"

#include <commctrl.h>

namespace testing_support {

std::vector<HWND> VisibleDialogs(const std::wstring& title)
{
    std::vector<HWND> found;
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", title.c_str()));) {
        if (IsWindowVisible(window))
            found.push_back(window);
    }
    return found;
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

bool AnswerBox(HWND dialog, int id, DWORD timeoutMs)
{
    ClickButton(dialog, id);
    const DWORD start = GetTickCount();
    while (IsWindowVisible(dialog)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
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
        AnswerBox(dialog, button);
        return text;
    });
}

} // namespace testing_support
