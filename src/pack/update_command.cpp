// quillpack update: the edited files go into the archive through the one
// commit every change takes; then the data directory is made what an unpack
// of the new archive leaves, so that running the command again finds nothing
// to do.
#include "pack/archive_edit.h"
#include "pack/data_refresh.h"
#include "pack/history_store.h"
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
                  counted(change.size(), "byte", "bytes") + ", from " +
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
    // Checksums taken while comparing spare the commit a second reading of the
    // resource, unless the history knows it as it is.
    plan.keepChecksums = !options.dryRun && !historyKnowsResource(host, archive);
    const PackStatus planned = planUpdate(host, err, archive, options.wav2dig, plan);
    // A range read as zeros would make files look edited, or unchanged: nothing is said from them.
    if (const PackStatus read = checkResourceRead(host, err, archive); read != PackStatus::done) return read;
    if (planned != PackStatus::done) return planned;
    printPlan(host, out, archive, plan, options.verbose);
    for (const std::string& note : leftBehind(host, plan.absent)) out.print(note + "\n");
    if (plan.changes.empty()) {
        out.print(plan.missing.empty() ? "nothing changed: " + shownPath(host, archive.paths.dataDirectory) +
                                             " matches the archive\n"
                                       : "nothing changed: the files there match the archive\n");
        return PackStatus::done;
    }
    const std::string appended = counted(plan.appendedBytes, "byte", "bytes");
    if (options.dryRun) {
        out.print("would append " + appended + " to " + shownPath(host, archive.resourceFile) + ", rewrite " +
                  shownPath(host, listPath) + " and refresh " + shownPath(host, archive.paths.dataDirectory) +
                  " (-n: nothing written)\n");
        return PackStatus::done;
    }
    // The files taken are the user's edits, as they were when read.
    ArchiveEdit edit;
    edit.command = "update";
    edit.rangesRead = std::move(plan.rangesRead);
    for (Change& change : plan.changes) edit.replaced.push_back({change.records, std::move(change.bytes), change.file});
    std::vector<TakenFile> taken;
    for (std::size_t i = 0; i < plan.changes.size(); ++i) {
        const Change& change = plan.changes[i];
        if (const auto seen = plan.seen.find(change.sourceFile); seen != plan.seen.end()) {
            taken.push_back({seen->second.first, seen->second.second, {}, change.file.get()});
            if (!change.fromWav) taken.back().bytes = edit.replaced[i].bytes;
        }
    }
    return applyEdit(host, out, err, archive, edit, taken);
}

}  // namespace quill::pack
