#include "pack/disk_stop.h"

#include "pack/pack.h"

namespace quill::pack {

bool neededDirectory(Host& host, const std::string& dataDirectory, const std::string& name,
                     std::map<std::string, PathState>& known, DiskStop& stop) {
    std::string reason;
    for (std::size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1)) {
        if (at == 0) continue;
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
    for (int i = 0; i < archive.plan.stepsTaken(); ++i) {
        DiskStop stop;
        const std::string name = host.importListName(archive.table->entries[static_cast<std::size_t>(i)].name);
        if (neededDirectory(host, archive.paths.dataDirectory, name, known, stop)) {
            stop.step = i;
            return stop;
        }
    }
    return {};
}

std::string diskStopText(const Host& host, const DiskStop& stop) {
    return shownPath(host, stop.directory) +
           (stop.missing ? " does not exist, and the unpacker makes no directory but the data directory"
                         : " is not a directory");
}

}  // namespace quill::pack
