#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"
#include "unpack/unpack.h"

// What an unpack of an archive would do with each of its records, worked out
// without writing anything.
namespace quill::pack {

enum class RecordAction { write, writeWithWav, stop, refuseName };

struct RecordReport {
    RecordAction action = RecordAction::write;
    std::string stopReason;       // why the unpack stops on it (status 5)
    int replacedBy = -1;          // a later record writing the same output path
    std::vector<int> overlaps;    // other records sharing some of its bytes
};

struct ArchiveReport {
    std::vector<RecordReport> records;
    std::int64_t resourceSize = 0;
    std::int64_t coveredBytes = 0;      // bytes of the resource some record points at
    std::int64_t gapBytes = 0;          // bytes no record points at
    std::int64_t overlappingBytes = 0;  // bytes two or more records point at
    int stopsAt = -1;                   // the record an unpack stops on; -1 when it completes
    int stopStatus = 0;                 // the unpacker's status there (5 or 6)
};

// resourceSize must be one the unpacker loads (1 to 2^31-1 bytes).
ArchiveReport analyseArchive(const EntryTable& table, std::int64_t resourceSize, NameRules rules);

// True when two entry names lead to the same file under the host's rules.
bool sameOutputPath(const std::string& a, const std::string& b, NameRules rules);

}  // namespace quill::pack
