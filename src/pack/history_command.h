#pragma once

#include <string>

#include "pack/archive.h"

// quillpack history, undo, redo and restore.
namespace quill::pack {

// quillpack history: the versions kept, newest first, the current one marked.
PackStatus showHistory(Host& host, Console& out, Console& err, const std::string& listPath);

struct HistoryMove {
    enum Kind { undo, redo, restore } kind = undo;
    int version = 0;  // for restore
    bool dryRun = false;
};

// quillpack undo, redo and restore: the list made a version the history keeps,
// after checking that the resource still holds every range it names.
PackStatus moveInHistory(Host& host, Console& out, Console& err, const std::string& listPath, const HistoryMove& move);

}  // namespace quill::pack
