#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "host/command_line.h"
#include "host/utf16.h"

namespace quill {

CommandLine::CommandLine(int argc, const wchar_t* const* argv) {
    for (int i = 0; i < argc; ++i) {
        const std::wstring_view word(argv[i]);
        words_.push_back(utf8FromUtf16(std::u16string(word.begin(), word.end())));
    }
    // Pointers taken once every word is in place: the vector no longer moves them.
    for (const auto& word : words_) pointers_.push_back(word.c_str());
    pointers_.push_back(nullptr);
}

void holdOwnConsoleWindow() {
    DWORD processes[2] = {};
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    // Input from a console, and no other process on it (no shell): Explorer made it.
    if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(input, &mode)) return;
    std::fputs("\nPress a key to close this window.", stdout);
    std::fflush(stdout);
    (void)FlushConsoleInputBuffer(input);
    INPUT_RECORD record{};
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) && read == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
    }
}

}  // namespace quill
