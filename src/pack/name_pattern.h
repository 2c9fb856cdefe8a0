#pragma once

#include <string_view>

namespace quill::pack {

// True when an entry name matches a pattern as a modder types it: '*' any run
// of bytes (separators too), '?' one byte, ASCII letter case ignored, and
// '\' and '/' the same.
bool nameMatches(std::string_view pattern, std::string_view name);

}  // namespace quill::pack
