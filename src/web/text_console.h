#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/console.h"

namespace quill::web {

// What a command says, kept for the page instead of a terminal.
class TextConsole final : public Console {
public:
    void print(std::string_view text) override { text_ += text; }
    // The text's lines, without their ends.
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::size_t start = 0;
        while (start < text_.size()) {
            const std::size_t end = text_.find('\n', start);
            result.push_back(text_.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return result;
    }

private:
    std::string text_;
};

}  // namespace quill::web
