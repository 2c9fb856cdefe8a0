// quillpack update: the edited files go into the archive so that, whatever
// fails and wherever the process is stopped, the pair on disk is the old
// archive or the new one. New bytes are only ever appended to the resource,
// where the old list never points; the list is then replaced in one step.
#include "pack/update.h"

namespace quill::pack {
namespace {

std::string recordNumbers(const std::vector<int>& records) {
    std::string text;
    for (const int record : records) text += (text.empty() ? "" : ", ") + std::to_string(record + 1);
    return text;
}

void printPlan(const Host& host, Console& out, const Archive& archive, const UpdatePlan& plan) {
    for (const Change& change : plan.changes) {
        const ListEntry& entry = archive.table->entries[static_cast<std::size_t>(change.records.back())];
        out.print((change.records.size() > 1 ? "records " : "record ") + recordNumbers(change.records) + " " +
                  shownName(entry.name) + ": " + std::to_string(entry.length) + " -> " +
                  std::to_string(change.bytes.size()) + (change.bytes.size() == 1 ? " byte" : " bytes") +
                  ", from " + shownName(shownPath(host, change.source)) + "\n");
    }
    if (plan.missing > 0) {
        out.print(std::to_string(plan.missing) +
                  (plan.missing == 1 ? " entry file is not in " : " entry files are not in ") +
                  shownPath(host, archive.dataDirectory) + (plan.missing == 1 ? ": kept as it is\n" : ": kept as they are\n"));
    }
}

// Puts the resource back to its old length after a failure; the old list never
// points past it, so the archive is the old one either way.
void undoAppend(Host& host, Console& err, const Archive& archive) {
    if (!host.cutBack(archive.resourcePath, NameCase::ignoreWhenMissing, archive.resource.size)) {
        err.print(shownPath(host, archive.resourcePath) +
                  ": could not be cut back; the bytes added at its end are not used by the list\n");
    }
}

PackStatus failed(Host& host, Console& err, const Archive& archive, const std::string& what) {
    err.print(what + "; the archive is as it was\n");
    undoAppend(host, err, archive);
    return PackStatus::writeFailed;
}

PackStatus appendChanges(Host& host, Console& err, const Archive& archive, const UpdatePlan& plan) {
    std::int64_t size = 0;
    auto resource = host.openForAppending(archive.resourcePath, NameCase::ignoreWhenMissing, size);
    const std::string shown = shownPath(host, archive.resourcePath);
    if (!resource) {
        err.print(shown + ": cannot be opened for writing; the archive is as it was\n");
        return PackStatus::writeFailed;
    }
    if (size != archive.resource.size) {
        err.print(shown + ": changed while it was read; the archive is as it was\n");
        return PackStatus::writeFailed;
    }
    for (const Change& change : plan.changes) {
        if (!resource->write(change.bytes)) return failed(host, err, archive, shown + ": writing failed");
    }
    if (!resource->makeDurable() || !resource->close()) {
        return failed(host, err, archive, shown + ": the system did not confirm the bytes reached the disk");
    }
    return PackStatus::done;
}

PackStatus replaceList(Host& host, Console& err, const Archive& archive, const std::vector<std::byte>& list) {
    const std::string temporary = archive.listPath + ".quillpack-new";
    const std::string shown = shownPath(host, temporary);
    auto file = host.createForWriting(temporary);
    if (!file) return failed(host, err, archive, shown + ": cannot be created");
    if (!file->write(list) || !file->makeDurable() || !file->close()) {
        file.reset();
        (void)host.removeFile(temporary);
        return failed(host, err, archive, shown + ": writing failed");
    }
    switch (host.replaceFile(temporary, archive.listPath)) {
        case ReplaceResult::replaced: return PackStatus::done;
        case ReplaceResult::replacedNotDurable:
            err.print(shownPath(host, archive.listPath) +
                      ": updated, but the system did not confirm the change reached the disk\n");
            return PackStatus::done;
        case ReplaceResult::notReplaced: break;
    }
    (void)host.removeFile(temporary);
    return failed(host, err, archive, shownPath(host, archive.listPath) + ": cannot be replaced");
}

}  // namespace

PackStatus updateArchive(Host& host, Console& out, Console& err, const std::string& listPath, bool wav2dig,
                         bool dryRun) {
    // Two updates of one archive never interleave.
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus loaded = loadArchiveLocked(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }

    UpdatePlan plan;
    if (const PackStatus planned = planUpdate(host, err, archive, wav2dig, plan); planned != PackStatus::done) {
        return planned;
    }
    printPlan(host, out, archive, plan);
    if (plan.changes.empty()) {
        out.print("nothing changed: " + shownPath(host, archive.dataDirectory) + " matches the archive\n");
        return PackStatus::done;
    }
    const std::vector<std::byte> list = rewrittenList(archive, plan);
    if (!listHoldsPlan(archive, plan, list)) {
        err.print(shownPath(host, listPath) + ": its rewritten form does not read back as planned; nothing written\n");
        return PackStatus::archiveUnsafe;
    }
    if (dryRun) {
        out.print("would append " + std::to_string(plan.appendedBytes) + " bytes to " +
                  shownPath(host, archive.resourcePath) + " and rewrite " + shownPath(host, listPath) +
                  " (-n: nothing written)\n");
        return PackStatus::done;
    }
    if (const PackStatus appended = appendChanges(host, err, archive, plan); appended != PackStatus::done) {
        return appended;
    }
    if (const PackStatus replaced = replaceList(host, err, archive, list); replaced != PackStatus::done) {
        return replaced;
    }
    out.print("appended " + std::to_string(plan.appendedBytes) + " bytes to " +
              shownPath(host, archive.resourcePath) + "; " + shownPath(host, listPath) + " rewritten\n");
    return PackStatus::done;
}

}  // namespace quill::pack
