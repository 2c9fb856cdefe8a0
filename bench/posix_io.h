// Whole reads and writes over POSIX descriptors, for the floor programs: a
// short read or write is taken up where it stopped; false at an end or error.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>

inline bool readWhole(int file, void* into, std::size_t size) {
    auto* bytes = static_cast<char*>(into);
    for (std::size_t filled = 0; filled < size;) {
        const ssize_t got = read(file, bytes + filled, size - filled);
        if (got <= 0) return false;
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

inline bool readAt(int file, void* into, std::size_t size, off_t offset) {
    auto* bytes = static_cast<char*>(into);
    for (std::size_t filled = 0; filled < size;) {
        const ssize_t got = pread(file, bytes + filled, size - filled, offset + static_cast<off_t>(filled));
        if (got <= 0) return false;
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

inline bool writeWhole(int file, const void* from, std::size_t size) {
    const auto* bytes = static_cast<const char*>(from);
    for (std::size_t done = 0; done < size;) {
        const ssize_t put = write(file, bytes + done, size - done);
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}
