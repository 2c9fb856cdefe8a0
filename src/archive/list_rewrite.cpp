#include "archive/list_rewrite.h"

#include <algorithm>

namespace quill {

std::vector<std::byte> rewriteNumbers(std::span<const std::byte> list, std::vector<NumberEdit> edits) {
    std::sort(edits.begin(), edits.end(),
              [](const NumberEdit& a, const NumberEdit& b) { return a.where.position < b.where.position; });
    std::vector<std::byte> result;
    result.reserve(list.size() + edits.size() * 4);
    std::size_t at = 0;
    for (const auto& [where, value] : edits) {
        result.insert(result.end(), list.begin() + static_cast<std::ptrdiff_t>(at),
                      list.begin() + static_cast<std::ptrdiff_t>(where.position));
        const auto text = list.subspan(where.position, where.size);
        std::size_t digitsFrom = 0;
        if (!text.empty() && (text[0] == std::byte{'+'} || text[0] == std::byte{'-'})) {
            result.push_back(std::byte{'+'});
            digitsFrom = 1;
        }
        for (const char c : std::to_string(value)) result.push_back(static_cast<std::byte>(c));
        for (std::size_t k = digitsFrom; k < text.size(); ++k) {
            if (text[k] < std::byte{'0'} || text[k] > std::byte{'9'}) result.push_back(text[k]);
        }
        at = where.position + where.size;
    }
    result.insert(result.end(), list.begin() + static_cast<std::ptrdiff_t>(at), list.end());
    return result;
}

std::string listLine(std::int64_t length, std::int64_t offset, const std::string& name) {
    return std::to_string(length) + " " + std::to_string(offset) + " " + name + "\r\n";
}

}  // namespace quill
