// An edit made whole: checked, committed, and data/ left as an unpack of the
// new archive leaves it. A file in data/ the commit makes stale would be taken
// for an edit by a later update, which would put the old bytes back: such
// files are set aside before the commit and written afresh after it.
#include <set>

#include "archive/output_path.h"
#include "pack/archive_edit.h"
#include "pack/data_refresh.h"
#include "pack/entry_file.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

// What an unpack leaves at one path: a record's bytes, or its sound's .WAV.
std::vector<std::byte> contentOf(std::span<const std::byte> record, bool companion) {
    if (companion) return companionBytes(record);
    return {record.begin(), record.end()};
}

class Refresh {
public:
    Refresh(Host& host, Console& err, const Archive& archive, const ArchiveEdit& edit, const LaidOutEdit& laid,
            const UnpackPlan& after, const std::vector<TakenFile>& taken)
        : host_(host), err_(err), archive_(archive), laid_(laid), after_(after), taken_(taken) {
        // The bytes each record of the new list holds.
        std::map<int, std::span<const std::byte>> replaced;
        for (const NewBytes& group : edit.replaced) {
            for (const int record : group.records) replaced[record] = group.bytes;
        }
        std::size_t added = 0;
        for (const int from : laid.fromRecord) {
            if (from < 0) {
                newBytes_.emplace_back(edit.added[added++].bytes);
            } else if (const auto found = replaced.find(from); found != replaced.end()) {
                newBytes_.push_back(found->second);
                changedRecords_.insert(from);
            } else {
                newBytes_.push_back(recordBytes(archive, from));
            }
        }
    }

    // The files to set aside and write afresh; false when one holds an edit
    // that is not in the archive (each is named).
    bool work(std::vector<RefreshTarget>& targets) {
        std::set<std::string> paths;
        for (const auto& [path, writer] : archive_.plan.finalWriters) paths.insert(path);
        for (const auto& [path, writer] : after_.finalWriters) paths.insert(path);
        bool usable = true;
        for (const std::string& canonical : paths) usable = examine(canonical, targets) && usable;
        return usable;
    }

private:
    bool examine(const std::string& canonical, std::vector<RefreshTarget>& targets) {
        const Replacement now = finalWriter(after_, canonical);
        if (now.step < 0) return true;  // nothing writes there any more: the file is the user's
        const Replacement before = finalWriter(archive_.plan, canonical);
        const int from = laid_.fromRecord[static_cast<std::size_t>(now.step)];
        if (before.step >= 0 && from == before.step && now.byCompanion == before.byCompanion &&
            changedRecords_.count(from) == 0) {
            return true;  // the same bytes as before
        }
        const std::vector<std::byte> newContent =
            contentOf(newBytes_[static_cast<std::size_t>(now.step)], now.byCompanion);
        std::vector<std::byte> oldContent;
        if (before.step >= 0) {
            oldContent = contentOf(recordBytes(archive_, before.step), before.byCompanion);
            if (oldContent == newContent) return true;
        }
        const std::string& name = laid_.expected->entries[static_cast<std::size_t>(now.step)].name;
        const std::string path = entryOutputPath(archive_.paths.dataDirectory,
                                                 host_.importListName(now.byCompanion ? wavNameFor(name) : name));
        FileTime time;
        const bool timed = host_.readModificationTime(path, NameCase::exact, time);
        const std::span<const std::byte> expected[] = {newContent};
        std::vector<std::byte> bytes;
        std::string problem;
        switch (examineEntryFile(host_, path, expected, buffer_, bytes, problem)) {
            case EntryFileState::missing:
            case EntryFileState::same: return true;
            case EntryFileState::unusable: return refuse(path, problem);
            case EntryFileState::differs: break;
        }
        for (const TakenFile& file : taken_) {
            if (sameOutputPath(file.path, path, host_.nameRules())) {
                targets.push_back({path, file.seen, newContent, true});
                return true;
            }
        }
        if (!timed) return refuse(path, withReason("cannot be read", host_.lastFailure()));
        if (before.step >= 0 && bytes == oldContent) {
            targets.push_back({path, time, newContent, false});
            return true;
        }
        return refuse(path, "holds bytes the archive does not, which an update would take for an edit; put it in "
                            "with quillpack update first, or move it away");
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
    std::vector<std::span<const std::byte>> newBytes_;
    std::set<int> changedRecords_;
    std::vector<std::byte> buffer_ = std::vector<std::byte>(1 << 16);
};

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
    const UnpackPlan after =
        planUnpack(*laid.expected, archive.resource.size + laid.appendedBytes, host.nameRules(), true);
    if (!after.completes()) {
        err.print("an unpack of the changed archive would stop at record " + std::to_string(after.stopsAt + 1) +
                  " with status " + std::to_string(after.stopStatus) + "; nothing written\n");
        return PackStatus::inputUnusable;
    }
    std::vector<RefreshTarget> targets;
    if (!Refresh(host, err, archive, edit, laid, after, taken).work(targets)) {
        err.print("nothing written\n");
        return PackStatus::inputUnusable;
    }
    if (const PackStatus status = setAside(host, err, targets); status != PackStatus::done) return status;
    if (const PackStatus status = commitEdit(host, err, archive, laid); status != PackStatus::done) {
        putBack(host, err, targets);
        return status;
    }
    out.print((laid.appendedBytes > 0 ? "appended " + counted(laid.appendedBytes, "byte", "bytes") + " to " +
                                            shownPath(host, archive.resourceFile) + "; "
                                      : std::string()) +
              shownPath(host, archive.paths.list) + " rewritten\n");
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
