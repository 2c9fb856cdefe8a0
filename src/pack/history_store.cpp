#include "pack/history_store.h"

#include <xxhash.h>

#include <algorithm>
#include <set>

namespace quill::pack {
namespace {

std::set<Range> rangesOf(std::span<const std::byte> head) {
    const auto table = std::make_unique<EntryTable>();
    readRecords(head, *table);
    std::set<Range> ranges;
    for (int i = 0; i < table->count; ++i) {
        const ListEntry& entry = table->entries[static_cast<std::size_t>(i)];
        ranges.insert({entry.offset, entry.length});
    }
    return ranges;
}

// The checksum of a range of the resource as the commit leaves it: its old
// bytes, read through `buffer` a piece at a time, then what the commit appends.
std::uint64_t rangeChecksum(Host& host, const Archive& archive, const LaidOutEdit& laid, Range range,
                            std::vector<std::byte>& buffer) {
    const std::int64_t end = range.first + range.second;
    if (laid.rangesRead != nullptr && end <= archive.resource.size) {
        if (const auto known = laid.rangesRead->find(range); known != laid.rangesRead->end()) return known->second;
    }
    // A file's bytes, appended whole: their checksum was taken as they were read, and checked as they went in.
    std::int64_t start = archive.resource.size;
    for (const AppendPiece& piece : laid.appended) {
        if (piece.file != nullptr && range.first == start && range.second == piece.size()) return piece.file->sum;
        start += piece.size();
    }
    XXH3_state_t* state = XXH3_createState();
    XXH3_64bits_reset(state);
    for (std::int64_t at = range.first; at < std::min(end, archive.resource.size);) {
        const auto piece = std::span(buffer).first(
            static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()),
                                                            std::min(end, archive.resource.size) - at)));
        archive.resource.read(at, piece);
        XXH3_64bits_update(state, piece.data(), piece.size());
        at += static_cast<std::int64_t>(piece.size());
    }
    std::int64_t at = archive.resource.size;
    for (const AppendPiece& piece : laid.appended) {
        const std::int64_t from = std::max(range.first, at);
        const std::int64_t to = std::min(end, at + piece.size());
        if (from < to && piece.file == nullptr) {
            XXH3_64bits_update(state, piece.bytes.data() + (from - at), static_cast<std::size_t>(to - from));
        } else if (from < to) {
            // Part of a file's bytes (no record points so, but the sum must still be of them).
            std::vector<std::byte> part(static_cast<std::size_t>(to - from));
            auto source = host.openForReading(piece.file->path, NameCase::exact);
            if (!source || !source->readAt(from - at, part)) std::fill(part.begin(), part.end(), std::byte{0});
            XXH3_64bits_update(state, part.data(), part.size());
        }
        at += piece.size();
    }
    const std::uint64_t sum = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return sum;
}

// Each range of the version as the resource holds it now: a range the table
// knows with other bytes was rewritten in place since, and the version keeps
// its own checksum, so that every version is judged by its own bytes.
void recordChecksums(Host& host, const Archive& archive, const LaidOutEdit& laid, HistoryVersion& version, History& history,
                     const std::map<Range, std::uint64_t>& trusted) {
    std::vector<std::byte> buffer(1 << 20);
    for (const Range& range : rangesOf(version.head)) {
        const auto held = trusted.find(range);
        const std::uint64_t sum = held != trusted.end() ? held->second : rangeChecksum(host, archive, laid, range, buffer);
        const auto [known, fresh] = history.ranges.try_emplace(range, sum);
        if (!fresh && known->second != sum) version.ownChecksums[range] = sum;
    }
}

// The checksums of the version the last commit left current, when the
// resource is as that commit left it (no other program wrote into it since):
// they still hold, and those ranges need not be read again.
std::map<Range, std::uint64_t> trustedChecksums(const Archive& archive, const History& history) {
    std::map<Range, std::uint64_t> trusted;
    FileTime opened;
    if (history.resourceSize < 0 || history.resourceSize != archive.resource.size ||
        !archive.resource.openedAt(opened) || opened.ticks != history.resourceTicks || !history.fileTimed ||
        history.fileTicks <= history.resourceTicks) {
        return trusted;
    }
    const HistoryVersion* stamped = history.find(history.storedCurrent);
    if (stamped == nullptr) return trusted;
    for (const Range& range : rangesOf(stamped->head)) {
        std::uint64_t sum = 0;
        if (range.first + range.second <= archive.resource.size && history.checksumOf(*stamped, range, sum)) {
            trusted[range] = sum;
        }
    }
    return trusted;
}

HistoryVersion versionOf(Host& host, History& history, std::string command, std::string summary,
                         std::vector<std::byte> head, const ListTail& tail) {
    return {history.nextNumber++, host.secondsNow(), std::move(command), std::move(summary), std::move(head), tail, {}};
}

// Drops the versions after the one at `index`, keeping them in `removed`.
void dropAfter(History& history, int index, std::vector<HistoryVersion>& removed) {
    const auto first = history.versions.begin() + index + 1;
    removed.insert(removed.end(), std::make_move_iterator(first), std::make_move_iterator(history.versions.end()));
    history.versions.erase(first, history.versions.end());
}

// Takes out of the table the checksums of ranges that only the versions
// removed used. Only their ranges can have become unused, and most of them
// are found in the first version kept: with a hundred versions of a thousand
// records, this is what keeps a commit from parsing every version into a set.
void forgetUnusedRanges(History& history, const std::vector<HistoryVersion>& removed) {
    std::vector<Range> candidates;
    for (const HistoryVersion& version : removed) {
        for (const Range& range : rangesOf(version.head)) candidates.push_back(range);
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    std::vector<bool> used(candidates.size(), false);
    std::size_t left = candidates.size();
    const auto table = std::make_unique<EntryTable>();
    for (const HistoryVersion& version : history.versions) {
        if (left == 0) break;
        readRecords(version.head, *table);
        for (int i = 0; i < table->count && left > 0; ++i) {
            const ListEntry& entry = table->entries[static_cast<std::size_t>(i)];
            const Range range{entry.offset, entry.length};
            const auto found = std::lower_bound(candidates.begin(), candidates.end(), range);
            if (found == candidates.end() || *found != range) continue;
            const auto at = static_cast<std::size_t>(found - candidates.begin());
            if (!used[at]) {
                used[at] = true;
                --left;
            }
        }
    }
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (!used[i]) history.ranges.erase(candidates[i]);
    }
}

}  // namespace

std::string historyPath(Host& host, const Archive& archive) {
    const std::string list = host.followedPath(archive.paths.list);
    return (list.empty() ? archive.paths.list : list) + ".history";
}

bool readListTail(Host& host, const Archive& archive, ListTail& tail) {
    auto list = host.openForReading(archive.paths.list, NameCase::exact);
    if (!list) return false;
    XXH3_state_t* state = XXH3_createState();
    XXH3_64bits_reset(state);
    std::vector<std::byte> chunk(1 << 16);
    std::int64_t skip = static_cast<std::int64_t>(archive.listHead.size());
    tail = {};
    for (std::size_t got; (got = list->read(chunk)) != 0;) {
        std::span<const std::byte> piece = std::span(chunk).first(got);
        const auto skipped = static_cast<std::size_t>(std::min<std::int64_t>(skip, static_cast<std::int64_t>(got)));
        skip -= static_cast<std::int64_t>(skipped);
        piece = piece.subspan(skipped);
        XXH3_64bits_update(state, piece.data(), piece.size());
        tail.length += static_cast<std::int64_t>(piece.size());
    }
    tail.hash = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return !list->failed() && skip == 0;
}

PackStatus loadHistory(Host& host, Console& err, const Archive& archive, History& history) {
    history = History{};
    const std::string path = historyPath(host, archive);
    std::string reason;
    if (host.lookUp(path, reason) == PathState::missing) return PackStatus::done;
    // A history is small (at most kHistoryVersions lists of 999 lines): a
    // large or foreign file is named as such without reading it whole.
    constexpr std::int64_t kMostBytes = 256 << 20;
    std::string problem;
    if (auto probe = host.openForReading(path, NameCase::exact)) {
        std::int64_t size = 0;
        std::vector<std::byte> start(20);
        start.resize(probe->measure(size) ? probe->read(start) : 0);
        const std::string_view magic = "quillpack history 1\n";
        if (size > kMostBytes) problem = "larger than any history quillpack writes";
        if (size == 0) problem = "empty, not a quillpack history";
        if (size > 0 && (start.size() < magic.size() ||
                         !std::equal(magic.begin(), magic.end(), start.begin(),
                                     [](char c, std::byte b) { return static_cast<std::byte>(c) == b; }))) {
            problem = "not a quillpack history (or one of a newer quillpack)";
        }
    }
    if (!problem.empty()) {
        err.print(shownPath(host, path) + ": " + problem +
                  "; nothing changed (move it away to go on without the history)\n");
        return PackStatus::listUnreadable;
    }
    FileTime written;
    const bool timed = host.readModificationTime(path, NameCase::exact, written);
    WholeFile file;
    if (loadWholeFile(host, path, NameCase::exact, INT32_MAX, file) != LoadStatus::loaded) {
        err.print(withReason(shownPath(host, path) + ": cannot be read", host.lastFailure()) +
                  "; nothing changed (move it away to go on without the history)\n");
        return PackStatus::listUnreadable;
    }
    if (!parseHistory(file.bytes(), history, problem)) {
        err.print(shownPath(host, path) + ": " + problem +
                  "; nothing changed (move it away to go on without the history)\n");
        return PackStatus::listUnreadable;
    }
    history.fileTimed = timed;
    history.fileTicks = written.ticks;
    ListTail tail;
    if (!readListTail(host, archive, tail)) {
        err.print(withReason(shownPath(host, archive.paths.list) + ": cannot be read", host.lastFailure()) + "\n");
        return PackStatus::listUnreadable;
    }
    reconcile(history, archive.listHead, tail);
    return PackStatus::done;
}

bool historyKnowsResource(Host& host, const Archive& archive) {
    // Asked ahead of the commit, which says any problem with the history itself.
    class Silent final : public Console {
        void print(std::string_view) override {}
    } quiet;
    History history;
    return loadHistory(host, quiet, archive, history) == PackStatus::done && !trustedChecksums(archive, history).empty();
}

PackStatus nextHistory(Host& host, Console& err, const Archive& archive, const LaidOutEdit& laid,
                       const HistoryNote& note, History& history, int& dropped) {
    dropped = 0;
    if (const PackStatus status = loadHistory(host, err, archive, history); status != PackStatus::done) return status;
    std::vector<HistoryVersion> removed;  // versions this commit drops
    const std::map<Range, std::uint64_t> trusted = trustedChecksums(archive, history);
    ListTail tail;
    if (!readListTail(host, archive, tail)) {
        err.print(withReason(shownPath(host, archive.paths.list) + ": cannot be read", host.lastFailure()) + "\n");
        return PackStatus::listUnreadable;
    }
    // The list as found, when no version is it: kept, so undo comes back to it.
    if (history.current == 0) {
        const auto table = std::make_unique<EntryTable>();
        readRecords(archive.listHead, *table);
        const std::string summary = counted(table->count, "record", "records");
        const bool first = history.versions.empty();
        HistoryVersion found = versionOf(host, history, first ? "found" : "changed outside", summary, archive.listHead, tail);
        recordChecksums(host, archive, laid, found, history, trusted);
        history.current = found.number;
        // After the version it was made from, so that undo goes back to that
        // one; like any change after undo, it drops what was ahead (unless
        // this is a move to one of those).
        const int from = history.indexOf(history.storedCurrent);
        const bool movingAhead = note.moveTo != 0 && from >= 0 && history.indexOf(note.moveTo) > from;
        if (from >= 0 && !movingAhead) {
            dropped += static_cast<int>(history.versions.size()) - from - 1;
            dropAfter(history, from, removed);
        }
        history.versions.push_back(std::move(found));
    }
    history.previousCurrent = history.current;
    history.previousLast = history.nextNumber - 1;
    if (note.moveTo != 0) {
        history.current = note.moveTo;
    } else {
        // A new change after undo: what was ahead can no longer be reached.
        const int at = history.indexOf(history.current);
        dropped += static_cast<int>(history.versions.size()) - at - 1;
        dropAfter(history, at, removed);
        history.versions.push_back(versionOf(host, history, note.command, note.summary, laid.listHead, tail));
        history.current = history.versions.back().number;
        recordChecksums(host, archive, laid, history.versions.back(), history, trusted);
    }
    while (history.versions.size() > kHistoryVersions && history.versions.front().number != history.current) {
        removed.push_back(std::move(history.versions.front()));
        history.versions.erase(history.versions.begin());
    }
    for (HistoryVersion& version : history.versions) {
        if (version.ownChecksums.empty()) continue;
        const std::set<Range> own = rangesOf(version.head);
        std::erase_if(version.ownChecksums, [&](const auto& entry) { return own.count(entry.first) == 0; });
    }
    forgetUnusedRanges(history, removed);
    return PackStatus::done;
}

bool stageHistory(Host& host, Console& err, const Archive& archive, const History& history,
                  std::unique_ptr<StagedFile>& staged, std::string& problem) {
    staged = std::make_unique<StagedFile>(host, err, historyPath(host, archive), "history");
    const std::vector<std::byte> bytes = serializeHistory(history);
    std::string reason;
    const bool existed = host.lookUp(staged->target(), reason) == PathState::file;
    if (!staged->create(problem) || !staged->write(bytes, problem)) return false;
    // Who may read the list may read its history, and no one else.
    if (!host.copyAccess(existed ? staged->target() : archive.paths.list, staged->temporary())) {
        problem = withReason(shownPath(host, staged->temporary()) + ": cannot be given the list's permissions",
                             host.lastFailure());
        return false;
    }
    return staged->finish(problem);
}

std::string editSummary(const Archive& archive, const ArchiveEdit& edit) {
    const auto nameOf = [&](int record) {
        return archive.table->entries[static_cast<std::size_t>(record)].name;
    };
    std::vector<std::string> parts;
    const auto part = [&](std::size_t count, const std::string& what, const std::vector<std::string>& names) {
        if (count == 0) return;
        std::string text = std::to_string(count) + " " + what;
        std::string shown;
        for (const std::string& name : names) {
            if (shown.size() + name.size() > 60) {
                shown += shown.empty() ? "..." : ", ...";
                break;
            }
            shown += (shown.empty() ? "" : ", ") + name;
        }
        parts.push_back(text + " (" + shown + ")");
    };
    std::vector<std::string> names;
    std::size_t records = 0;
    for (const NewBytes& group : edit.replaced) {
        records += group.records.size();
        for (const int record : group.records) names.push_back(nameOf(record));
    }
    part(records, "replaced", names);
    names.clear();
    for (const NewRecord& record : edit.added) names.push_back(record.name);
    part(edit.added.size(), "added", names);
    names.clear();
    for (const int record : edit.removed) names.push_back(nameOf(record));
    part(edit.removed.size(), "removed", names);
    names.clear();
    for (const auto& [record, name] : edit.renamed) names.push_back(nameOf(record) + " to " + name);
    part(edit.renamed.size(), "renamed", names);
    std::string summary;
    for (const std::string& text : parts) summary += (summary.empty() ? "" : "; ") + text;
    return summary;
}

}  // namespace quill::pack
