// An edit made whole: checked, committed, and data/ left as an unpack of the
// new archive leaves it. A file in data/ the commit makes stale would be taken
// for an edit by a later update, which would put the old bytes back: such
// files are set aside before the commit and written afresh after it.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "archive/output_path.h"
#include "pack/archive_edit.h"
#include "pack/data_refresh.h"
#include "pack/entry_file.h"
#include "pack/history_store.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

// What an unpack leaves at one path: a record's bytes, or its sound's .WAV.
std::vector<std::byte> contentOf(std::vector<std::byte> record, bool companion) {
    if (companion) return companionBytes(record);
    return record;
}

// What an unpack leaves at one path, with -dig2wav and without: a file
// holding either is no edit.
struct Writers {
    Replacement plain;
    Replacement withWav;
};

class Refresh {
public:
    Refresh(Host& host, Console& err, const Archive& archive, const ArchiveEdit& edit, const LaidOutEdit& laid,
            const UnpackPlan& after, const std::vector<TakenFile>& taken,
            const std::set<std::pair<std::int64_t, std::uint64_t>>& kept)
        : host_(host), err_(err), archive_(archive), laid_(laid), after_(after), taken_(taken), kept_(kept),
          plainBefore_(archive.plainPlan),
          plainAfter_(planUnpack(*laid.expected, after.resourceSize, host.nameRules(), false)), edit_(edit) {
        // Renamed records whose file (or .WAV) is in data/: their files move.
        for (const auto& [record, name] : edit.renamed) {
            const std::string& old = archive.table->entries[static_cast<std::size_t>(record)].name;
            std::string reason;
            for (const bool companion : {false, true}) {
                if (companion && !isSoundName(old)) continue;
                if (host.lookUp(outputPath(old, companion), reason) == PathState::file) moved_.insert({record, companion});
            }
        }
        // The bytes each record of the new list holds.
        std::map<int, const NewBytes*> replaced;
        for (const NewBytes& group : edit.replaced) {
            for (const int record : group.records) replaced[record] = &group;
        }
        std::size_t added = 0;
        for (const int from : laid.fromRecord) {
            if (from < 0) {
                newBytes_.push_back({edit.added[added++].bytes, -1, nullptr});
            } else if (const auto found = replaced.find(from); found != replaced.end()) {
                newBytes_.push_back({found->second->bytes, -1, found->second->file.get()});
                changedRecords_.insert(from);
            } else {
                newBytes_.push_back({{}, from, nullptr});  // read from the resource only if a file it writes changes
            }
        }
    }

    // The files to set aside and write afresh; false when one holds an edit
    // that is not in the archive (each is named).
    bool work(std::vector<RefreshTarget>& targets) {
        std::set<std::string> paths;
        for (const UnpackPlan* plan : std::initializer_list<const UnpackPlan*>{&archive_.plan, &after_, &plainBefore_, &plainAfter_}) {
            for (const auto& [path, writer] : plan->finalWriters) paths.insert(path);
        }
        bool usable = true;
        for (const std::string& canonical : paths) usable = examine(canonical, targets) && usable;
        return usable;
    }

private:
    // The same record (by the old list's numbering), unchanged, writing the same way.
    bool sameWrite(const Replacement& before, const Replacement& now) const {
        if (before.step < 0 || now.step < 0) return before.step < 0 && now.step < 0;
        const int from = laid_.fromRecord[static_cast<std::size_t>(now.step)];
        return from == before.step && now.byCompanion == before.byCompanion && changedRecords_.count(from) == 0;
    }

    void addContent(std::vector<std::vector<std::byte>>& contents, std::vector<std::byte> content) const {
        if (std::find(contents.begin(), contents.end(), content) == contents.end()) contents.push_back(std::move(content));
    }

    // The distinct contents both writers leave, each record's bytes had once from `bytesOf`.
    void collectContents(const Writers& writers, std::vector<std::vector<std::byte>>& contents,
                         const auto& bytesOf) const {
        const Replacement& first = writers.withWav;
        const Replacement& second = writers.plain;
        if (first.step >= 0 && first.step == second.step) {
            std::vector<std::byte> record = bytesOf(first.step);
            if (first.byCompanion || second.byCompanion) addContent(contents, companionBytes(record));
            if (!first.byCompanion || !second.byCompanion) addContent(contents, std::move(record));
            return;
        }
        for (const Replacement& writer : {first, second}) {
            if (writer.step >= 0) addContent(contents, contentOf(bytesOf(writer.step), writer.byCompanion));
        }
    }

    bool examine(const std::string& canonical, std::vector<RefreshTarget>& targets) {
        const Writers before{finalWriter(plainBefore_, canonical), finalWriter(archive_.plan, canonical)};
        const Writers now{finalWriter(plainAfter_, canonical), finalWriter(after_, canonical)};
        if (now.plain.step < 0 && now.withWav.step < 0) return vacate(before, targets);
        if (sameWrite(before.plain, now.plain) && sameWrite(before.withWav, now.withWav)) return true;
        if (takenAsIs(now)) return true;
        // Each record read once: the two writers are mostly one record (its file, or its file and its .WAV).
        std::vector<std::vector<std::byte>> oldContents;
        collectContents(before, oldContents, [&](int step) { return readRecord(archive_, step); });
        std::vector<std::vector<std::byte>> newContents;
        collectContents(now, newContents, [&](int step) {
            const NewSource& source = newBytes_[static_cast<std::size_t>(step)];
            if (source.oldRecord >= 0) return readRecord(archive_, source.oldRecord);
            return source.file != nullptr ? fileBytes(*source.file) : std::vector(source.bytes.begin(), source.bytes.end());
        });
        if (!changedFile_.empty()) {
            const std::string changed = std::exchange(changedFile_, {});
            return refuse(changed, "changed since the update read it; run the update again");
        }
        // Both hold distinct contents: equal sets when each of one is in the other.
        const auto holds = [](const auto& contents, const std::vector<std::byte>& content) {
            return std::find(contents.begin(), contents.end(), content) != contents.end();
        };
        if (oldContents.size() == newContents.size() &&
            std::all_of(oldContents.begin(), oldContents.end(), [&](const auto& content) { return holds(newContents, content); })) {
            return true;
        }
        // Written afresh as an unpack with -dig2wav leaves it, which the plain unpack's content also passes.
        const Replacement& primary = now.withWav.step >= 0 ? now.withWav : now.plain;
        const std::string& name = laid_.expected->entries[static_cast<std::size_t>(primary.step)].name;
        const std::string path = entryOutputPath(archive_.paths.dataDirectory,
                                                 host_.importListName(primary.byCompanion ? wavNameFor(name) : name));
        FileTime time;
        const bool timed = host_.readModificationTime(path, NameCase::exact, time);
        std::vector<std::span<const std::byte>> expected(newContents.begin(), newContents.end());
        std::vector<std::byte> bytes;
        std::string problem;
        switch (examineEntryFile(host_, path, expected, buffer_, bytes, problem)) {
            case EntryFileState::missing:
                // A renamed record's file moves with it: written at its new name.
                if (moved_.count({laid_.fromRecord[static_cast<std::size_t>(primary.step)], primary.byCompanion}) != 0) {
                    targets.push_back({path, {}, newContents.front(), false, false, true});
                }
                return true;
            case EntryFileState::same: return true;
            case EntryFileState::unusable: return refuse(path, problem);
            case EntryFileState::differs: break;
        }
        std::vector<std::byte> content = newContents.front();
        for (const TakenFile& file : taken_) {
            if (sameOutputPath(file.path, path, host_.nameRules())) {
                targets.push_back({path, file.seen, std::move(content), true});
                return true;
            }
        }
        if (!timed) return refuse(path, withReason("cannot be read", host_.lastFailure()));
        if (std::find(oldContents.begin(), oldContents.end(), bytes) != oldContents.end() ||
            kept_.count({static_cast<std::int64_t>(bytes.size()), checksum(bytes)}) != 0) {
            targets.push_back({path, time, std::move(content), false});
            return true;
        }
        return refuse(path, "holds bytes the archive does not, which an update would take for an edit; put it in "
                            "with quillpack update first, or move it away");
    }

    // The file the change was taken from, holding the new bytes of the record
    // an unpack leaves here and unchanged since it was read: nothing to do,
    // and no need to read it (or the old record) again.
    bool takenAsIs(const Writers& now) const {
        if (now.plain.step < 0 || now.plain.byCompanion) return false;
        const NewSource& source = newBytes_[static_cast<std::size_t>(now.plain.step)];
        if (source.oldRecord >= 0) return false;
        const std::string path = outputPath(laid_.expected->entries[static_cast<std::size_t>(now.plain.step)].name, false);
        for (const TakenFile& file : taken_) {
            if ((file.bytes.empty() && file.file == nullptr) || !sameOutputPath(file.path, path, host_.nameRules())) {
                continue;
            }
            FileTime time;
            // Mostly the very bytes (or file) the change holds; compared whole otherwise.
            const bool same = source.file != nullptr
                                  ? file.file == source.file
                                  : file.bytes.size() == source.bytes.size() &&
                                        (file.bytes.data() == source.bytes.data() ||
                                         std::memcmp(file.bytes.data(), source.bytes.data(), file.bytes.size()) == 0);
            return same &&
                   host_.readModificationTime(file.path, NameCase::exact, time) && time == file.seen;
        }
        return false;
    }

    // Bytes left in their file, read when a path other than that file needs
    // them (a sound's .WAV): they must be the bytes compared, which the commit
    // appends, or data/ would be refreshed from others. A file that differs
    // now is noted, and the change stops before anything is written.
    std::vector<std::byte> fileBytes(const FileBytes& file) {
        WholeFile whole;
        if (loadWholeFile(host_, file.path, NameCase::exact, INT32_MAX, whole) == LoadStatus::loaded) {
            const auto bytes = whole.bytes();
            if (static_cast<std::int64_t>(bytes.size()) == file.size && checksum(bytes) == file.sum) {
                return std::vector<std::byte>(bytes.begin(), bytes.end());
            }
        }
        changedFile_ = file.path;
        return {};
    }

    std::string outputPath(const std::string& name, bool companion) const {
        return entryOutputPath(archive_.paths.dataDirectory, host_.importListName(companion ? wavNameFor(name) : name));
    }

    // A path no record writes any more. A removed record's file is the
    // user's; a renamed record's file, holding the archive's bytes, goes with
    // it to its new name, and one holding an edit stops the change.
    bool vacate(const Writers& before, std::vector<RefreshTarget>& targets) {
        const Replacement* renamed = nullptr;
        for (const Replacement* writer : {&before.withWav, &before.plain}) {
            if (writer->step >= 0 && edit_.renamed.count(writer->step) != 0) renamed = writer;
        }
        if (renamed == nullptr) return true;
        const std::string path = outputPath(archive_.table->entries[static_cast<std::size_t>(renamed->step)].name,
                                            renamed->byCompanion);
        std::vector<std::vector<std::byte>> oldContents;
        for (const Replacement& writer : {before.withWav, before.plain}) {
            if (writer.step >= 0) addContent(oldContents, contentOf(readRecord(archive_, writer.step), writer.byCompanion));
        }
        const std::vector<std::span<const std::byte>> expected(oldContents.begin(), oldContents.end());
        FileTime time;
        const bool timed = host_.readModificationTime(path, NameCase::exact, time);
        std::vector<std::byte> bytes;
        std::string problem;
        switch (examineEntryFile(host_, path, expected, buffer_, bytes, problem)) {
            case EntryFileState::missing: return true;
            case EntryFileState::unusable: return refuse(path, problem);
            case EntryFileState::differs:
                return refuse(path, "an edit not put back yet; renamed, the record would leave it behind: put it in "
                                    "with quillpack update first, or move it away");
            case EntryFileState::same: break;
        }
        if (!timed) return refuse(path, withReason("cannot be read", host_.lastFailure()));
        targets.push_back({path, time, {}, false, true, false});
        return true;
    }

    bool refuse(const std::string& path, const std::string& problem) {
        err_.print(shownPath(host_, path) + ": " + problem + "\n");
        return false;
    }

    Host& host_;
    Console& err_;
    const Archive& archive_;
    const LaidOutEdit& laid_;
    const UnpackPlan& after_;
    const std::vector<TakenFile>& taken_;
    const std::set<std::pair<std::int64_t, std::uint64_t>>& kept_;
    const UnpackPlan& plainBefore_;
    UnpackPlan plainAfter_;
    const ArchiveEdit& edit_;
    // Renamed records (old numbering) whose file, or whose .WAV (true), is in data/.
    std::set<std::pair<int, bool>> moved_;
    // The bytes of each record of the new list: new ones as given, the rest a record of the old list.
    struct NewSource {
        std::span<const std::byte> bytes;
        int oldRecord = -1;
        const FileBytes* file = nullptr;  // the bytes left in a file, read only when needed
    };
    std::vector<NewSource> newBytes_;
    std::set<int> changedRecords_;
    std::string changedFile_;  // a file whose bytes were left in it, found changed since they were compared
    std::vector<std::byte> buffer_ = std::vector<std::byte>(1 << 16);
};

// The unpacker makes no directory but the data directory: one that a new or
// renamed record needs is made in data/ (before its file is written there),
// and the user told that an unpack elsewhere needs it too.
void makeNeededDirectories(Host& host, Console& out, const Archive& archive, const ArchiveEdit& edit) {
    std::vector<std::string> names;
    for (const NewRecord& record : edit.added) names.push_back(record.name);
    for (const auto& [record, name] : edit.renamed) names.push_back(name);
    std::set<std::string> made;
    for (const std::string& listed : names) {
        const std::string name = host.importListName(listed);
        for (std::size_t at = name.find_first_of("\\/"); at != std::string::npos; at = name.find_first_of("\\/", at + 1)) {
            if (at == 0 || name[at - 1] == '\\' || name[at - 1] == '/') continue;
            const std::string directory = archive.paths.dataDirectory + name.substr(0, at);
            std::string reason;
            if (made.count(directory) != 0 || host.lookUp(directory, reason) != PathState::missing) continue;
            host.makeDirectory(directory);
            if (host.lookUp(directory, reason) != PathState::notAFile) continue;
            made.insert(directory);
            out.print("made " + shownPath(host, directory) + ": an unpack needs it, and the unpacker makes no "
                      "directory but the data directory; wherever this archive is unpacked, make it there first\n");
        }
    }
}

}  // namespace

PackStatus applyEdit(Host& host, Console& out, Console& err, Archive& archive, const ArchiveEdit& edit,
                     const std::vector<TakenFile>& taken) {
    const std::vector<std::string> problems = editProblems(archive, host.nameRules(), edit);
    for (const std::string& problem : problems) err.print(problem + "\n");
    if (!problems.empty()) {
        err.print("nothing written\n");
        return PackStatus::inputUnusable;
    }
    const LaidOutEdit laid = layOutEdit(archive, edit);
    HistoryNote note;
    note.command = edit.command;
    note.summary = editSummary(archive, edit);
    return applyLaidOut(host, out, err, archive, edit, laid, taken, note);
}

PackStatus applyLaidOut(Host& host, Console& out, Console& err, Archive& archive, const ArchiveEdit& edit,
                        const LaidOutEdit& laid, const std::vector<TakenFile>& taken, const HistoryNote& note) {
    const UnpackPlan after =
        planUnpack(*laid.expected, archive.resource.size + laid.appendedBytes, host.nameRules(), true);
    if (!after.completes()) {
        err.print("an unpack of the changed archive would stop at record " + std::to_string(after.stopsAt + 1) +
                  " with status " + std::to_string(after.stopStatus) + "; nothing written\n");
        return PackStatus::inputUnusable;
    }
    std::vector<RefreshTarget> targets;
    if (!Refresh(host, err, archive, edit, laid, after, taken, note.keptContents).work(targets)) {
        err.print("nothing written\n");
        return PackStatus::inputUnusable;
    }
    if (host.interrupted()) {
        err.print("interrupted; nothing written\n");
        return PackStatus::interrupted;
    }
    // What was read of the resource is what the change and the refresh of data/ stand on.
    if (const PackStatus read = checkResourceRead(host, err, archive); read != PackStatus::done) {
        err.print("nothing written\n");
        return read;
    }
    // A history that cannot be read stops the change before anything is written.
    if (History history; loadHistory(host, err, archive, history) != PackStatus::done) return PackStatus::listUnreadable;
    if (note.dryRun) return PackStatus::done;
    if (const PackStatus status = setAside(host, err, targets); status != PackStatus::done) return status;
    CommitReport report;
    if (const PackStatus status = commitEdit(host, err, archive, laid, note, report); status != PackStatus::done) {
        putBack(host, err, targets);
        return status;
    }
    out.print((laid.appendedBytes > 0 ? "appended " + counted(laid.appendedBytes, "byte", "bytes") + " to " +
                                            shownPath(host, archive.resourceFile) + "; "
                                      : std::string()) +
              shownPath(host, archive.paths.list) + " rewritten (version " + std::to_string(report.version) + ")\n");
    if (report.dropped > 0) {
        out.print("dropped " + counted(report.dropped, "version", "versions") + " that undo had left ahead of this " +
                  "one: redo no longer reaches " + (report.dropped == 1 ? "it" : "them") + "\n");
    }
    makeNeededDirectories(host, out, archive, edit);
    const std::vector<std::string> stale = refreshFiles(host, err, targets);
    for (const std::string& problem : stale) err.print(problem + "\n");
    if (!stale.empty()) {
        err.print("the archive is changed, but " + shownPath(host, archive.paths.dataDirectory) +
                  " is not what an unpack of it leaves; unpack again, or put those files right by hand\n");
        return PackStatus::dataNotRefreshed;
    }
    return PackStatus::done;
}

}  // namespace quill::pack
