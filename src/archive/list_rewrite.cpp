#include "archive/list_rewrite.h"

#include <algorithm>

namespace quill {

std::vector<std::byte> applySplices(std::span<const std::byte> list, std::vector<Splice> splices) {
    std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) {
        return a.where.position < b.where.position;
    });
    std::vector<std::byte> result;
    result.reserve(list.size() + splices.size() * 16);
    std::size_t at = 0;
    for (const auto& [where, text] : splices) {
        result.insert(result.end(), list.begin() + static_cast<std::ptrdiff_t>(at),
                      list.begin() + static_cast<std::ptrdiff_t>(where.position));
        result.insert(result.end(), text.begin(), text.end());
        at = where.position + where.size;
    }
    result.insert(result.end(), list.begin() + static_cast<std::ptrdiff_t>(at), list.end());
    return result;
}

std::vector<std::byte> rewrittenNumber(std::span<const std::byte> text, std::int64_t value) {
    std::vector<std::byte> result;
    std::size_t digitsFrom = 0;
    if (!text.empty() && (text[0] == std::byte{'+'} || text[0] == std::byte{'-'})) {
        result.push_back(std::byte{'+'});
        digitsFrom = 1;
    }
    for (const char c : std::to_string(value)) result.push_back(static_cast<std::byte>(c));
    for (std::size_t k = digitsFrom; k < text.size(); ++k) {
        if (text[k] < std::byte{'0'} || text[k] > std::byte{'9'}) result.push_back(text[k]);
    }
    return result;
}

std::vector<std::byte> rewriteNumbers(std::span<const std::byte> list, std::vector<NumberEdit> edits) {
    std::vector<Splice> splices;
    splices.reserve(edits.size());
    for (const auto& [where, value] : edits) {
        splices.push_back({where, rewrittenNumber(list.subspan(where.position, where.size), value)});
    }
    return applySplices(list, std::move(splices));
}

std::string lineEndOf(std::span<const std::byte> list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == std::byte{'\n'}) return i > 0 && list[i - 1] == std::byte{'\r'} ? "\r\n" : "\n";
    }
    return "\r\n";
}

std::string listLine(std::int64_t length, std::int64_t offset, const std::string& name) {
    return std::to_string(length) + " " + std::to_string(offset) + " " + name + "\r\n";
}

}  // namespace quill
