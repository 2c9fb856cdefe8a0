#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive/archive_paths.h"
#include "archive/resource_file.h"
#include "archive/unpack_plan.h"
#include "host/console.h"
#include "host/host.h"
#include "pack/pack.h"
#include "unpack/unpack.h"

// An archive as quillpack reads it: the list's records as the unpacker reads
// them (with the list's bytes as stored up to where they end), the resource
// open to read any record's range from, and the plan of an unpack with -dig2wav.
namespace quill::pack {

struct Archive {
    ArchivePaths paths;
    // The list's stored bytes, as far as the record reader took them: what a
    // rewrite changes. The rest of the list is read from listRest only when
    // it is copied, so a list of any size costs no more memory than its records.
    std::vector<std::byte> listHead;
    std::unique_ptr<ReadFile> listRest;
    FileTime listTime;  // the list's last change before it was read
    bool listTimed = false;
    std::unique_ptr<EntryTable> table = std::make_unique<EntryTable>();
    ResourceFile resource;
    std::string resourceFile;  // the resource as found (on Linux perhaps in another letter case), for messages
    // What an unpack leaves at every path, worked out once: with -dig2wav, and without.
    UnpackPlan plan;
    UnpackPlan plainPlan;
};

// Reads and checks the archive; on failure says why on err and returns the
// status (2 for the list, 3 for anything the unpacker would stop on).
PackStatus loadArchive(Host& host, Console& err, const std::string& listPath, Archive& archive);

// As loadArchive, for the commands that change an archive or must not read one
// while it is half-way through a change: takes the lock first and holds it while `lock` lives
// (status 5 when another holds it); refuses an archive an unpack would stop
// on (status 3).
PackStatus loadArchiveLocked(Host& host, Console& err, const std::string& listPath, Archive& archive,
                             std::unique_ptr<FileLock>& lock);

// For a command that changes the archive in place: refuses a list that is its
// own resource, then loadArchiveLocked.
PackStatus loadArchiveForChange(Host& host, Console& err, const std::string& listPath, Archive& archive,
                                std::unique_ptr<FileLock>& lock);

// As loadArchive, waiting for a change another command is making to finish
// and holding the archive's lock only while reading it: for commands that
// only read, and take an archive an unpack stops on.
PackStatus loadArchiveConsistent(Host& host, Console& err, const std::string& listPath, Archive& archive);

// Refuses (status 1) a list that is its own resource, by name or by identity:
// a change would rename the new list over the bytes just appended to it.
PackStatus refuseListThatIsItsResource(Host& host, Console& err, const std::string& listPath);

// The records the unpacker reads from a list's stored bytes.
void readRecords(std::span<const std::byte> list, EntryTable& table);

// The bytes an unpack writes for a record, read from the resource now (zeros,
// and the resource marked failed, when they cannot be read).
std::vector<std::byte> readRecord(const Archive& archive, int record);
void readRecord(const Archive& archive, int record, std::vector<std::byte>& into);

// Before anything is written that depends on the resource's bytes: a range
// that could not be read, or another program that wrote into the resource
// since it was opened, is said (status 3) and the command stops.
PackStatus checkResourceRead(Host& host, Console& err, const Archive& archive);

// "1 byte", "2 bytes": a count and its noun in the right number.
std::string counted(std::int64_t count, const std::string& singular, const std::string& plural);

// "path: what" and, when the system said why, ": reason".
std::string withReason(const std::string& what, const std::string& reason);

}  // namespace quill::pack
