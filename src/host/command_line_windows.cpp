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

}  // namespace quill
