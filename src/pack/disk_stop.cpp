#include "pack/disk_stop.h"

#include <set>

#include "archive/output_path.h"
#include "pack/pack.h"

namespace quill::pack {

bool neededDirectory(Host& host, const std::string& dataDirectory, const std::string& name,
                     std::map<std::string, PathState>& known, DiskStop& stop) {
    std::string reason;
    // Either slash separates directories, for the unpacker on both systems.
    for (std::size_t at = name.find_first_of("\\/"); at != std::string::npos; at = name.find_first_of("\\/", at + 1)) {
        if (at == 0 || name[at - 1] == '\\' || name[at - 1] == '/') continue;
        // Windows drops trailing "." components: "A\\." is the file A, no directory.
        if (host.nameRules() == NameRules::windows &&
            canonicalOutputPath(name.substr(at + 1), NameRules::windows).empty()) {
            break;
        }
        const std::string directory = dataDirectory + name.substr(0, at);
        const auto [found, fresh] = known.try_emplace(directory, PathState::notAFile);
        if (fresh) found->second = host.lookUp(directory, reason);
        // A link is followed by the unpacker; what it leads to is not known here.
        if (found->second != PathState::notAFile && found->second != PathState::link) {
            stop.directory = directory;
            stop.missing = found->second == PathState::missing;
            return true;
        }
    }
    return false;
}

DiskStop missingDirectory(Host& host, const Archive& archive) {
    std::map<std::string, PathState> known;
    std::set<std::string> written;  // canonical paths of files the unpack has written so far
    const NameRules rules = host.nameRules();
    for (int i = 0; i < archive.plan.stepsTaken(); ++i) {
        DiskStop stop;
        stop.step = i;
        const std::string name = host.importListName(archive.table->entries[static_cast<std::size_t>(i)].name);
        const std::string path = archive.paths.dataDirectory + name;
        // A file made by an earlier record, where this one needs a directory.
        for (std::size_t at = name.find_first_of("\\/"); at != std::string::npos; at = name.find_first_of("\\/", at + 1)) {
            if (rules == NameRules::windows && canonicalOutputPath(name.substr(at + 1), rules).empty()) break;
            const std::string directory = archive.paths.dataDirectory + name.substr(0, at);
            if (at == 0 || written.count(canonicalOutputPath(directory, rules)) == 0) continue;
            stop.directory = directory;
            stop.missing = false;
            return stop;
        }
        if (neededDirectory(host, archive.paths.dataDirectory, name, known, stop)) return stop;
        // A name that leads to the data directory itself ("." or "\\") or to a
        // directory there: no file can be made in its place.
        std::string reason;
        if (name.ends_with('\\') || name.ends_with('/')) {
            stop.directory = path;
            stop.missing = false;
            stop.notAFile = "ends in a separator: it names a directory, not a file";
            return stop;
        }
        if (canonicalEntryPath(name, rules).empty() || canonicalEntryPath(name, rules) == "..") {
            stop.directory = path;
            stop.missing = false;
            stop.notAFile = "is the data directory or above it, not a file";
            return stop;
        }
        if (written.count(canonicalOutputPath(path, rules)) == 0 && host.lookUp(path, reason) == PathState::notAFile) {
            stop.directory = path;
            stop.missing = false;
            stop.notAFile = "is a directory, where the entry's file would go";
            return stop;
        }
        written.insert(canonicalOutputPath(path, rules));
    }
    return {};
}

std::string diskStopText(const Host& host, const DiskStop& stop) {
    if (!stop.notAFile.empty()) return shownPath(host, stop.directory) + " " + stop.notAFile;
    return shownPath(host, stop.directory) +
           (stop.missing ? " does not exist, and the unpacker makes no directory but the data directory"
                         : " is not a directory");
}

}  // namespace quill::pack
