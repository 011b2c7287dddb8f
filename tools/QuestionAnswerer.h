// Answers the question boxes the server and the shell show while one client
// call runs, so that a script can drive copies that ask: every box with a known
// title is printed with its text and answered with one button.
#pragma once

#include "common/Resource.h"

#include <windows.h>

#include <set>
#include <string>

namespace client {

class QuestionAnswerer
{
public:
    // `button` IDYES or IDNO; 0 answers nothing.
    explicit QuestionAnswerer(int button);
    QuestionAnswerer(const QuestionAnswerer&) = delete;
    QuestionAnswerer& operator=(const QuestionAnswerer&) = delete;
    // Stops looking; a box still open is left to its owner.
    ~QuestionAnswerer();

private:
    static DWORD WINAPI Watch(void* self);
    void AnswerOpenBoxes();

    const int button_;
    std::set<HWND> answered_; // a box on its way out is not answered twice
    unique_handle stop_;
    unique_handle thread_;
};

// The words of a box: its title, then the text of each static control.
std::wstring BoxText(HWND box);

} // namespace client
