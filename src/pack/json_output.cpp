#include "pack/json_output.h"

#include <nlohmann/json.hpp>

#include "common/utf8_text.h"
#include "pack/archive.h"

namespace quill::pack {
namespace {

// Windows-1252's characters for 0x80-0x9F; its five holes keep the C1 code
// point of the same number, as the web's decoders do.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& text, char32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string textOfBytes(std::string_view bytes) {
    if (isUtf8(bytes)) return std::string(bytes);
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        appendUtf8(text, byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : char32_t{byte});
    }
    return text;
}

std::string hexOfBytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

void putBytes(Json& object, const std::string& key, std::string_view bytes) {
    object[key] = textOfBytes(bytes);
    object[key + "Hex"] = hexOfBytes(bytes);
}

void putPath(Json& object, const std::string& key, const Host& host, const std::string& path) {
    std::string written = path;
    if (host.nameRules() == NameRules::posix) {
        for (char& c : written) {
            if (c == '\\') c = '/';
        }
    }
    putBytes(object, key, written);
}

Json jsonDocument(std::string_view kind) {
    Json document;
    document["schema"] = "quillpack-" + std::string(kind);
    document["schemaVersion"] = kJsonSchemaVersion;
    return document;
}

PackStatus printJson(Console& out, Console& err, const Json& document) {
    // Every string went through textOfBytes, so the text is UTF-8 and dump cannot refuse it.
    out.print(document.dump(2, ' ', true) + "\n");
    if (std::string reason; !out.flush(reason)) {
        err.print(withReason("standard output: cannot be written", reason) + "\n");
        return PackStatus::writeFailed;
    }
    return PackStatus::done;
}

}  // namespace quill::pack
