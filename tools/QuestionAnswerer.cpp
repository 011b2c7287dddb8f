#include "QuestionAnswerer.h"

#include "ConsoleOutput.h"

#include <vector>

namespace client {

namespace {

// The server's questions carry the product name; the shell asks before it replaces a file.
const wchar_t* const kQuestionTitles[] = {L"Ostrelle", L"Confirm file overwrite"};
constexpr DWORD kLookEveryMs = 100;

std::wstring WindowText(HWND window)
{
    std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1);
    GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

BOOL CALLBACK AddStaticText(HWND child, LPARAM words)
{
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    const std::wstring text = WindowText(child);
    if (_wcsicmp(className, L"Static") == 0 && !text.empty())
        *reinterpret_cast<std::wstring*>(words) += L"\n  " + text;
    return TRUE;
}

} // namespace

std::wstring BoxText(HWND box)
{
    std::wstring words = WindowText(box);
    EnumChildWindows(box, AddStaticText, reinterpret_cast<LPARAM>(&words));
    return words;
}

QuestionAnswerer::QuestionAnswerer(int button) : button_(button)
{
    if (button_ == 0)
        return;
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (stop_)
        thread_.reset(CreateThread(nullptr, 0, Watch, this, 0, nullptr));
}

QuestionAnswerer::~QuestionAnswerer()
{
    if (!thread_)
        return;
    SetEvent(stop_.get());
    WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI QuestionAnswerer::Watch(void* self)
{
    auto* answerer = static_cast<QuestionAnswerer*>(self);
    while (WaitForSingleObject(answerer->stop_.get(), kLookEveryMs) == WAIT_TIMEOUT)
        answerer->AnswerOpenBoxes();
    return 0;
}

void QuestionAnswerer::AnswerOpenBoxes()
{
    for (const wchar_t* title : kQuestionTitles) {
        HWND box = FindWindowW(nullptr, title);
        // A box being made holds every button until it hides those it does not
        // use, and shows itself only then: a click before would be lost.
        if (!box || answered_.count(box) || !IsWindowVisible(box))
            continue;
        // A box that only informs is closed with its OK button.
        HWND button = GetDlgItem(box, button_);
        button = button && IsWindowVisible(button) ? button : nullptr;
        const int id = button ? button_ : IDOK;
        button = button ? button : GetDlgItem(box, IDOK);
        if (!button || !IsWindowVisible(button))
            continue;
        answered_.insert(box);
        Print(L"question: " + BoxText(box) + L"\nanswered: " +
              (id == IDYES  ? L"Yes"
               : id == IDNO ? L"No"
                            : L"OK") +
              L"\n");
        // The click goes through the box's own queue, as a user's would.
        PostMessageW(button, BM_CLICK, 0, 0);
    }
}

} // namespace client
