#include "web/page_text.h"

#include <cstdio>

#include "common/utf8_text.h"

namespace quill::web {

std::string pageText(std::string_view bytes) {
    std::string text;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = utf8SequenceLength(bytes, at);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
            ++at;
        } else {
            text.append(bytes.substr(at, length));
            at += length;
        }
    }
    return text;
}

}  // namespace quill::web
