#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "unpack/unpack.h"

// Writing lists: numbers rewritten where they stand, and fresh lists.
namespace quill {

struct NumberEdit {
    TextSpan where;      // a number's text as stored: sign, digits and any carriage returns among them
    std::int64_t value;  // 0 or more
};

// The list's bytes with each number's digits replaced, every other byte kept:
// its sign (a '-' becomes '+', which reads the same when glued to the number
// before it and keeps the value positive) and any carriage return inside it,
// which text mode drops and which stays after the new digits.
std::vector<std::byte> rewriteNumbers(std::span<const std::byte> list, std::vector<NumberEdit> edits);

// One record as a fresh list writes it, ending in CR LF as the game's lists do.
std::string listLine(std::int64_t length, std::int64_t offset, const std::string& name);

}  // namespace quill
