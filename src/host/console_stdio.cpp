#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/console.h"

#ifdef _WIN32
#include <io.h>
#define QUILL_ISATTY _isatty
#define QUILL_FILENO _fileno
#else
#include <unistd.h>
#define QUILL_ISATTY isatty
#define QUILL_FILENO fileno
#endif

namespace quill {
namespace {

class StandardOutput final : public Console {
public:
    StandardOutput() : terminal_(QUILL_ISATTY(QUILL_FILENO(stdout)) != 0) {
        // Text mode stays as the C runtime sets it: LF becomes CR LF on Windows.
        if (terminal_) {
            std::setvbuf(stdout, nullptr, _IONBF, 0);
        } else {
            // A buffer of our own: some C libraries ignore the size when given none.
            static char buffer[512];
            std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
        }
    }

    void print(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
    bool flush(std::string& reason) override {
        errno = 0;
        if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
        reason = errno != 0 ? std::strerror(errno) : "write error";
        return false;
    }
    bool isTerminal() const override { return terminal_; }

private:
    bool terminal_;
};

class StandardError final : public Console {
public:
    void print(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stderr); }
};

}  // namespace

Console& standardOutput() {
    static StandardOutput output;
    return output;
}

Console& standardError() {
    static StandardError error;
    return error;
}

}  // namespace quill
