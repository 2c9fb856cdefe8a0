#pragma once

#include <string>
#include <vector>

namespace quill {

// The command line's words in the host's path form, kept for as long as the
// run needs them, with the pointers an argv-style entry point takes.
class CommandLine {
public:
#ifdef _WIN32
    // The UTF-16 words wmain gets, made UTF-8: a path outside the ANSI code
    // page arrives whole, where main's char** would hold '?' in its place.
    CommandLine(int argc, const wchar_t* const* argv);
#endif
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    int count() const { return static_cast<int>(words_.size()); }
    // argv as main has it: count() words and a null after them.
    const char* const* words() const { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<const char*> pointers_;
};

// Started from Explorer (a list dropped onto the .exe), the console window
// is this process's alone and closes with it: so that what was printed can
// be read, waits for a key first. Elsewhere, and under a shell, does nothing.
#ifdef _WIN32
void holdOwnConsoleWindow();
#else
inline void holdOwnConsoleWindow() {}
#endif

}  // namespace quill
