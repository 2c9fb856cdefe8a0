#pragma once

#include <string>
#include <string_view>

namespace quill {

// Where the driver's console text goes.
class Console {
public:
    virtual ~Console() = default;
    virtual void print(std::string_view text) = 0;
    // Pushes out what is buffered; false when any text printed so far could
    // not be written (a full disk, a closed pipe), with the system's reason.
    virtual bool flush(std::string& reason) {
        (void)reason;
        return true;
    }
    void flush() {
        std::string ignored;
        (void)flush(ignored);
    }
    // True when a person reads the text as it comes (a terminal).
    virtual bool isTerminal() const { return false; }
};

// Standard output, unbuffered on a terminal so each progress line shows at
// once, and in 512-byte blocks when redirected.
Console& standardOutput();

// Standard error, unbuffered, for messages.
Console& standardError();

}  // namespace quill
