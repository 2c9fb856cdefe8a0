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

// A piece of a list's bytes replaced by other bytes (none: a cut; an empty
// piece: an insertion).
struct Splice {
    TextSpan where;
    std::vector<std::byte> text;
};

// The list's bytes with each splice made, every other byte kept. Splices
// must not overlap; an insertion at a cut's end comes after it.
std::vector<std::byte> applySplices(std::span<const std::byte> list, std::vector<Splice> splices);

// A number's stored text (sign, digits, carriage returns) with a new value, as
// rewriteNumbers writes it.
std::vector<std::byte> rewrittenNumber(std::span<const std::byte> text, std::int64_t value);

// The line end a list uses: CR LF unless its first line ends in a bare LF.
std::string lineEndOf(std::span<const std::byte> list);

// One record as a fresh list writes it, ending in CR LF as the game's lists do.
std::string listLine(std::int64_t length, std::int64_t offset, const std::string& name);

}  // namespace quill
