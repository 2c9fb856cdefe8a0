#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "host/host.h"

// What every host must do for the packer's operations, written against the
// host alone so the same checks run on the Linux host, the memory host and,
// in a small program of its own under Wine, the Windows host.
namespace quill::testing {

struct CheckPlace {
    Host& host;
    std::string directory;  // existing and empty, in the tool's path form
    // Sets a file's modification time to `seconds` past a fixed moment.
    std::function<bool(const std::string& path, std::int64_t seconds)> setTime;
};

using Failures = std::vector<std::string>;

struct HostCheck {
    const char* name;
    Failures (*run)(const CheckPlace& place);
};

std::span<const HostCheck> hostChecks();

}  // namespace quill::testing
