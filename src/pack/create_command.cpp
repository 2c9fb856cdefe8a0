// quillpack create: a new archive from a directory's files. The resource is
// written first and made durable, then the list under a temporary name,
// renamed into place last: until that rename there is no archive, and
// whatever fails before it takes both files away again.
#include <algorithm>
#include <set>

#include "archive/archive_paths.h"
#include "archive/list_rewrite.h"
#include "archive/unpack_plan.h"
#include "pack/archive.h"
#include "pack/create.h"
#include "pack/history_store.h"
#include "pack/progress.h"
#include "pack/staged_file.h"

namespace quill::pack {
namespace {

// Written in pieces of this size at most, so an interrupt is seen soon.
constexpr std::size_t kWriteStep = 1 << 20;

std::string withoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path;
}

// Status 1 when the list, its resource (as an unpack finds it: past letter
// case on Linux) or its history is there already, or the list would be its
// own resource; status 5 when that cannot be told.
PackStatus refuseExisting(Host& host, Console& err, const ArchivePaths& paths) {
    if (paths.listIsResource()) {
        err.print(shownPath(host, paths.list) + ": has no extension, so it would be its own resource; name it .RD\n");
        return PackStatus::badCommandLine;
    }
    for (const std::string& path : {paths.list, paths.resource, host.foundPath(paths.resource, NameCase::ignoreWhenMissing)}) {
        std::string reason;
        switch (host.lookUp(path, reason)) {
            case PathState::missing: continue;
            case PathState::unknown: err.print(shownPath(host, path) + ": " + reason + "\n"); return PackStatus::writeFailed;
            default:
                err.print(shownPath(host, path) + ": already there; create makes a new archive and replaces nothing "
                                                  "(quillpack add puts files into an archive)\n");
                return PackStatus::badCommandLine;
        }
    }
    // A history left from an archive that stood here would take the new
    // archive for a later version of that one.
    Archive none;
    none.paths = paths;
    const std::string history = historyPath(host, none);
    if (std::string reason; host.lookUp(history, reason) != PathState::missing) {
        err.print(shownPath(host, history) + ": already there, the history of an archive that stood here; remove it "
                                             "to start anew\n");
        return PackStatus::badCommandLine;
    }
    return PackStatus::done;
}

// The directory the list goes in, then each one above it; "." for a list
// named without one.
std::vector<std::string> directoriesHolding(const std::string& list) {
    std::vector<std::string> found;
    std::string path = list;
    for (std::size_t at = path.find_last_of('\\'); at != std::string::npos && at > 0; at = path.find_last_of('\\')) {
        path.resize(at);
        found.push_back(path);
    }
    if (list.empty() || list.front() != '\\') found.push_back(".");
    return found;
}

// The list inside the directory it is made from would be a file of that
// directory no record writes.
bool listInside(Host& host, const std::string& list, const std::string& directory) {
    const auto holding = directoriesHolding(list);
    return std::any_of(holding.begin(), holding.end(),
                       [&](const std::string& path) { return host.sameFile(path, directory, NameCase::exact); });
}

std::string recordLine(Host& host, int number, const NewRecord& record, const RecordSource& source) {
    return "record " + std::to_string(number) + " " + shownName(record.name) + ": " +
           counted(static_cast<std::int64_t>(record.bytes.size()), "byte", "bytes") + ", from " +
           shownPath(host, source.path) + (source.converted ? " (its samples scrambled)" : "") +
           (source.companion ? " (its .WAV beside it agrees)" : "") + "\n";
}

std::string listText(const std::vector<NewRecord>& records, EntryTable& expected) {
    std::string text;
    std::int64_t offset = 0;
    expected.count = 0;
    for (const NewRecord& record : records) {
        const auto length = static_cast<std::int64_t>(record.bytes.size());
        text += listLine(length, offset, record.name);
        ListEntry& entry = expected.entries[static_cast<std::size_t>(expected.count++)];
        entry.name = record.name;
        entry.offset = static_cast<std::int32_t>(offset);
        entry.length = static_cast<std::int32_t>(length);
        offset += length;
    }
    return text;
}

bool readsAs(Host& host, const std::string& path, const EntryTable& expected) {
    auto file = host.openForReading(path, NameCase::exact);
    if (!file) return false;
    const auto table = std::make_unique<EntryTable>();
    readListRecords(*file, *table);
    if (file->failed() || table->count != expected.count) return false;
    for (std::size_t i = 0; i < static_cast<std::size_t>(expected.count); ++i) {
        const ListEntry& a = table->entries[i];
        const ListEntry& b = expected.entries[i];
        if (a.name != b.name || a.offset != b.offset || a.length != b.length) return false;
    }
    return true;
}

// The new resource, made empty to hold the lock, and everything written
// after it: removed again unless kept, while the lock still guards it.
class NewPair {
public:
    NewPair(Host& host, Console& err, const ArchivePaths& paths) : host_(host), err_(err), paths_(paths) {}
    ~NewPair() {
        list_.reset();  // the temporary list goes first: without the resource it is nothing
        if (made_ && !kept_ && !host_.removeFile(paths_.resource)) {
            err_.print(withReason(shownPath(host_, paths_.resource) + ": could not be removed", host_.lastFailure()) +
                       "; it belongs to no list: remove it\n");
        }
    }
    NewPair(const NewPair&) = delete;
    NewPair& operator=(const NewPair&) = delete;

    PackStatus lock() {
        lock_ = host_.lockCreating(paths_.resource, made_);
        if (lock_ && made_) return PackStatus::done;
        if (lock_) {
            err_.print(shownPath(host_, paths_.resource) + ": made by another program meanwhile; nothing written\n");
            return PackStatus::badCommandLine;
        }
        err_.print(withReason(shownPath(host_, paths_.resource) + ": cannot be made", host_.lastFailure()) +
                   "; nothing written\n");
        return PackStatus::writeFailed;
    }

    PackStatus writeResource(const std::vector<NewRecord>& records) {
        std::int64_t size = 0;
        auto file = host_.openForAppending(paths_.resource, NameCase::exact, size);
        const std::string shown = shownPath(host_, paths_.resource);
        if (!file || size != 0) return failed(withReason(shown + ": cannot be written", host_.lastFailure()));
        std::int64_t total = 0;
        for (const NewRecord& record : records) total += static_cast<std::int64_t>(record.bytes.size());
        Progress progress(host_, "writing " + shown, total, static_cast<std::int64_t>(records.size()));
        for (const NewRecord& record : records) {
            for (std::span<const std::byte> piece = record.bytes; !piece.empty();) {
                if (host_.interrupted()) return stopped();
                const auto step = piece.first(std::min(piece.size(), kWriteStep));
                if (!file->write(step)) return failed(withReason(shown + ": writing failed", host_.lastFailure()));
                piece = piece.subspan(step.size());
                progress.advance(static_cast<std::int64_t>(step.size()), piece.empty() ? 1 : 0);
            }
        }
        if (!file->makeDurable() || !file->close()) {
            return failed(withReason(shown + ": the system did not confirm the bytes reached the disk",
                                     host_.lastFailure()));
        }
        return PackStatus::done;
    }

    PackStatus writeList(const std::string& text, const EntryTable& expected) {
        list_ = std::make_unique<StagedFile>(host_, err_, paths_.list, "create");
        std::string problem;
        if (!list_->create(problem) || !list_->write(std::as_bytes(std::span(text)), problem) ||
            !list_->finish(problem)) {
            return failed(problem);
        }
        if (!readsAs(host_, list_->temporary(), expected)) {
            return failed(shownPath(host_, list_->temporary()) + ": does not read back as planned");
        }
        // The last moment the command can still be called off.
        if (host_.interrupted()) return stopped();
        switch (list_->publish(problem)) {
            case ReplaceResult::replaced: break;
            case ReplaceResult::replacedNotDurable: err_.print(problem + "\n"); break;
            case ReplaceResult::notReplaced: return failed(problem);
        }
        kept_ = true;
        return PackStatus::done;
    }

private:
    PackStatus failed(const std::string& problem) {
        err_.print(problem + "; nothing written\n");
        return PackStatus::writeFailed;
    }
    PackStatus stopped() {
        err_.print("interrupted; nothing written\n");
        return PackStatus::interrupted;
    }

    Host& host_;
    Console& err_;
    const ArchivePaths& paths_;
    std::unique_ptr<FileLock> lock_;
    std::unique_ptr<StagedFile> list_;
    bool made_ = false;
    bool kept_ = false;
};

// The unpacker makes no directory but the data directory: one the records
// need is made in the new archive's data directory, as add makes it.
void makeNeededDirectories(Host& host, Console& out, const ArchivePaths& paths, const std::vector<NewRecord>& records) {
    std::set<std::string> seen;
    for (const NewRecord& record : records) {
        const std::string name = host.importListName(record.name);
        for (std::size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1)) {
            const std::string directory = paths.dataDirectory + name.substr(0, at);
            std::string reason;
            if (!seen.insert(directory).second || host.lookUp(directory, reason) != PathState::missing) continue;
            // The data directory itself first, when nothing was ever unpacked here.
            if (seen.insert(paths.dataDirectory).second) host.makeDirectory(withoutTrailingSeparators(paths.dataDirectory));
            host.makeDirectory(directory);
            if (host.lookUp(directory, reason) != PathState::notAFile) continue;
            out.print("made " + shownPath(host, directory) + ": an unpack needs it, and the unpacker makes no "
                      "directory but the data directory; wherever this archive is unpacked, make it there first\n");
        }
    }
}

}  // namespace

PackStatus createArchive(Host& host, Console& out, Console& err, const std::string& listPath,
                         const CreateOptions& options) {
    const ArchivePaths paths = archivePaths(listPath);
    if (const PackStatus refused = refuseExisting(host, err, paths); refused != PackStatus::done) return refused;
    const std::string directory =
        withoutTrailingSeparators(options.directory.empty() ? paths.dataDirectory : options.directory);
    std::vector<std::string> names;
    std::string reason;
    if (host.lookUp(directory, reason) == PathState::file || !host.listDirectory(directory, names)) {
        err.print(withReason(shownPath(host, directory) + ": not a directory that can be read", host.lastFailure()) +
                  "\n");
        return PackStatus::inputUnusable;
    }
    if (listInside(host, paths.list, directory)) {
        err.print(shownPath(host, paths.list) + ": inside " + shownPath(host, directory) +
                  ", which would then hold files no record writes; make the archive outside it\n");
        return PackStatus::badCommandLine;
    }

    GatheredFiles gathered;
    if (gatherFiles(host, directory, options.wav2dig, gathered) == GatherResult::interrupted) {
        err.print("interrupted; nothing written\n");
        return PackStatus::interrupted;
    }
    if (gathered.problems.empty() && gathered.edit.added.empty()) {
        gathered.problems.push_back(shownPath(host, directory) + ": holds no file; an archive needs a record");
    }
    for (const std::string& problem : gathered.problems) err.print(problem + "\n");
    if (!gathered.problems.empty()) {
        err.print("nothing written (" +
                  counted(static_cast<std::int64_t>(gathered.problems.size()), "problem", "problems") + ")\n");
        return PackStatus::inputUnusable;
    }
    const auto& records = gathered.edit.added;
    const auto expected = std::make_unique<EntryTable>();
    const std::string text = listText(records, *expected);
    std::int64_t total = 0;
    for (const NewRecord& record : records) total += static_cast<std::int64_t>(record.bytes.size());
    // The unpacker's own plan of the new pair, as a last check of everything above.
    const UnpackPlan plan = planUnpack(*expected, total, host.nameRules(), true);
    if (!plan.completes()) {
        err.print("an unpack of the new archive would stop at record " + std::to_string(plan.stopsAt + 1) +
                  " with status " + std::to_string(plan.stopStatus) + "; nothing written\n");
        return PackStatus::inputUnusable;
    }

    for (const std::string& empty : gathered.emptyDirectories) {
        err.print(shownPath(host, empty) + ": holds no file, so no record makes it; an unpack leaves it out\n");
    }
    std::string lines;
    for (std::size_t i = 0; i < records.size(); ++i) {
        lines += recordLine(host, static_cast<int>(i) + 1, records[i], gathered.sources[i]);
    }
    const std::string summary = shownPath(host, paths.list) + " (" +
                                counted(static_cast<std::int64_t>(records.size()), "record", "records") + ") and " +
                                shownPath(host, paths.resource) + " (" + counted(total, "byte", "bytes") + ")";
    const std::string wavNote =
        gathered.loneWavs == 0
            ? std::string()
            : counted(gathered.loneWavs, ".WAV file", ".WAV files") + " with no .DIG beside " +
                  (gathered.loneWavs == 1 ? "it" : "them") + " taken as " + (gathered.loneWavs == 1 ? "it is" : "they are") +
                  " (-wav2dig makes sounds of them)\n";
    if (options.dryRun) {
        out.print(lines + wavNote + "would write " + summary + "; nothing written (-n)\n");
        return PackStatus::done;
    }

    NewPair pair(host, err, paths);
    if (const PackStatus status = pair.lock(); status != PackStatus::done) return status;
    if (const PackStatus status = pair.writeResource(records); status != PackStatus::done) return status;
    if (const PackStatus status = pair.writeList(text, *expected); status != PackStatus::done) return status;
    out.print(lines + wavNote + "wrote " + summary + "\n");
    makeNeededDirectories(host, out, paths, records);
    return PackStatus::done;
}

}  // namespace quill::pack
