#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pack/archive.h"

// quillpack update: what changed in the data directory, and the new list.
namespace quill::pack {

// One output path whose file differs from what an unpack leaves there.
struct Change {
    std::vector<int> records;        // every record writing that path, in list order
    std::string source;              // the file the new bytes come from
    std::vector<std::byte> bytes;    // the new bytes, as the record will hold them
    std::int64_t newOffset = 0;      // where they go: past the resource's current end
};

struct UpdatePlan {
    std::vector<Change> changes;
    int missing = 0;                 // entry files not in the data directory: kept as they are
    std::int64_t appendedBytes = 0;
};

// The list's stored bytes with the changed records' numbers rewritten where
// they stood, every other byte as it was.
std::vector<std::byte> rewrittenList(const Archive& archive, const UpdatePlan& plan);

}  // namespace quill::pack

namespace quill::pack {

// Reads the data directory (and with wav2dig the sounds' .WAV files) and
// works out the plan; nothing is written. Refuses (status 4) an unusable or
// conflicting input, and (status 3) a result past 2^31-1 bytes.
PackStatus planUpdate(Host& host, Console& err, const Archive& archive, bool wav2dig, UpdatePlan& plan);

// True when the rewritten list reads as the old one with the planned numbers:
// checked before anything is written.
bool listHoldsPlan(const Archive& archive, const UpdatePlan& plan, std::span<const std::byte> list);

// quillpack update.
PackStatus updateArchive(Host& host, Console& out, Console& err, const std::string& listPath, bool wav2dig,
                         bool dryRun);

}  // namespace quill::pack
