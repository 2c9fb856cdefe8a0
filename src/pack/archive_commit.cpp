// Committing an edit so that, whatever fails and wherever the process is
// stopped, the pair on disk is the old archive or the new one. New bytes are
// only ever appended to the resource, where the old list never points; the
// list is then replaced in one step.
#include <xxhash.h>

#include <algorithm>

#include "pack/archive_edit.h"
#include "pack/history_store.h"
#include "pack/progress.h"
#include "pack/staged_file.h"

namespace quill::pack {
namespace {

// Puts the resource back to its old length after a failure; the old list never
// points past it, so the archive is the old one either way.
void undoAppend(Host& host, Console& err, const Archive& archive) {
    if (!host.cutBack(archive.paths.resource, NameCase::ignoreWhenMissing, archive.resource.size)) {
        err.print(withReason(shownPath(host, archive.resourceFile) + ": could not be cut back", host.lastFailure()) +
                  "; the bytes added at its end are not used by the list\n");
    }
}

PackStatus failed(Host& host, Console& err, const Archive& archive, const std::string& what, bool appended) {
    err.print(what + "; the archive is as it was\n");
    if (appended) undoAppend(host, err, archive);
    return PackStatus::writeFailed;
}

// An interrupt before the new list is in place: the old archive stays, and
// bytes already appended are cut back, so the resource does not grow with
// every Ctrl+C.
PackStatus stopped(Host& host, Console& err, const Archive& archive, bool appended) {
    err.print("interrupted; the archive is as it was\n");
    if (appended) undoAppend(host, err, archive);
    return PackStatus::interrupted;
}

// Appended in pieces of this size at most, so an interrupt is seen soon.
constexpr std::size_t kAppendStep = 1 << 20;

// `shown`: the resource, as messages name it.
PackStatus appendStep(Host& host, WriteFile& resource, std::span<const std::byte> step, const std::string& shown,
                      Progress& progress, std::string& problem) {
    if (host.interrupted()) return PackStatus::interrupted;
    if (resource.write(step)) {
        progress.advance(static_cast<std::int64_t>(step.size()), 0);
        return PackStatus::done;
    }
    problem = withReason(shown + ": writing failed", host.lastFailure());
    return PackStatus::writeFailed;
}

// A file's bytes, read again as they are appended: the change stops unless
// they are exactly the bytes the command read and compared.
PackStatus appendFile(Host& host, WriteFile& resource, const FileBytes& file, std::vector<std::byte>& buffer,
                      const std::string& shown, Progress& progress, std::string& problem) {
    auto source = host.openForReading(file.path, NameCase::exact);
    if (!source) {
        problem = withReason(shownPath(host, file.path) + ": cannot be read again", host.lastFailure());
        return PackStatus::writeFailed;
    }
    buffer.resize(kAppendStep);
    XXH3_state_t* state = XXH3_createState();
    XXH3_64bits_reset(state);
    std::int64_t total = 0;
    PackStatus status = PackStatus::done;
    while (status == PackStatus::done) {
        const std::size_t got = source->read(buffer);
        if (got == 0) break;
        total += static_cast<std::int64_t>(got);
        // More than was read before: not one byte of it goes in.
        if (total > file.size) break;
        XXH3_64bits_update(state, buffer.data(), got);
        status = appendStep(host, resource, std::span(buffer).first(got), shown, progress, problem);
    }
    const std::uint64_t sum = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    if (status != PackStatus::done) return status;
    if (source->failed()) {
        problem = withReason(shownPath(host, file.path) + ": cannot be read again", host.lastFailure());
        return PackStatus::writeFailed;
    }
    if (total != file.size || sum != file.sum) {
        problem = shownPath(host, file.path) + ": changed since the update read it; run the update again";
        return PackStatus::writeFailed;
    }
    return PackStatus::done;
}

// `after`: the resource's last change once the bytes are in, for the history's stamp.
PackStatus append(Host& host, Console& err, const Archive& archive, const LaidOutEdit& edit, FileTime& after,
                  bool& timed) {
    if (host.interrupted()) return stopped(host, err, archive, false);
    timed = archive.resource.openedAt(after);
    if (edit.appendedBytes == 0) return PackStatus::done;
    // Written into since it was read: the checks and checksums taken no longer hold.
    if (archive.resource.changedSince(host, archive.paths.resource, NameCase::ignoreWhenMissing)) {
        err.print(shownPath(host, archive.resourceFile) +
                  ": changed by another program while it was read; the archive is as it was\n");
        return PackStatus::writeFailed;
    }
    std::int64_t size = 0;
    auto resource = host.openForAppending(archive.paths.resource, NameCase::ignoreWhenMissing, size);
    const std::string shown = shownPath(host, archive.resourceFile);
    if (!resource) {
        err.print(withReason(shown + ": cannot be opened for writing", host.lastFailure()) +
                  "; the archive is as it was\n");
        return PackStatus::writeFailed;
    }
    if (size != archive.resource.size) {
        err.print(shown + ": changed while it was read; the archive is as it was\n");
        return PackStatus::writeFailed;
    }
    Progress progress(host, "appending to " + shown, edit.appendedBytes, static_cast<std::int64_t>(edit.appended.size()));
    std::vector<std::byte> buffer;  // a file's bytes pass through it
    for (const AppendPiece& piece : edit.appended) {
        PackStatus status = PackStatus::done;
        std::string problem;
        if (piece.file == nullptr) {
            for (auto rest = piece.bytes; !rest.empty() && status == PackStatus::done;) {
                const auto step = rest.first(std::min(rest.size(), kAppendStep));
                status = appendStep(host, *resource, step, shown, progress, problem);
                rest = rest.subspan(step.size());
            }
        } else {
            status = appendFile(host, *resource, *piece.file, buffer, shown, progress, problem);
        }
        if (status == PackStatus::interrupted) {
            resource.reset();
            progress.clear();
            return stopped(host, err, archive, true);
        }
        if (status != PackStatus::done) {
            resource.reset();
            progress.clear();
            return failed(host, err, archive, problem, true);
        }
        progress.advance(0, 1);
    }
    progress.clear();
    if (!resource->makeDurable() || !resource->close()) {
        return failed(host, err, archive,
                      withReason(shown + ": the system did not confirm the bytes reached the disk", host.lastFailure()),
                      true);
    }
    // Another program appending at the same time would shift the new bytes
    // from where the new list points.
    auto check = host.openForReading(archive.paths.resource, NameCase::ignoreWhenMissing);
    std::int64_t now = 0;
    if (!check || !check->measure(now)) {
        check.reset();
        return failed(host, err, archive, withReason(shown + ": cannot be measured", host.lastFailure()), true);
    }
    if (now != archive.resource.size + edit.appendedBytes) {
        // Cutting back would take that program's bytes too: left as they are.
        err.print(shown + ": changed by another program while it was written; the list is not changed, so the "
                          "archive is as it was (bytes past its old end are not used by the list)\n");
        return PackStatus::writeFailed;
    }
    timed = host.readModificationTime(archive.paths.resource, NameCase::ignoreWhenMissing, after);
    return PackStatus::done;
}

bool sameRecords(const EntryTable& a, const EntryTable& b) {
    if (a.count != b.count) return false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(a.count); ++i) {
        const ListEntry& x = a.entries[i];
        const ListEntry& y = b.entries[i];
        if (x.name != y.name || x.length != y.length || x.offset != y.offset) return false;
    }
    return true;
}

// The new list: its rewritten head, then the rest of the old list as it is,
// read back from the disk and checked before it replaces the old one.
PackStatus replaceList(Host& host, Console& err, Archive& archive, const LaidOutEdit& edit, bool appended,
                       const HistoryNote& note, CommitReport& report, const FileTime& resourceAfter,
                       bool resourceTimed) {
    // A list that is a link: the file it names is replaced, and the link kept.
    const std::string listFile = host.followedPath(archive.paths.list);
    if (listFile.empty()) {
        return failed(host, err, archive,
                      shownPath(host, archive.paths.list) + ": a symbolic link to a path with a '\\' in it, which "
                                                            "this tool cannot follow; link to another folder",
                      appended);
    }
    StagedFile list(host, err, listFile, "update");
    std::string problem;
    bool written = list.create(problem) && list.write(edit.listHead, problem);
    if (written && !host.copyAccess(archive.paths.list, list.temporary())) {
        problem = withReason(shownPath(host, list.temporary()) + ": cannot be given the list's permissions",
                             host.lastFailure());
        written = false;
    }
    std::vector<std::byte> chunk(1 << 16);
    while (written && archive.listRest) {
        const std::size_t got = archive.listRest->read(chunk);
        if (got == 0) break;
        written = list.write(std::span(chunk).first(got), problem);
    }
    if (written && archive.listRest && archive.listRest->failed()) {
        problem = withReason(shownPath(host, archive.paths.list) + ": cannot be read", host.lastFailure());
        written = false;
    }
    if (!written || !list.finish(problem)) return failed(host, err, archive, problem, appended);

    auto readBack = host.openForReading(list.temporary(), NameCase::exact);
    const auto table = std::make_unique<EntryTable>();
    if (readBack) readListRecords(*readBack, *table);
    if (!readBack || readBack->failed() || !sameRecords(*table, *edit.expected)) {
        return failed(host, err, archive, shownPath(host, list.temporary()) + ": does not read back as planned",
                      appended);
    }
    // Windows will not rename over a file this process still has open.
    readBack.reset();
    archive.listRest.reset();
    // A list saved meanwhile (an editor, another tool) is the user's work: not renamed over.
    FileTime now;
    if (archive.listTimed &&
        (!host.readModificationTime(archive.paths.list, NameCase::exact, now) || now != archive.listTime)) {
        return failed(host, err, archive, shownPath(host, archive.paths.list) + ": changed while the command ran",
                      appended);
    }
    // The new list's version goes into the history before the list lands: a
    // history naming a list that never landed reads as it was before.
    History history;
    if (const PackStatus status = nextHistory(host, err, archive, edit, note, history, report.dropped);
        status != PackStatus::done) {
        err.print("the archive is as it was\n");
        if (appended) undoAppend(host, err, archive);
        return status;
    }
    // The history's checksums were read from the resource: one that could not be is no history to write.
    if (archive.resource.failed()) {
        failed(host, err, archive,
               withReason(shownPath(host, archive.resourceFile) + ": cannot be read", archive.resource.failure()),
               appended);
        return PackStatus::archiveUnsafe;
    }
    report.version = history.current;
    // The resource as this commit leaves it, so the next one can tell whether
    // another program wrote into it; not stamped when one did during the
    // commit (the checksums may not be of what it holds now).
    FileTime resourceTime;
    const bool stamped = resourceTimed &&
                         host.readModificationTime(archive.paths.resource, NameCase::ignoreWhenMissing, resourceTime) &&
                         resourceTime == resourceAfter;
    history.resourceSize = stamped ? archive.resource.size + edit.appendedBytes : -1;
    history.resourceTicks = stamped ? resourceTime.ticks : 0;
    std::unique_ptr<StagedFile> staged;
    if (!stageHistory(host, err, archive, history, staged, problem)) return failed(host, err, archive, problem, appended);
    // The last moment the change can still be called off.
    if (host.interrupted()) return stopped(host, err, archive, appended);
    switch (staged->publish(problem)) {
        case ReplaceResult::replaced: break;
        case ReplaceResult::replacedNotDurable: err.print(problem + "\n"); break;
        case ReplaceResult::notReplaced: return failed(host, err, archive, problem, appended);
    }
    switch (list.publish(problem)) {
        case ReplaceResult::replaced: return PackStatus::done;
        case ReplaceResult::replacedNotDurable: err.print(problem + "\n"); return PackStatus::done;
        case ReplaceResult::notReplaced: break;
    }
    return failed(host, err, archive, problem, appended);
}

}  // namespace

PackStatus commitEdit(Host& host, Console& err, Archive& archive, const LaidOutEdit& edit, const HistoryNote& note,
                      CommitReport& report) {
    // A list that does not read as planned is never written.
    const auto planned = std::make_unique<EntryTable>();
    readRecords(edit.listHead, *planned);
    if (!sameRecords(*planned, *edit.expected)) {
        err.print(shownPath(host, archive.paths.list) + ": its rewritten form does not read back as planned; nothing "
                                                         "written\n");
        return PackStatus::archiveUnsafe;
    }
    FileTime resourceAfter;
    bool resourceTimed = false;
    if (const PackStatus status = append(host, err, archive, edit, resourceAfter, resourceTimed);
        status != PackStatus::done) {
        return status;
    }
    return replaceList(host, err, archive, edit, edit.appendedBytes > 0, note, report, resourceAfter, resourceTimed);
}

}  // namespace quill::pack
