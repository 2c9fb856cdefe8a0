// quillpack history, undo, redo and restore: moving the list between the
// versions its history keeps. Going to a version is a commit like any other:
// the same lock, the same refresh of data/ (and the same refusal when an edit
// not put back would be overwritten), the same crash safety.
#include "pack/history_command.h"

#include <chrono>
#include <cstdio>
#include <map>

#include "pack/history_store.h"

namespace quill::pack {
namespace {

std::string described(const HistoryVersion& version) {
    return "version " + std::to_string(version.number) + " (" + historyDate(version.time) + " UTC, " +
           shownName(version.command) + (version.summary.empty() ? "" : ": " + shownName(version.summary)) + ")";
}

// Every record of the version whose bytes the resource no longer holds as
// they were when the version was recorded.
std::vector<std::string> bytesGone(Host& host, const Archive& archive, const History& history,
                                   const HistoryVersion& version, const EntryTable& table) {
    std::vector<std::string> problems;
    std::map<Range, bool> judged;
    const std::string resource = shownPath(host, archive.resourceFile);
    for (int i = 0; i < table.count; ++i) {
        const ListEntry& entry = table.entries[static_cast<std::size_t>(i)];
        const std::string record = "record " + std::to_string(i + 1) + " " + shownName(entry.name);
        const Range range{entry.offset, entry.length};
        if (range.first < 0 || range.second < 0 || range.first + range.second > archive.resource.size) {
            problems.push_back(record + ": its bytes lie past the end of " + resource + " (" +
                               counted(archive.resource.size, "byte", "bytes") + " now)");
            continue;
        }
        auto [at, fresh] = judged.try_emplace(range, false);
        if (fresh) {
            std::uint64_t sum = 0;
            at->second = range.first >= 0 && range.second >= 0 && history.checksumOf(version, range, sum) &&
                         sum == checksum(archive.resource.bytes(range.first, range.second));
        }
        if (!at->second) {
            problems.push_back(record + ": its bytes in " + resource + " are not the ones version " +
                               std::to_string(version.number) + " recorded (rewritten by another tool?)");
        }
    }
    return problems;
}

// The version's list laid out over the archive as it is: each of its records
// matched to a record of the current list with the same bytes (the same name
// first), so that data/ is refreshed as for renames and new records.
void layOutVersion(const Archive& archive, const HistoryVersion& version, ArchiveEdit& edit, LaidOutEdit& laid) {
    laid.listHead = version.head;
    readRecords(version.head, *laid.expected);
    const EntryTable& now = *archive.table;
    std::vector<bool> used(static_cast<std::size_t>(now.count), false);
    for (int i = 0; i < laid.expected->count; ++i) {
        const ListEntry& wanted = laid.expected->entries[static_cast<std::size_t>(i)];
        int match = -1;
        for (int j = 0; j < now.count; ++j) {
            const ListEntry& entry = now.entries[static_cast<std::size_t>(j)];
            if (used[static_cast<std::size_t>(j)] || entry.offset != wanted.offset || entry.length != wanted.length) {
                continue;
            }
            if (match < 0 || entry.name == wanted.name) match = j;
            if (entry.name == wanted.name) break;
        }
        laid.fromRecord.push_back(match);
        if (match < 0) {
            edit.added.push_back({wanted.name, archive.resource.bytes(wanted.offset, wanted.length)});
            continue;
        }
        used[static_cast<std::size_t>(match)] = true;
        if (now.entries[static_cast<std::size_t>(match)].name != wanted.name) edit.renamed[match] = wanted.name;
    }
}

PackStatus nothingTo(Console& err, const std::string& why) {
    err.print(why + "; nothing changed\n");
    return PackStatus::inputUnusable;
}

}  // namespace

std::string historyDate(std::int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds at{std::chrono::seconds(seconds)};
    const auto day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long long>(time.hours().count()), static_cast<long long>(time.minutes().count()),
                  static_cast<long long>(time.seconds().count()));
    return text;
}

PackStatus showHistory(Host& host, Console& out, Console& err, const std::string& listPath) {
    Archive archive;
    if (const PackStatus loaded = loadArchiveConsistent(host, err, listPath, archive);
        loaded != PackStatus::done && loaded != PackStatus::archiveUnsafe) {
        return loaded;
    }
    History history;
    if (const PackStatus status = loadHistory(host, err, archive, history); status != PackStatus::done) return status;
    const std::string list = shownPath(host, listPath);
    if (history.versions.empty()) {
        out.print(list + ": no history yet; quillpack records one from the first change it makes\n");
        return PackStatus::done;
    }
    if (history.current == 0) {
        out.print(list + ": changed outside quillpack since its last version; the next change or undo keeps it as a "
                         "version\n");
    }
    out.print("  version  date (UTC)           command         what changed\n");
    for (auto version = history.versions.rbegin(); version != history.versions.rend(); ++version) {
        char number[16];
        std::snprintf(number, sizeof number, "%7d", version->number);
        std::string command = shownName(version->command);
        if (command.size() < 15) command += std::string(15 - command.size(), ' ');
        out.print(std::string(version->number == history.current ? "* " : "  ") + number + "  " +
                  historyDate(version->time) + "  " + command + " " + shownName(version->summary) + "\n");
    }
    return PackStatus::done;
}

PackStatus moveInHistory(Host& host, Console& out, Console& err, const std::string& listPath, const HistoryMove& move) {
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus loaded = loadArchiveForChange(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }
    if (move.proceed && !move.proceed(archive)) return PackStatus::inputUnusable;
    History history;
    if (const PackStatus status = loadHistory(host, err, archive, history); status != PackStatus::done) return status;
    const std::string list = shownPath(host, listPath);
    if (history.versions.empty()) return nothingTo(err, list + ": no history yet (quillpack records one from its first change)");
    const int at = history.indexOf(history.current);
    const HistoryVersion* target = nullptr;
    switch (move.kind) {
        case HistoryMove::undo:
            if (at == 0) return nothingTo(err, list + ": nothing to undo; version " + std::to_string(history.current) + " is the oldest kept");
            // A list changed outside quillpack is kept as a version first, so
            // redo comes back to it; undo goes to the version it was made from.
            if (at < 0) {
                target = history.find(history.storedCurrent);
                if (target == nullptr) target = &history.versions.back();
            } else {
                target = &history.versions[static_cast<std::size_t>(at - 1)];
            }
            break;
        case HistoryMove::redo:
            if (at < 0) return nothingTo(err, list + ": nothing to redo; the list was changed outside quillpack since its last version");
            if (static_cast<std::size_t>(at) + 1 == history.versions.size()) {
                return nothingTo(err, list + ": nothing to redo; version " + std::to_string(history.current) + " is the newest");
            }
            target = &history.versions[static_cast<std::size_t>(at + 1)];
            break;
        case HistoryMove::restore:
            target = history.find(move.version);
            if (target == nullptr) {
                return nothingTo(err, list + ": has no version " + std::to_string(move.version) +
                                          " (quillpack history " + list + " shows those kept)");
            }
            if (move.version == history.current) {
                out.print(list + " is " + described(*target) + " already; nothing changed\n");
                return PackStatus::done;
            }
            break;
    }
    // Every range checked before any byte of it is read.
    const auto table = std::make_unique<EntryTable>();
    readRecords(target->head, *table);
    const std::vector<std::string> gone = bytesGone(host, archive, history, *target, *table);
    // A range that could not be read is not a range rewritten: said as what it is.
    if (archive.resource.failed()) {
        checkResourceRead(host, err, archive);
        err.print("nothing changed\n");
        return PackStatus::archiveUnsafe;
    }
    for (const std::string& problem : gone) err.print(problem + "\n");
    if (!gone.empty()) return nothingTo(err, list + ": cannot go back to version " + std::to_string(target->number));
    ArchiveEdit edit;
    LaidOutEdit laid;
    layOutVersion(archive, *target, edit, laid);
    const int number = target->number;
    const std::string description = described(*target);
    static constexpr const char* kWords[] = {"undo", "redo", "restore"};
    HistoryNote note;
    note.command = kWords[static_cast<int>(move.kind)];
    note.moveTo = number;
    note.dryRun = move.dryRun;
    for (const auto& [range, sum] : history.ranges) note.keptContents.insert({range.second, sum});
    for (const HistoryVersion& version : history.versions) {
        for (const auto& [range, sum] : version.ownChecksums) note.keptContents.insert({range.second, sum});
    }
    const PackStatus status = applyLaidOut(host, out, err, archive, edit, laid, {}, note);
    if (move.dryRun && status == PackStatus::done) {
        out.print(list + " would be " + description + " again; nothing written (-n)\n");
    } else if (status == PackStatus::done || status == PackStatus::dataNotRefreshed) {
        out.print(list + " is " + description + " again\n");
    }
    return status;
}

}  // namespace quill::pack
