#include <cstdio>

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
    StandardOutput() {
        // Text mode stays as the C runtime sets it: LF becomes CR LF on Windows.
        if (QUILL_ISATTY(QUILL_FILENO(stdout))) {
            std::setvbuf(stdout, nullptr, _IONBF, 0);
        } else {
            std::setvbuf(stdout, nullptr, _IOFBF, 512);
        }
    }

    void print(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
    void flush() override { std::fflush(stdout); }
};

}  // namespace

Console& standardOutput() {
    static StandardOutput output;
    return output;
}

}  // namespace quill
