// quillpack update: the edited files go into the archive so that, whatever
// fails and wherever the process is stopped, the pair on disk is the old
// archive or the new one. New bytes are only ever appended to the resource,
// where the old list never points; the list is then replaced in one step.
// Then the data directory is made what an unpack of the new archive leaves,
// so that running the command again finds nothing to do.
#include "pack/data_refresh.h"
#include "pack/staged_file.h"
#include "pack/update.h"

namespace quill::pack {
namespace {

constexpr std::size_t kMissingShown = 5;

std::string recordNumbers(const std::vector<int>& records) {
    std::string text;
    for (const int record : records) text += (text.empty() ? "" : ", ") + std::to_string(record + 1);
    return text;
}

void printPlan(const Host& host, Console& out, const Archive& archive, const UpdatePlan& plan, bool verbose) {
    for (const Change& change : plan.changes) {
        const ListEntry& entry = archive.table->entries[static_cast<std::size_t>(change.records.back())];
        out.print((change.records.size() > 1 ? "records " : "record ") + recordNumbers(change.records) + " " +
                  shownName(entry.name) + ": " + std::to_string(entry.length) + " -> " +
                  counted(static_cast<std::int64_t>(change.bytes.size()), "byte", "bytes") + ", from " +
                  shownPath(host, change.source) + "\n");
    }
    if (plan.missing.empty()) return;
    const std::size_t count = plan.missing.size();
    const std::size_t shown = verbose ? count : std::min(count, kMissingShown);
    std::string names;
    for (std::size_t i = 0; i < shown; ++i) names += (i == 0 ? "" : ", ") + shownPath(host, plan.missing[i]);
    if (shown < count) names += " and " + std::to_string(count - shown) + " more (-v names them all)";
    out.print(counted(static_cast<std::int64_t>(count), "entry file is", "entry files are") + " not in " +
              shownPath(host, archive.paths.dataDirectory) + (count == 1 ? ": kept as it is (" : ": kept as they are (") +
              names + ")\n");
}

// Puts the resource back to its old length after a failure; the old list never
// points past it, so the archive is the old one either way.
void undoAppend(Host& host, Console& err, const Archive& archive) {
    if (!host.cutBack(archive.paths.resource, NameCase::ignoreWhenMissing, archive.resource.size)) {
        err.print(withReason(shownPath(host, archive.resourceFile) + ": could not be cut back",
                             host.lastFailure()) +
                  "; the bytes added at its end are not used by the list\n");
    }
}

PackStatus failed(Host& host, Console& err, const Archive& archive, const std::string& what, bool appended) {
    err.print(what + "; the archive is as it was\n");
    if (appended) undoAppend(host, err, archive);
    return PackStatus::writeFailed;
}

PackStatus appendChanges(Host& host, Console& err, const Archive& archive, const UpdatePlan& plan) {
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
    for (const Change& change : plan.changes) {
        if (!resource->write(change.bytes)) {
            return failed(host, err, archive, withReason(shown + ": writing failed", host.lastFailure()), true);
        }
    }
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
    if (now != archive.resource.size + plan.appendedBytes) {
        // Cutting back would take that program's bytes too: left as they are.
        err.print(shown + ": changed by another program while it was written; the list is not changed, so the "
                          "archive is as it was (bytes past its old end are not used by the list)\n");
        return PackStatus::writeFailed;
    }
    return PackStatus::done;
}

// The new list: its rewritten head, then the rest of the old list as it is,
// read back from the disk and checked before it replaces the old one.
PackStatus replaceList(Host& host, Console& err, Archive& archive, const UpdatePlan& plan,
                       const std::vector<std::byte>& head) {
    StagedFile list(host, err, archive.paths.list, "update");
    std::string problem;
    bool written = list.create(problem) && list.write(head, problem);
    std::vector<std::byte> chunk(1 << 16);
    while (written) {
        const std::size_t got = archive.listRest->read(chunk);
        if (got == 0) break;
        written = list.write(std::span(chunk).first(got), problem);
    }
    if (written && archive.listRest->failed()) {
        problem = withReason(shownPath(host, archive.paths.list) + ": cannot be read", host.lastFailure());
        written = false;
    }
    if (!written || !list.finish(problem)) return failed(host, err, archive, problem, true);

    auto readBack = host.openForReading(list.temporary(), NameCase::exact);
    const auto table = std::make_unique<EntryTable>();
    if (readBack) readListRecords(*readBack, *table);
    if (!readBack || readBack->failed() || !listHoldsPlan(archive, plan, *table)) {
        return failed(host, err, archive,
                      shownPath(host, list.temporary()) + ": does not read back as planned", true);
    }
    // Windows will not rename over a file this process still has open.
    readBack.reset();
    archive.listRest.reset();
    // A list saved meanwhile (an editor, another tool) is the user's work: not renamed over.
    FileTime now;
    if (archive.listTimed &&
        (!host.readModificationTime(archive.paths.list, NameCase::exact, now) || now != archive.listTime)) {
        return failed(host, err, archive, shownPath(host, archive.paths.list) + ": changed while the update ran",
                      true);
    }
    switch (list.publish(problem)) {
        case ReplaceResult::replaced: return PackStatus::done;
        case ReplaceResult::replacedNotDurable: err.print(problem + "\n"); return PackStatus::done;
        case ReplaceResult::notReplaced: break;
    }
    return failed(host, err, archive, problem, true);
}

}  // namespace

PackStatus updateArchive(Host& host, Console& out, Console& err, const std::string& listPath,
                         const UpdateOptions& options) {
    // Two commands changing one archive never interleave.
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus refused = refuseListThatIsItsResource(host, err, listPath); refused != PackStatus::done) {
        return refused;
    }
    if (const PackStatus loaded = loadArchiveLocked(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }

    UpdatePlan plan;
    if (const PackStatus planned = planUpdate(host, err, archive, options.wav2dig, plan); planned != PackStatus::done) {
        return planned;
    }
    printPlan(host, out, archive, plan, options.verbose);
    for (const std::string& note : leftBehind(host, plan.absent)) out.print(note + "\n");
    if (plan.changes.empty()) {
        out.print(plan.missing.empty() ? "nothing changed: " + shownPath(host, archive.paths.dataDirectory) +
                                             " matches the archive\n"
                                       : "nothing changed: the files there match the archive\n");
        return PackStatus::done;
    }
    const std::vector<std::byte> head = rewrittenListHead(archive, plan);
    if (const auto table = std::make_unique<EntryTable>(); (readRecords(head, *table), !listHoldsPlan(archive, plan, *table))) {
        err.print(shownPath(host, listPath) + ": its rewritten form does not read back as planned; nothing written\n");
        return PackStatus::archiveUnsafe;
    }
    const std::string appended = counted(plan.appendedBytes, "byte", "bytes");
    if (options.dryRun) {
        out.print("would append " + appended + " to " + shownPath(host, archive.resourceFile) + ", rewrite " +
                  shownPath(host, listPath) + " and refresh " + shownPath(host, archive.paths.dataDirectory) +
                  " (-n: nothing written)\n");
        return PackStatus::done;
    }
    std::vector<RefreshTarget> targets = refreshTargets(archive, plan);
    if (const PackStatus status = setAside(host, err, targets); status != PackStatus::done) return status;
    PackStatus status = appendChanges(host, err, archive, plan);
    if (status == PackStatus::done) status = replaceList(host, err, archive, plan, head);
    if (status != PackStatus::done) {
        putBack(host, err, targets);
        return status;
    }
    out.print("appended " + appended + " to " + shownPath(host, archive.resourceFile) + "; " +
              shownPath(host, listPath) + " rewritten\n");

    const std::vector<std::string> stale = refreshFiles(host, err, targets);
    for (const std::string& problem : stale) err.print(problem + "\n");
    if (!stale.empty()) {
        err.print("the archive is updated, but " + shownPath(host, archive.paths.dataDirectory) +
                  " is not what an unpack of it leaves; unpack again, or put those files right by hand\n");
        return PackStatus::dataNotRefreshed;
    }
    return PackStatus::done;
}

}  // namespace quill::pack
