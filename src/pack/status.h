#pragma once

#include <string>
#include <vector>

#include "pack/archive.h"

// quillpack status: how data/ stands against what an unpack of the archive
// leaves there, worked out by update's own plan, nothing written.
namespace quill::pack {

enum class DataState {
    modified,          // update takes it
    modifiedWav,       // a sound's .WAV that differs: update -wav2dig takes it
    conflict,          // disagrees with another reading of the same record group
    unusable,          // cannot be read, not a file, empty: update refuses it
    link,              // a symbolic link in data/, not followed
    missing,           // an entry file not there: update keeps the record as it is
    notInArchive,      // a file no record writes: add takes it
    missingDirectory,  // a directory an unpack needs that is not there (or not a directory)
    setAside,          // a file a stopped update left beside an entry file
};

struct DataLine {
    DataState state = DataState::modified;
    std::string path;                // as the host is given it
    std::vector<std::string> others; // a conflict's other file; a set-aside file's entry file
    std::vector<int> records;        // a modified file's records, from 0
    std::string detail;              // what update says about it, for unusable, link and conflict
};

struct DataStatus {
    std::vector<DataLine> lines;  // in path order
    int count(DataState state) const;
    bool differs() const { return !lines.empty(); }
};

// Works out the status of the archive's data directory; never writes.
void readDataStatus(Host& host, const Archive& archive, DataStatus& status);

// A word or two for the state, as the text output and the JSON name it.
const char* stateLabel(DataState state);  // "modified .WAV"
const char* stateKey(DataState state);    // "modifiedWav"

struct StatusOptions {
    bool verbose = false;
    bool json = false;
};

// quillpack status: status 0 when data/ is what an unpack leaves, 8 when not.
PackStatus statusOfData(Host& host, Console& out, Console& err, const std::string& listPath,
                        const StatusOptions& options);

}  // namespace quill::pack
