#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Building JSON answers by hand: the page asks for a handful of fixed shapes.
namespace quill::web {

// A JSON string literal, quotes included. Bytes that are not UTF-8 text show
// as \xHH, as quillpack shows control bytes on a terminal.
std::string jsonString(std::string_view text);

inline std::string jsonNumber(std::int64_t value) { return std::to_string(value); }
inline std::string jsonBool(bool value) { return value ? "true" : "false"; }

}  // namespace quill::web
