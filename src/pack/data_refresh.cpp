#include "pack/data_refresh.h"

#include <set>

#include "pack/progress.h"
#include "pack/staged_file.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

std::string asideOf(const std::string& path) { return path + ".quillpack-old"; }

bool unchangedSince(Host& host, const RefreshTarget& target) {
    FileTime now;
    return host.readModificationTime(target.path, NameCase::exact, now) && now == target.seen;
}

}  // namespace

std::vector<LeftFile> leftBehindFiles(Host& host, const std::vector<std::string>& paths) {
    std::vector<LeftFile> files;
    std::string reason;
    for (const std::string& path : paths) {
        for (const std::string& left : {asideOf(path), path + ".quillpack-refresh"}) {
            if (host.lookUp(left, reason) == PathState::file) files.push_back({left, path});
        }
    }
    return files;
}

std::vector<std::string> leftBehind(Host& host, const std::vector<std::string>& paths) {
    std::vector<std::string> notes;
    for (const LeftFile& left : leftBehindFiles(host, paths)) {
        notes.push_back(shownPath(host, left.file) + ": left by an update that was stopped; it holds no edit (an "
                                                     "unpack writes " + shownPath(host, left.besidePath) +
                        " afresh): delete it");
    }
    return notes;
}

PackStatus setAside(Host& host, Console& err, std::vector<RefreshTarget>& targets) {
    for (RefreshTarget& target : targets) {
        if (target.taken || target.fresh) continue;
        std::string why;
        std::string reason;
        if (host.lookUp(asideOf(target.path), reason) != PathState::missing) {
            why = shownPath(host, asideOf(target.path)) + ": is in the way of setting " +
                  shownPath(host, target.path) + " aside while the archive changes; move or delete it";
        } else if (!unchangedSince(host, target)) {
            why = shownPath(host, target.path) + ": changed since the update read it";
        } else if (host.replaceFile(target.path, asideOf(target.path)) == ReplaceResult::notReplaced) {
            why = withReason(shownPath(host, target.path) + ": cannot be moved aside while the archive changes",
                             host.lastFailure());
        } else {
            target.setAside = true;
            continue;
        }
        putBack(host, err, targets);
        err.print(why + "; nothing written\n");
        return PackStatus::writeFailed;
    }
    return PackStatus::done;
}

void putBack(Host& host, Console& err, std::vector<RefreshTarget>& targets) {
    for (RefreshTarget& target : targets) {
        if (!target.setAside) continue;
        target.setAside = false;
        const std::string aside = shownPath(host, asideOf(target.path));
        std::string reason;
        // A file saved there meanwhile is the user's: never renamed over.
        if (host.lookUp(target.path, reason) != PathState::missing) {
            err.print(aside + ": left as it is, since " + shownPath(host, target.path) +
                      " was saved meanwhile; it holds no edit: delete it\n");
            continue;
        }
        if (host.replaceFile(asideOf(target.path), target.path) == ReplaceResult::notReplaced) {
            err.print(withReason(aside + ": cannot be put back as " + shownPath(host, target.path),
                                 host.lastFailure()) +
                      "; it holds no edit (an unpack writes " + shownPath(host, target.path) + " again): delete it\n");
        }
    }
}

namespace {

// What the refreshed files lie under, for the progress line: the directory of the first.
std::string dataDirectoryOf(const std::vector<RefreshTarget>& targets) {
    if (targets.empty()) return "data";
    const std::string& path = targets.front().path;
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(0, slash);
}

}  // namespace

std::vector<std::string> refreshFiles(Host& host, Console& err, std::vector<RefreshTarget>& targets) {
    std::vector<std::string> problems;
    std::int64_t total = 0;
    for (const RefreshTarget& target : targets) total += static_cast<std::int64_t>(target.content.size());
    // Problems are gathered and said after: the line is cleared by then.
    Progress progress(host, "refreshing " + shownPath(host, dataDirectoryOf(targets)), total,
                      static_cast<std::int64_t>(targets.size()));
    for (RefreshTarget& target : targets) {
        progress.advance(static_cast<std::int64_t>(target.content.size()), 1);
        if (target.setAside && !host.removeFile(asideOf(target.path))) {
            problems.push_back(withReason(shownPath(host, asideOf(target.path)) + ": the old file, set aside, "
                                                                                 "cannot be removed; remove it",
                                          host.lastFailure()));
        }
        if (target.vacated) continue;
        // A file saved since the update looked (taken and saved again, or
        // saved anew where the old one was set aside): the user's work stays.
        std::string reason;
        if (target.taken ? !unchangedSince(host, target) : host.lookUp(target.path, reason) != PathState::missing) {
            problems.push_back(shownPath(host, target.path) + ": changed since the update read it; left as it is");
            continue;
        }
        StagedFile file(host, err, target.path, "refresh");
        std::string problem;
        if (file.create(problem) && file.write(target.content, problem) && file.finish(problem) &&
            file.publish(problem) != ReplaceResult::notReplaced) {
            continue;
        }
        // A file set aside stays missing, which no update takes for an edit.
        problems.push_back(shownPath(host, target.path) + ": not refreshed (" + problem + ")" +
                           (target.setAside ? "; it is missing now: an unpack makes it again" : ""));
    }
    return problems;
}

}  // namespace quill::pack
