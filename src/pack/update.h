#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pack/archive.h"
#include "pack/archive_edit.h"

// quillpack update: what changed in the data directory, and the new list.
namespace quill::pack {

// One record group whose entry file (or sound's .WAV) differs from what an
// unpack leaves there.
struct Change {
    std::vector<int> records;      // every record writing that entry file, in list order
    std::string source;            // the file the new bytes come from
    std::string sourceFile;        // the same, in its canonical spelling
    bool fromWav = false;          // the source is the sound's .WAV, scrambled back
    std::vector<std::byte> bytes;  // the new bytes, as the record will hold them; empty when in `file`
    // A file's own bytes (not a sound's, which .WAV files are compared with):
    // left in the file until the commit appends them, so that memory holds
    // one changed file at a time, however many changed.
    std::shared_ptr<const FileBytes> file;
    std::int64_t newOffset = 0;    // where they go: past the resource's current end

    std::int64_t size() const { return file ? file->size : static_cast<std::int64_t>(bytes.size()); }
};

// An input that keeps update from going ahead, as update reports it.
struct Refusal {
    enum class Kind {
        unusable,     // cannot be read, not a file, empty, a link where an entry file goes
        link,         // a directory link inside data/, not followed
        conflict,     // two files (or two readings of one) disagree on one record group
        wavNotTaken,  // a .WAV that differs, left out without -wav2dig
    };
    Kind kind = Kind::unusable;
    std::vector<std::string> paths;  // the files concerned, as the host is given them
    std::string message;             // update's line, without its newline
};

struct UpdatePlan {
    std::vector<Change> changes;
    std::vector<std::string> missing;  // entry files not in the data directory: kept as they are
    std::vector<std::string> absent;   // every path looked at and not found, .WAV files too
    std::vector<std::string> notTaken; // .WAV files that differ, left out without -wav2dig
    std::vector<Refusal> refusals;     // in the order update reports them
    std::vector<std::string> written;  // every path an unpack writes, as the host is given it
    bool tooLarge = false;             // the updated resource would pass 2^31-1 bytes
    // Files that were there when the update looked, by canonical path: where
    // they are and when they last changed.
    std::map<std::string, std::pair<std::string, FileTime>> seen;
    std::int64_t appendedBytes = 0;
    // Asked by the caller: the checksum of every record's range read while
    // comparing, so that a commit's history needs no second reading of them.
    bool keepChecksums = false;
    std::map<std::pair<std::int64_t, std::int64_t>, std::uint64_t> rangesRead;
};

// Reads the data directory (and the sounds' .WAV files) and works out the
// plan, every refusal noted in it; nothing is written or printed. Status 4
// when there is a refusal, else 3 when the result would pass 2^31-1 bytes.
// status shows what it finds; update reports it through planUpdate.
PackStatus classifyUpdate(Host& host, const Archive& archive, bool wav2dig, UpdatePlan& plan);

// As classifyUpdate, reporting every unusable input, conflict and .WAV not
// taken on err before it returns 4, and a result past 2^31-1 bytes before 3.
PackStatus planUpdate(Host& host, Console& err, const Archive& archive, bool wav2dig, UpdatePlan& plan);

struct UpdateOptions {
    bool wav2dig = false;
    bool dryRun = false;
    bool verbose = false;
};

// quillpack update.
PackStatus updateArchive(Host& host, Console& out, Console& err, const std::string& listPath,
                         const UpdateOptions& options);

}  // namespace quill::pack
