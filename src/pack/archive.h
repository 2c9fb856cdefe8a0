#pragma once

#include <memory>
#include <string>

#include "host/console.h"
#include "host/host.h"
#include "pack/archive_report.h"
#include "pack/pack.h"
#include "unpack/unpack.h"

// An archive as quillpack reads it: the list's bytes as stored, its records as
// the unpacker reads them, and the resource, each a snapshot.
namespace quill::pack {

struct Archive {
    std::string listPath;
    std::string resourcePath;
    std::string dataDirectory;  // ends in a separator, as the unpacker forms it
    WholeFile list;
    std::unique_ptr<EntryTable> table = std::make_unique<EntryTable>();
    WholeFile resource;
    ArchiveReport report;
};

// Reads and checks the archive; on failure says why on err and returns the
// status (2 for the list, 3 for anything the unpacker would stop on).
PackStatus loadArchive(Host& host, Console& err, const std::string& listPath, Archive& archive);

// As loadArchive, for the commands that must not read an archive while an
// update is half-way: the lock is taken first and held while `lock` lives
// (status 5 when another holds it), and an archive an unpack would stop on is
// refused (status 3).
PackStatus loadArchiveLocked(Host& host, Console& err, const std::string& listPath, Archive& archive,
                             std::unique_ptr<FileLock>& lock);

// The records the unpacker reads from a list's stored bytes.
void readRecords(std::span<const std::byte> list, EntryTable& table);

// The bytes an unpack writes for a record.
std::span<const std::byte> recordBytes(const Archive& archive, int record);

}  // namespace quill::pack
