#pragma once

#include <string_view>

namespace quill {

// Where the driver's console text goes.
class Console {
public:
    virtual ~Console() = default;
    virtual void print(std::string_view text) = 0;
    virtual void flush() {}
    // True when a person reads the text as it comes (a terminal).
    virtual bool isTerminal() const { return false; }
};

// Standard output, unbuffered on a terminal so each progress line shows at
// once, and in 512-byte blocks when redirected.
Console& standardOutput();

// Standard error, unbuffered, for messages.
Console& standardError();

}  // namespace quill
