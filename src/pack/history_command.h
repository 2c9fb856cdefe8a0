#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pack/archive.h"

// quillpack history, undo, redo and restore.
namespace quill::pack {

// A version's time as history prints it: "2026-12-11 07:43:13" (UTC).
std::string historyDate(std::int64_t seconds);

// quillpack history: the versions kept, newest first, the current one marked.
PackStatus showHistory(Host& host, Console& out, Console& err, const std::string& listPath);

struct HistoryMove {
    enum Kind { undo, redo, restore } kind = undo;
    int version = 0;  // for restore
    bool dryRun = false;
    // Asked with the archive as loaded under its lock, before anything is
    // written: false moves nothing (status 4), its caller saying why. The
    // workbench refuses a list changed since its page loaded it.
    std::function<bool(const Archive&)> proceed;
};

// quillpack undo, redo and restore: the list made a version the history keeps,
// after checking that the resource still holds every range it names.
PackStatus moveInHistory(Host& host, Console& out, Console& err, const std::string& listPath, const HistoryMove& move);

}  // namespace quill::pack
