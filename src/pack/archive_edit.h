#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "pack/archive.h"

// Changes to an archive's records, made together in one commit: new bytes for
// records, new records, records dropped and records renamed. Every command
// that changes an archive (update, add, remove, rename, the workbench's Save)
// describes its change as one of these, so the list is rewritten, checked and
// committed one way.
namespace quill::pack {

// New bytes that stay in their file until they are appended (update's edited
// files): not held in memory, read again while appended, and the change
// stopped unless they are still what was read.
struct FileBytes {
    std::string path;
    std::int64_t size = 0;
    std::uint64_t sum = 0;  // XXH3-64 of the bytes as read
};

// New bytes for a group of records (record numbers from 0) that will all point
// at one appended copy: a group an unpack writes to one file.
struct NewBytes {
    std::vector<int> records;
    std::vector<std::byte> bytes;  // as the records will hold them (a sound scrambled); empty when in `file`
    std::shared_ptr<const FileBytes> file = nullptr;

    std::int64_t size() const { return file ? file->size : static_cast<std::int64_t>(bytes.size()); }
};

// One piece of what a commit appends: bytes held, or a file's.
struct AppendPiece {
    std::span<const std::byte> bytes;
    const FileBytes* file = nullptr;

    std::int64_t size() const { return file ? file->size : static_cast<std::int64_t>(bytes.size()); }
};

// A record added at the end of the list.
struct NewRecord {
    std::string name;  // as the list will hold it (the game's bytes)
    std::vector<std::byte> bytes;
};

struct ArchiveEdit {
    std::vector<NewBytes> replaced;
    std::vector<NewRecord> added;
    std::map<int, std::string> renamed;  // record -> its new name
    std::set<int> removed;               // records dropped from the list (their bytes stay)
    std::string command = "change";      // what made it, for the history: "update", "add", ...
    // Checksums of ranges of the resource (offset, length) this command read
    // whole as they stood when it began: the history takes them instead of
    // reading the ranges again.
    std::map<std::pair<std::int64_t, std::int64_t>, std::uint64_t> rangesRead;

    bool empty() const { return replaced.empty() && added.empty() && renamed.empty() && removed.empty(); }
};

// Why a name cannot be a record's name in this archive; empty when it can.
// Checked as the game and both unpackers read names: 1 to 12 bytes, no white
// space or NUL, not refused by the unpacker on Linux or on Windows.
std::string nameProblem(const std::string& name);

// Every reason the edit cannot be made to this archive, one per problem, each
// naming the record or name: a bad or duplicate name (two names are one when an
// unpack writes one file for both, on either system), a name whose file or
// .WAV another record writes over, a record number out of range or both removed
// and changed, every record removed, past 999 records, past 2^31-1 bytes, an
// empty record. Empty when it can be made.
std::vector<std::string> editProblems(const Archive& archive, NameRules rules, const ArchiveEdit& edit);

// The edit laid out: what is appended to the resource, the new list's head
// (every byte of the old head kept but for the records changed), and the
// records the new list must read as.
struct LaidOutEdit {
    // Pieces of the edit's own bytes, in order: the edit must outlive this.
    std::vector<AppendPiece> appended;
    std::int64_t appendedBytes = 0;
    std::vector<std::byte> listHead;
    std::unique_ptr<EntryTable> expected = std::make_unique<EntryTable>();
    // For each record of the new list, the record of the old list it was (-1: added).
    std::vector<int> fromRecord;
    const std::map<std::pair<std::int64_t, std::int64_t>, std::uint64_t>* rangesRead = nullptr;  // the edit's
};

// Lays out an edit that editProblems accepted.
LaidOutEdit layOutEdit(const Archive& archive, const ArchiveEdit& edit);

struct HistoryNote;

// What a commit did to the history.
struct CommitReport {
    int version = 0;  // the version the new list is
    int dropped = 0;  // versions ahead of the old one (after undo) that a new change dropped
};

// Commits a laid-out edit to an archive loaded with loadArchiveLocked (its lock
// held): appends, makes it durable, checks the resource's length, writes the
// new list beside the old one, reads it back against `expected`, records it in
// the history, and renames it over the old list unless the list changed since
// it was read. On failure the resource is cut back and the archive is as it
// was (status 5).
PackStatus commitEdit(Host& host, Console& err, Archive& archive, const LaidOutEdit& edit, const HistoryNote& note,
                      CommitReport& report);

// A file the new bytes came from (update's edited file, add's new file), as it
// was when read: the user's own file, so data/ keeps it (rewritten in the
// tool's own form only when it is a .WAV in data/).
struct TakenFile {
    std::string path;
    FileTime seen;
    // Its bytes as read, when they are exactly what its record holds now (not
    // a .WAV scrambled in): while it is unchanged, data/ needs nothing done
    // there, and it is not read again. Empty otherwise.
    std::span<const std::byte> bytes;
    const FileBytes* file = nullptr;  // or, for bytes left in it, the file itself
};

// The whole change, for an archive loaded with loadArchiveLocked: reports every
// problem (status 4, nothing written); refuses (status 4) when a file in data/
// that the edit would make stale holds an edit not yet put back; sets aside the
// files in data/ the commit makes stale, commits, and writes them afresh, so
// that data/ is what an unpack of the new archive leaves (status 6 when one
// cannot be, each named; status 5 and everything as it was when the commit
// fails). Says on out what was appended and rewritten.
PackStatus applyEdit(Host& host, Console& out, Console& err, Archive& archive, const ArchiveEdit& edit,
                     const std::vector<TakenFile>& taken);

// As applyEdit, for an edit already laid out (undo, redo and restore lay out a
// version's list); `edit` names what the refresh of data/ needs: the records
// renamed, and the bytes of every record of the new list with no record of the
// old one (as `added`, in list order).
PackStatus applyLaidOut(Host& host, Console& out, Console& err, Archive& archive, const ArchiveEdit& edit,
                        const LaidOutEdit& laid, const std::vector<TakenFile>& taken, const HistoryNote& note);

}  // namespace quill::pack
