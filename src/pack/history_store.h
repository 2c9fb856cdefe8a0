#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pack/archive_edit.h"
#include "pack/history.h"
#include "pack/staged_file.h"

// The history beside an archive: read, and written in the same commit as the
// list it describes (staged and made durable before the list is renamed into
// place; a list that never lands leaves a history that reads as before it).
namespace quill::pack {

// What a commit records.
struct HistoryNote {
    std::string command;  // "update", "add", ...
    std::string summary;  // one line of what changed
    // Undo, redo and restore move to a version the history has: no new one.
    int moveTo = 0;
    // Every check made, nothing written.
    bool dryRun = false;
    // Contents (length and checksum) some kept version's record holds: a file
    // in data/ holding one is the archive's, found again by restore, so going
    // to a version may write over it.
    std::set<std::pair<std::int64_t, std::uint64_t>> keptContents;
};

// LIST.RD.history beside the list (beside the file a linked list names).
std::string historyPath(Host& host, const Archive& archive);

// The list's bytes past its records, as they are on disk now.
bool readListTail(Host& host, const Archive& archive, ListTail& tail);

// Reads the history (an empty one when there is none) and works out which
// version the list is. Status 2 with why when it cannot be read or is damaged
// (nothing is changed over a history this tool cannot read).
PackStatus loadHistory(Host& host, Console& err, const Archive& archive, History& history);

// Whether the history knows the resource as it is now (the last commit left
// it so), and so needs no checksum read for a range it knows; false when
// there is no history, it cannot be read, or another program wrote since.
bool historyKnowsResource(Host& host, const Archive& archive);

// The history as a commit of `laid` leaves it: the list found recorded first
// when it is no version yet, versions ahead of the current one dropped by a
// new change (`dropped` says how many), the new list's version added (or the
// current one moved for undo, redo and restore), checksums of the ranges it
// uses, and the oldest versions past kHistoryVersions dropped.
PackStatus nextHistory(Host& host, Console& err, const Archive& archive, const LaidOutEdit& laid,
                       const HistoryNote& note, History& history, int& dropped);

// Writes the history under a temporary name, made durable; published by the caller.
bool stageHistory(Host& host, Console& err, const Archive& archive, const History& history,
                  std::unique_ptr<StagedFile>& staged, std::string& problem);

// One line of what an edit changes, for the history.
std::string editSummary(const Archive& archive, const ArchiveEdit& edit);

}  // namespace quill::pack
