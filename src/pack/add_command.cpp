// quillpack add: new files into the archive as new records at the end of the
// list, through the same commit as every change.
#include <algorithm>
#include <set>

#include "archive/output_path.h"
#include "common/ascii_case.h"
#include "pack/archive_edit.h"
#include "pack/entry_file.h"
#include "pack/progress.h"
#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "sound/wav_reader.h"

namespace quill::pack {
namespace {

// The record's name for a file under the data directory: its path below it,
// with the host's separators as the list writes them; empty when it is not
// under it.
std::string nameUnder(const std::string& dataDirectory, const std::string& file, NameRules rules) {
    const std::string directory = canonicalOutputPath(dataDirectory, rules);
    const std::string path = canonicalOutputPath(file, rules);
    if (path.size() <= directory.size() + 1 || path.compare(0, directory.size(), directory) != 0 ||
        path[directory.size()] != '/') {
        return {};
    }
    // The spelling the user typed, from the same place on: canonical forms
    // drop "." steps and doubled separators, so they are dropped here too.
    std::string name;
    std::string component;
    std::size_t depth = 0;
    std::size_t directoryDepth = 0;
    for (std::size_t i = 0; i < directory.size(); ++i) {
        if (directory[i] != '/' && (i == 0 || directory[i - 1] == '/')) ++directoryDepth;
    }
    for (std::size_t i = 0; i <= file.size(); ++i) {
        if (i == file.size() || file[i] == '\\' || file[i] == '/') {
            if (!component.empty() && component != ".") {
                if (depth >= directoryDepth) name += (name.empty() ? "" : "\\") + component;
                ++depth;
            }
            component.clear();
        } else {
            component += file[i];
        }
    }
    return name;
}

// The same for a path spelt another way (absolute, as a terminal gets it from
// a dragged file; through a link to the data directory): the rest of the
// path below the ancestor that is the data directory itself.
std::string nameBelow(Host& host, const std::string& dataDirectory, const std::string& file) {
    const std::string directory = dataDirectory.substr(0, dataDirectory.size() - 1);
    for (std::size_t at = file.find_last_of("\\/"); at != std::string::npos && at > 0;
         at = file.find_last_of("\\/", at - 1)) {
        if (host.sameFile(file.substr(0, at), directory, NameCase::exact)) {
            return nameUnder(file.substr(0, at) + "\\", file, host.nameRules());
        }
    }
    return {};
}

// Every file below a directory given to add, in name order so the records
// come in the same order each time; a link or something that is not a file
// is named and left out.
bool filesBelow(Host& host, Console& err, const std::string& directory, std::vector<std::string>& files) {
    std::vector<std::string> names;
    if (!host.listDirectory(directory, names)) {
        err.print(withReason(shownPath(host, directory) + ": cannot be read", host.lastFailure()) + "\n");
        return false;
    }
    std::sort(names.begin(), names.end());
    bool whole = true;
    for (const std::string& name : names) {
        const std::string path = directory + "\\" + name;
        std::string reason;
        switch (host.lookUp(path, reason)) {
            case PathState::file: files.push_back(path); break;
            case PathState::notAFile:
                // A directory or a device: lookUp does not tell them apart, listing does.
                if (std::vector<std::string> inner; host.listDirectory(path, inner)) {
                    whole = filesBelow(host, err, path, files) && whole;
                } else {
                    err.print(shownPath(host, path) + ": not a file\n");
                    whole = false;
                }
                break;
            case PathState::link: err.print(shownPath(host, path) + ": a symbolic link; not followed\n"); whole = false; break;
            case PathState::missing: break;
            case PathState::unknown: err.print(shownPath(host, path) + ": " + reason + "\n"); whole = false; break;
        }
    }
    return whole;
}

// "X.WAV" to "X.DIG", the case of the letters following the name's.
std::string soundNameFor(const std::string& wavName) {
    const std::size_t slash = wavName.find_last_of('\\');
    const std::size_t dot = wavName.find('.', slash == std::string::npos ? 0 : slash + 1);
    if (dot == std::string::npos || !equalsIgnoringAsciiCase(std::string_view(wavName).substr(dot), ".WAV")) return {};
    return wavName.substr(0, dot) + (wavName.substr(dot) == ".wav" ? ".dig" : ".DIG");
}

}  // namespace

PackStatus addRecords(Host& host, Console& out, Console& err, const std::string& listPath, const AddOptions& options) {
    if (!options.as.empty() && options.files.size() != 1) {
        err.print("--as names one file's record; give one file with it\n");
        return PackStatus::badCommandLine;
    }
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus loaded = loadArchiveForChange(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }
    ArchiveEdit edit;
    edit.command = "add";
    std::vector<TakenFile> taken;
    std::vector<std::string> sources;
    bool usable = true;
    // Files read one by one: their total is not known beforehand.
    Progress reading(host, "reading", -1, 0);
    reading.countReads();
    const auto refuse = [&](const std::string& file, const std::string& problem) {
        reading.clear();
        err.print(shownPath(host, file) + ": " + problem + "\n");
        usable = false;
    };
    std::vector<std::byte> buffer;
    std::vector<std::string> files;
    std::set<std::string> found;  // files found in a directory given, rather than named
    for (const std::string& given : options.files) {
        std::string reason;
        std::vector<std::string> names;
        if (options.as.empty() && host.lookUp(given, reason) == PathState::notAFile && host.listDirectory(given, names)) {
            std::vector<std::string> below;
            std::string directory = given;  // "data/" as a shell completes it: no doubled separator below
            while (directory.size() > 1 && (directory.back() == '\\' || directory.back() == '/')) directory.pop_back();
            usable = filesBelow(host, err, directory, below) && usable;
            found.insert(below.begin(), below.end());
            files.insert(files.end(), below.begin(), below.end());
        } else {
            files.push_back(given);
        }
    }
    int alreadyIn = 0;
    for (const std::string& file : files) {
        // Reading many large files takes a while: Ctrl+C is heeded between them.
        if (host.interrupted()) {
            reading.clear();
            err.print("interrupted; nothing written\n");
            return PackStatus::interrupted;
        }
        std::string typed = options.as;
        if (typed.empty()) typed = nameUnder(archive.paths.dataDirectory, file, host.nameRules());
        if (typed.empty()) typed = nameBelow(host, archive.paths.dataDirectory, file);
        if (typed.empty()) {
            refuse(file, "not under " + shownPath(host, archive.paths.dataDirectory) +
                             "; give the record's name with --as NAME");
            continue;
        }
        std::string name;
        if (!host.exportListName(typed, name)) {
            refuse(file, "its name " + typed + " holds characters the game's list cannot spell on this system");
            continue;
        }
        FileTime seen;
        const bool timed = host.readModificationTime(file, NameCase::exact, seen);
        std::vector<std::byte> bytes;
        std::string problem;
        switch (examineEntryFile(host, file, {}, buffer, bytes, problem)) {
            case EntryFileState::missing: refuse(file, "no such file"); continue;
            case EntryFileState::unusable: refuse(file, problem); continue;
            case EntryFileState::same:
            case EntryFileState::differs: break;
        }
        reading.advance(0, 1);
        if (!timed) {
            refuse(file, withReason("cannot be read", host.lastFailure()));
            continue;
        }
        if (options.wav2dig) {
            // A sound goes in as the game holds it: a .DIG record, scrambled.
            if (options.as.empty()) name = soundNameFor(name);
            if (name.empty() || !isSoundName(name)) {
                refuse(file, options.as.empty() ? "-wav2dig takes .WAV files" : "-wav2dig makes a sound: name it .DIG");
                continue;
            }
            WavContents contents;
            if (readWav(bytes, contents, problem) != WavReadResult::accepted) {
                refuse(file, problem);
                continue;
            }
            std::vector<std::byte> sound(contents.samples.size());
            scrambleInto(contents.samples, 0, sound);
            bytes = std::move(sound);
        }
        // Told as such, rather than as two records an unpack writes to one
        // file; in a directory given whole, a file an unpack writes (a
        // record's own, a sound's .WAV) is update's, and passed over.
        bool listed = false;
        for (int record = 0; record < archive.table->count && !listed; ++record) {
            const std::string& other = archive.table->entries[static_cast<std::size_t>(record)].name;
            const bool own = sameEntryPath(other, name, host.nameRules());
            const bool companion = isSoundName(other) && sameEntryPath(wavNameFor(other), name, host.nameRules());
            if (!own && !(companion && found.count(file) != 0)) continue;
            listed = true;
            if (found.count(file) != 0) {
                ++alreadyIn;
            } else {
                refuse(file, shownName(name) + " is already in the archive (record " + std::to_string(record + 1) +
                                 "); put a new version in with quillpack update");
            }
        }
        if (listed) continue;
        taken.push_back({file, seen, {}, nullptr});
        sources.push_back(file);
        edit.added.push_back({name, std::move(bytes)});
    }
    // What follows reads some files again (data/'s check): not counted twice.
    reading.finish();
    if (!usable) {
        err.print("nothing written\n");
        return PackStatus::inputUnusable;
    }
    if (alreadyIn > 0) {
        out.print(counted(alreadyIn, "file", "files") + " in the directories given " +
                  (alreadyIn == 1 ? "is" : "are") + " the archive's already (quillpack update puts edits back)\n");
    }
    if (edit.added.empty()) {
        err.print("nothing to add; nothing written\n");
        return PackStatus::inputUnusable;
    }
    const int first = archive.table->count;
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < edit.added.size(); ++i) {
        lines.push_back("record " + std::to_string(first + static_cast<int>(i) + 1) + " " +
                        shownName(edit.added[i].name) + ": " +
                        counted(static_cast<std::int64_t>(edit.added[i].bytes.size()), "byte", "bytes") + ", from " +
                        shownPath(host, sources[i]) + "\n");
    }
    // Each taken file is the added record's bytes as read, unless a sound was scrambled from it.
    for (std::size_t i = 0; i < taken.size() && !options.wav2dig; ++i) taken[i].bytes = edit.added[i].bytes;
    const PackStatus status = applyEdit(host, out, err, archive, edit, taken);
    if (status == PackStatus::done || status == PackStatus::dataNotRefreshed) {
        for (const std::string& line : lines) out.print("added " + line);
    }
    return status;
}

}  // namespace quill::pack
