#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

// An archive's history: every list it has had through quillpack, kept in one
// file beside the list (LIST.RD.history), which the game's unpacker never
// reads. The resource only grows until compact, so every earlier list still
// points at the bytes it named; a checksum of each range a version uses tells
// whether someone rewrote them since.
namespace quill::pack {

// The list's bytes past the records the unpacker reads: every command keeps
// them as they are, so a version stores only its records' part.
struct ListTail {
    std::int64_t length = 0;
    std::uint64_t hash = 0;
    friend bool operator==(const ListTail&, const ListTail&) = default;
};

struct HistoryVersion {
    int number = 0;           // never reused, even for versions dropped
    std::int64_t time = 0;    // seconds since 1970 (UTC) when it was made
    std::string command;      // "update", "add", "found" for the list as quillpack first found it, ...
    std::string summary;      // one line of what changed
    std::vector<std::byte> head;  // the list's bytes as far as its records go
    ListTail tail;
    // Checksums of its ranges that differ from the history's table: bytes
    // another tool rewrote in place before this version was recorded.
    std::map<std::pair<std::int64_t, std::int64_t>, std::uint64_t> ownChecksums;
};

using Range = std::pair<std::int64_t, std::int64_t>;  // offset and length in the resource

struct History {
    std::vector<HistoryVersion> versions;  // oldest first
    int current = 0;                       // the version the list is; 0 when it is none of them
    // The state before the last write, for a write whose list never landed.
    int previousCurrent = 0;
    int previousLast = 0;
    int nextNumber = 1;
    std::map<Range, std::uint64_t> ranges;  // the checksum of every range a version uses
    // The version the file named as current, even when the list is no
    // longer it (changed by hand): what a list found so was made from.
    int storedCurrent = 0;
    // The resource as the last commit left it (size, last change): found so
    // again, no other program wrote into it since, and the checksums known
    // still hold without reading the ranges again. Size -1: not known.
    std::int64_t resourceSize = -1;
    std::int64_t resourceTicks = 0;
    // The history file's own last change, when read from disk (not stored in
    // it): a stamp no older than that may hide a write in the same tick of a
    // coarse clock (FAT keeps 2 s), and is not trusted.
    bool fileTimed = false;
    std::int64_t fileTicks = 0;

    const HistoryVersion* find(int number) const;
    // The checksum a version recorded for one of its ranges; false when none.
    bool checksumOf(const HistoryVersion& version, Range range, std::uint64_t& sum) const;
    // The index in `versions` of a number; -1 when there is none.
    int indexOf(int number) const;
};

// A history keeps this many versions; older ones go.
constexpr std::size_t kHistoryVersions = 100;

std::uint64_t checksum(std::span<const std::byte> bytes);

// The file's bytes, and back. Parsing fails (false, with why) on anything not
// written by serializeHistory.
std::vector<std::byte> serializeHistory(const History& history);
bool parseHistory(std::span<const std::byte> bytes, History& history, std::string& problem);

// Which version the list is: the one the history names when it still is, the
// state before the last write when that write's list never landed (its
// version dropped), else the newest version with these very bytes; 0 when it
// is none (changed by another tool).
void reconcile(History& history, std::span<const std::byte> head, const ListTail& tail);

}  // namespace quill::pack
