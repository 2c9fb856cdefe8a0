#include "archive/output_path.h"

#include <algorithm>

namespace quill {

std::string canonicalOutputPath(std::string_view path, NameRules rules) {
    std::string canonical;
    const bool rooted = !path.empty() && (path.front() == '\\' || path.front() == '/');
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find_first_of("\\/", start), path.size());
        std::string_view component = path.substr(start, end - start);
        start = end + 1;
        if (rules == NameRules::windows && component != "." && component != "..") {
            while (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
                component.remove_suffix(1);
            }
        }
        if (component.empty() || component == ".") continue;
        if (!canonical.empty() || rooted) canonical.push_back('/');
        for (char c : component) {
            if (rules == NameRules::windows && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            canonical.push_back(c);
        }
    }
    if (rooted && canonical.empty()) canonical.push_back('/');
    return canonical;
}

bool sameOutputPath(std::string_view a, std::string_view b, NameRules rules) {
    return canonicalOutputPath(a, rules) == canonicalOutputPath(b, rules);
}

}  // namespace quill

namespace quill {

std::string canonicalEntryPath(std::string_view name, NameRules rules) {
    const auto first = name.find_first_not_of("\\/");
    return canonicalOutputPath(first == std::string_view::npos ? std::string_view() : name.substr(first), rules);
}

bool sameEntryPath(std::string_view a, std::string_view b, NameRules rules) {
    return canonicalEntryPath(a, rules) == canonicalEntryPath(b, rules);
}

}  // namespace quill
