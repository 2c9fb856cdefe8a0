// quillpack add: new files into the archive as new records at the end of the
// list, through the same commit as every change.
#include "archive/output_path.h"
#include "common/ascii_case.h"
#include "pack/archive_edit.h"
#include "pack/entry_file.h"
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
    if (const PackStatus refused = refuseListThatIsItsResource(host, err, listPath); refused != PackStatus::done) {
        return refused;
    }
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus loaded = loadArchiveLocked(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }
    ArchiveEdit edit;
    std::vector<TakenFile> taken;
    std::vector<std::string> sources;
    bool usable = true;
    const auto refuse = [&](const std::string& file, const std::string& problem) {
        err.print(shownPath(host, file) + ": " + problem + "\n");
        usable = false;
    };
    std::vector<std::byte> buffer;
    for (const std::string& file : options.files) {
        const std::string typed = options.as.empty() ? nameUnder(archive.paths.dataDirectory, file, host.nameRules())
                                                     : options.as;
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
        taken.push_back({file, seen});
        sources.push_back(file);
        edit.added.push_back({name, std::move(bytes)});
    }
    if (!usable) {
        err.print("nothing written\n");
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
    const PackStatus status = applyEdit(host, out, err, archive, edit, taken);
    if (status == PackStatus::done || status == PackStatus::dataNotRefreshed) {
        for (const std::string& line : lines) out.print("added " + line);
    }
    return status;
}

}  // namespace quill::pack
