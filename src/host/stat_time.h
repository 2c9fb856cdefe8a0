#pragma once

#include <cstdint>

namespace quill {

// A stat result's modification time in nanoseconds. POSIX.1-2008 names the
// field st_mtim; macOS calls it st_mtimespec; an older system keeps whole
// seconds only.
template <typename Stat>
std::int64_t modificationNanoseconds(const Stat& info) {
    constexpr std::int64_t kPerSecond = 1'000'000'000;
    if constexpr (requires { info.st_mtim.tv_nsec; }) {
        return std::int64_t{info.st_mtim.tv_sec} * kPerSecond + info.st_mtim.tv_nsec;
    } else if constexpr (requires { info.st_mtimespec.tv_nsec; }) {
        return std::int64_t{info.st_mtimespec.tv_sec} * kPerSecond + info.st_mtimespec.tv_nsec;
    } else {
        return std::int64_t{info.st_mtime} * kPerSecond;
    }
}

}  // namespace quill
