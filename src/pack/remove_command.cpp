// quillpack remove and rename: records dropped from the list or given another
// name, through the same commit as every change. A removed record's bytes
// stay in the resource until compact; its file in data/ is the user's.
#include "archive/output_path.h"
#include "pack/archive_edit.h"
#include "pack/entry_file.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

// The records a name given on the command line means: those listed under it
// exactly, or else those an unpack on Windows writes to the same file.
std::vector<int> recordsNamed(const Host& host, const Archive& archive, const std::string& typed) {
    std::string name;
    if (!host.exportListName(typed, name)) return {};
    std::vector<int> exact;
    std::vector<int> alike;
    for (int record = 0; record < archive.table->count; ++record) {
        const std::string& listed = archive.table->entries[static_cast<std::size_t>(record)].name;
        if (listed == name) exact.push_back(record);
        if (sameEntryPath(listed, name, NameRules::windows)) alike.push_back(record);
    }
    return exact.empty() ? alike : exact;
}

std::string recordText(const Archive& archive, int record) {
    return "record " + std::to_string(record + 1) + " " +
           shownName(archive.table->entries[static_cast<std::size_t>(record)].name);
}

// A record's file (and its sound's .WAV) that holds something no unpack of
// the archive leaves there is an edit not put back: renaming the record
// would leave it behind for good. Named; false when there is one.
bool noEditLeftBehind(Host& host, Console& err, const Archive& archive, int record) {
    const UnpackPlan& plainPlan = archive.plainPlan;
    const UnpackStep& step = archive.plan.steps[static_cast<std::size_t>(record)];
    const std::string& name = archive.table->entries[static_cast<std::size_t>(record)].name;
    std::vector<std::byte> buffer(1 << 16);
    bool clean = true;
    for (const bool companion : {false, true}) {
        if (companion && step.companion.empty()) continue;
        const std::string& canonical = companion ? step.companion : step.file;
        std::vector<std::vector<std::byte>> contents;
        for (const Replacement writer : {finalWriter(archive.plan, canonical), finalWriter(plainPlan, canonical)}) {
            if (writer.step < 0) continue;
            std::vector<std::byte> bytes = readRecord(archive, writer.step);
            contents.push_back(writer.byCompanion ? companionBytes(bytes) : std::move(bytes));
        }
        const std::vector<std::span<const std::byte>> expected(contents.begin(), contents.end());
        const std::string path = entryOutputPath(archive.paths.dataDirectory,
                                                 host.importListName(companion ? wavNameFor(name) : name));
        std::vector<std::byte> bytes;
        std::string problem;
        switch (examineEntryFile(host, path, expected, buffer, bytes, problem)) {
            case EntryFileState::missing:
            case EntryFileState::same: continue;
            case EntryFileState::unusable: err.print(shownPath(host, path) + ": " + problem + "\n"); break;
            case EntryFileState::differs:
                err.print(shownPath(host, path) + ": an edit not put back yet; renamed, the record would leave it "
                                                  "behind: put it in with quillpack update first, or move it away\n");
                break;
        }
        clean = false;
    }
    return clean;
}

}  // namespace

PackStatus removeRecords(Host& host, Console& out, Console& err, const std::string& listPath,
                         const std::vector<std::string>& names) {
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus loaded = loadArchiveForChange(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }
    ArchiveEdit edit;
    edit.command = "remove";
    bool found = true;
    for (const std::string& name : names) {
        const std::vector<int> records = recordsNamed(host, archive, name);
        if (records.empty()) {
            err.print(shownName(name) + ": not in " + shownPath(host, listPath) + "\n");
            found = false;
        }
        edit.removed.insert(records.begin(), records.end());
    }
    if (!found) {
        err.print("nothing written\n");
        return PackStatus::inputUnusable;
    }
    const PackStatus status = applyEdit(host, out, err, archive, edit, {});
    if (status == PackStatus::done || status == PackStatus::dataNotRefreshed) {
        for (const int record : edit.removed) out.print("removed " + recordText(archive, record) + "\n");
        out.print("their bytes stay in " + shownPath(host, archive.resourceFile) +
                  " until quillpack compact; their files in " + shownPath(host, archive.paths.dataDirectory) +
                  " are left as they are\n");
    }
    return status;
}

PackStatus renameRecord(Host& host, Console& out, Console& err, const std::string& listPath,
                        const std::string& oldName, const std::string& newName) {
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus loaded = loadArchiveForChange(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }
    const std::vector<int> records = recordsNamed(host, archive, oldName);
    if (records.size() != 1) {
        err.print(shownName(oldName) + (records.empty() ? ": not in " + shownPath(host, listPath)
                                                        : ": names " + std::to_string(records.size()) +
                                                              " records; an unpack writes only the last of them") +
                  "; nothing written\n");
        return PackStatus::inputUnusable;
    }
    if (!noEditLeftBehind(host, err, archive, records.front())) {
        err.print("nothing written\n");
        return PackStatus::inputUnusable;
    }
    ArchiveEdit edit;
    edit.command = "rename";
    if (!host.exportListName(newName, edit.renamed[records.front()])) {
        err.print(newName + ": holds characters the game's list cannot spell on this system; nothing written\n");
        return PackStatus::inputUnusable;
    }
    const std::string was = recordText(archive, records.front());
    const PackStatus status = applyEdit(host, out, err, archive, edit, {});
    if (status == PackStatus::done || status == PackStatus::dataNotRefreshed) {
        out.print("renamed " + was + " to " + shownName(newName) + "\n");
    }
    return status;
}

}  // namespace quill::pack
