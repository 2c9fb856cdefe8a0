#pragma once

#include <string>
#include <string_view>

#include "host/host.h"

namespace quill {

// One spelling per file an output path leads to, under the host's rules, so
// that two names compare equal exactly when an unpack writes one file for both.
// Both hosts take either slash as a separator and skip empty and "." steps;
// Windows also ignores ASCII letter case and the dots and spaces that trail a
// component, as its own path handling does.
// A path that starts at a root keeps one leading '/'.
std::string canonicalOutputPath(std::string_view path, NameRules rules);
bool sameOutputPath(std::string_view a, std::string_view b, NameRules rules);

// An entry name is joined to the data directory, which ends in a separator:
// separators it starts with lead nowhere else.
std::string canonicalEntryPath(std::string_view name, NameRules rules);
bool sameEntryPath(std::string_view a, std::string_view b, NameRules rules);

}  // namespace quill
