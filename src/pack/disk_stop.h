#pragma once

#include <map>
#include <string>

#include "host/host.h"
#include "pack/archive.h"

// Where an unpack stops because a directory an entry needs is not there: the
// unpacker makes the data directory and nothing below it. list names it, and
// the workbench shows it the same way.
namespace quill::pack {

struct DiskStop {
    int step = -1;          // the record an unpack stops at (from 0); -1: none
    std::string directory;  // the directory, or the file's path, as a path of this host
    bool missing = true;    // or there, but not a directory
    // Set where the entry's own path cannot be a file: why, after the path
    // ("is a directory"); `missing` is then false.
    std::string notAFile;
};

// The first directory below `dataDirectory` that `name` (in this host's form,
// as importListName gives it) needs and that is not a directory; `known`
// keeps what was looked up. False when every one is there.
bool neededDirectory(Host& host, const std::string& dataDirectory, const std::string& name,
                     std::map<std::string, PathState>& known, DiskStop& stop);

// The first record, of those an unpack reaches, whose directory is not there.
DiskStop missingDirectory(Host& host, const Archive& archive);

// "data/QUEST does not exist, and the unpacker makes no directory but the data directory"
std::string diskStopText(const Host& host, const DiskStop& stop);

}  // namespace quill::pack
