#pragma once

#include <string>
#include <vector>

#include "pack/update.h"

// Keeping data/ true across a change of the archive. Once it is committed,
// every file whose content the change alters must hold what an unpack of the
// new archive leaves there; until then, a file that will be stale must not be
// found stale by a later update, which would take it for an edit and put the
// old bytes back. So such files are set aside before the commit and written
// afresh after it: whatever stops the command in between, they are missing
// (kept as they are, never an edit), not stale.
namespace quill::pack {

struct RefreshTarget {
    std::string path;
    FileTime seen;                  // its last change when the command looked at it
    std::vector<std::byte> content; // what an unpack of the new archive leaves there
    bool taken = false;             // the file the change came from: it holds the user's edit
    bool vacated = false;           // no record writes here any more (a rename moved it): dropped, not rewritten
    bool fresh = false;             // missing now; written because its record's file moved here
    bool setAside = false;
};

// A file an update that was stopped left beside the path it was for.
struct LeftFile {
    std::string file;
    std::string besidePath;
};

// The files a stopped update left beside these paths.
std::vector<LeftFile> leftBehindFiles(Host& host, const std::vector<std::string>& paths);

// Notes on files an update that was stopped left beside these paths.
std::vector<std::string> leftBehind(Host& host, const std::vector<std::string>& paths);

// Before the commit: moves every target but the files taken to a name beside
// it. Refuses (status 5, everything put back) when one changed since it was
// read, cannot be moved, or something already has the name it moves to.
PackStatus setAside(Host& host, Console& err, std::vector<RefreshTarget>& targets);

// After a failed commit: puts the files set aside back, unless a file was
// saved in one's place meanwhile.
void putBack(Host& host, Console& err, std::vector<RefreshTarget>& targets);

// After the commit: writes every target afresh (beside, then renamed over)
// and drops what was set aside. Returns what could not be done, each named.
std::vector<std::string> refreshFiles(Host& host, Console& err, std::vector<RefreshTarget>& targets);

}  // namespace quill::pack
