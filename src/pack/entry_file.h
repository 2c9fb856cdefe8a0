#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "host/host.h"

// An entry file in the data directory, held against what an unpack leaves there.
namespace quill::pack {

enum class EntryFileState {
    missing,   // the system says nothing is there
    same,      // holds one of the expected contents
    differs,   // holds something else: its bytes are read
    unusable,  // cannot be looked at or read, not a file, or empty: see the problem
};

// Compares the file at `path` with each expected content (one, or two where
// unpacks with and without -dig2wav leave different files) through `buffer`,
// which serves every file; most files are unchanged and are only streamed.
// A file that differs is read once, whole, into `bytes`.
EntryFileState examineEntryFile(Host& host, const std::string& path,
                                std::span<const std::span<const std::byte>> expected, std::vector<std::byte>& buffer,
                                std::vector<std::byte>& bytes, std::string& problem);

}  // namespace quill::pack
