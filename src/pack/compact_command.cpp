// quillpack compact: a fresh pair holding every distinct range of bytes once,
// in list order, with no gaps; both files written under temporary names first.
#include <algorithm>
#include <chrono>
#include <climits>
#include <map>
#include <thread>
#include <utility>

#include "archive/list_rewrite.h"
#include "archive/output_path.h"
#include "common/ascii_case.h"
#include "pack/archive.h"
#include "pack/history_store.h"
#include "pack/progress.h"
#include "pack/staged_file.h"

namespace quill::pack {
namespace {

struct Layout {
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;  // offset and length in the old resource, in order
    std::vector<std::int64_t> newOffsets;                       // per record
    std::int64_t size = 0;
};

Layout layOut(const EntryTable& table) {
    Layout layout;
    std::map<std::pair<std::int64_t, std::int64_t>, std::int64_t> placed;
    for (int i = 0; i < table.count; ++i) {
        const ListEntry& entry = table.entries[static_cast<std::size_t>(i)];
        const std::pair<std::int64_t, std::int64_t> range{entry.offset, entry.length};
        const auto [at, isNew] = placed.try_emplace(range, layout.size);
        if (isNew) {
            layout.ranges.push_back(range);
            layout.size += entry.length;
        }
        layout.newOffsets.push_back(at->second);
    }
    return layout;
}

std::string listText(const EntryTable& table, const Layout& layout) {
    std::string text;
    for (int i = 0; i < table.count; ++i) {
        const ListEntry& entry = table.entries[static_cast<std::size_t>(i)];
        text += listLine(entry.length, layout.newOffsets[static_cast<std::size_t>(i)], entry.name);
    }
    return text;
}

// Two paths the POSIX side's case-blind lookup may take for one another.
bool sameIgnoringCase(const std::string& a, const std::string& b, NameRules rules) {
    return rules == NameRules::posix &&
           equalsIgnoringAsciiCase(canonicalOutputPath(a, rules), canonicalOutputPath(b, rules));
}

PackStatus refuseTarget(Host& host, Console& err, const ArchivePaths& source, const ArchivePaths& target) {
    const NameRules rules = host.nameRules();
    for (const std::string& path : {target.list, target.resource}) {
        // By name, and by identity for other spellings of the same files (links, "./", letter case).
        if (sameOutputPath(path, source.list, rules) || sameOutputPath(path, source.resource, rules) ||
            host.sameFile(path, source.list, NameCase::exact) ||
            host.sameFile(path, source.resource, NameCase::ignoreWhenMissing)) {
            err.print(shownPath(host, path) + ": is the archive being compacted; name a new list\n");
            return PackStatus::badCommandLine;
        }
    }
    if (target.listIsResource()) {
        err.print(shownPath(host, target.list) + ": has no extension, so it would be its own resource; name it .RD\n");
        return PackStatus::badCommandLine;
    }
    // Only a resource found by the case-blind lookup can be shadowed.
    std::string reason;
    if (sameIgnoringCase(target.resource, source.resource, rules) &&
        host.lookUp(source.resource, reason) == PathState::missing) {
        err.print(shownPath(host, target.resource) + ": differs from " + shownPath(host, source.resource) +
                  " only in letter case, so the source would find it in place of its own resource; name another "
                  "list\n");
        return PackStatus::badCommandLine;
    }
    return PackStatus::done;
}

// Publishes a staged file, trying again for a moment: with the lock dropped,
// an update that starts now holds the old resource open on Windows (which
// will not rename over an open file) until it finds the list gone and stops.
ReplaceResult publishPatiently(StagedFile& file, std::string& problem) {
    constexpr int kAttempts = 40;
    ReplaceResult result = ReplaceResult::notReplaced;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        problem.clear();
        result = file.publish(problem);
        if (result != ReplaceResult::notReplaced) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return result;
}

// The same patience for a file of the destination's old pair moved aside or back.
ReplaceResult movePatiently(Host& host, const std::string& from, const std::string& to) {
    constexpr int kAttempts = 40;
    ReplaceResult result = ReplaceResult::notReplaced;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        result = host.replaceFile(from, to);
        if (result != ReplaceResult::notReplaced) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return result;
}

std::string asideOf(const std::string& path) { return path + ".quillpack-old"; }

// The destination's old pair, moved aside while the new one goes in, so a
// failure the command sees can put it back: the old list first (the
// destination then holds no archive), then its resource.
class OldPair {
public:
    // resourceMadeForLock: the empty file made to hold the lock is no old
    // resource; the new one simply takes its place.
    OldPair(Host& host, Console& err, const ArchivePaths& target, bool resourceMadeForLock)
        : host_(host), err_(err), target_(target), keepResource_(resourceMadeForLock) {}
    OldPair(const OldPair&) = delete;
    OldPair& operator=(const OldPair&) = delete;

    // The list goes first, while the destination's lock is still held: an
    // update that starts after the lock is dropped finds no archive there.
    // The old list's history goes with it: it describes that archive, not the new one.
    bool moveListAside(std::string& problem) {
        return moveAside(target_.list + ".history", problem) && moveAside(target_.list, problem);
    }
    bool hadHistory() const { return std::find(moved_.begin(), moved_.end(), target_.list + ".history") != moved_.end(); }
    bool moveResourceAside(std::string& problem) { return keepResource_ || moveAside(target_.resource, problem); }

    // After a failure: the old pair back in place, resource first, then list.
    // False (each file named) when it cannot be.
    bool putBack() {
        bool whole = true;
        for (auto path = moved_.rbegin(); path != moved_.rend(); ++path) {
            if (movePatiently(host_, asideOf(*path), *path) == ReplaceResult::notReplaced) {
                err_.print(withReason(shownPath(host_, asideOf(*path)) + ": cannot be put back as " +
                                          shownPath(host_, *path), host_.lastFailure()) +
                           "; rename it back by hand\n");
                whole = false;
            }
        }
        moved_.clear();
        return whole;
    }

    // After success: the old pair is dropped.
    void drop() {
        for (const std::string& path : moved_) {
            if (!host_.removeFile(asideOf(path))) {
                err_.print(withReason(shownPath(host_, asideOf(path)) + ": the old file cannot be removed",
                                      host_.lastFailure()) + "; remove it\n");
            }
        }
        moved_.clear();
    }

private:
    bool moveAside(const std::string& path, std::string& problem) {
        std::string reason;
        const PathState state = host_.lookUp(path, reason);
        if (state == PathState::unknown) {
            problem = shownPath(host_, path) + ": " + reason;
            return false;
        }
        if (state != PathState::file) return true;
        if (movePatiently(host_, path, asideOf(path)) == ReplaceResult::notReplaced) {
            problem = withReason(shownPath(host_, path) + ": cannot be replaced", host_.lastFailure());
            return false;
        }
        moved_.push_back(path);
        return true;
    }

    Host& host_;
    Console& err_;
    const ArchivePaths& target_;
    bool keepResource_;
    std::vector<std::string> moved_;
};

// Writes both new files in full under temporary names; false with the reason.
bool stage(StagedFile& file, std::string& problem, const auto& writeAll) {
    return file.create(problem) && writeAll(problem) && file.finish(problem);
}

}  // namespace

PackStatus compactArchive(Host& host, Console& out, Console& err, const std::string& listPath,
                          const std::string& newListPath) {
    const ArchivePaths source = archivePaths(listPath);
    const ArchivePaths target = archivePaths(newListPath);
    if (const PackStatus refused = refuseTarget(host, err, source, target); refused != PackStatus::done) return refused;
    // An update of the destination must not run while it is replaced: its
    // lock is taken before anything is read, as the source's is.
    // Found as an update of it finds it: past letter case on Linux.
    const std::string targetResource = host.foundPath(target.resource, NameCase::ignoreWhenMissing);
    std::string reason;
    const PathState targetState = host.lookUp(targetResource, reason);
    std::unique_ptr<FileLock> targetLock;
    // Made only to hold the lock of a destination that has no resource yet:
    // an empty resource without a list is no archive. Removed again while the
    // lock still guards it, unless the new resource is to take its place;
    // declared after the lock, so it goes first.
    struct MadeForLock {
        Host& host;
        std::string path;
        bool made = false;
        ~MadeForLock() {
            if (made) (void)host.removeFile(path);
        }
    } madeForLock{host, target.resource};
    if (targetState == PathState::link || targetState == PathState::notAFile) {
        err.print(shownPath(host, targetResource) +
                  (targetState == PathState::link ? ": is a symbolic link; name another list\n"
                                                  : ": is not a regular file; name another list\n"));
        return PackStatus::badCommandLine;
    }
    if (targetState == PathState::unknown) {
        err.print(shownPath(host, targetResource) + ": " + reason + "\n");
        return PackStatus::writeFailed;
    }
    // The source's own resource (a destination only letter case apart) is locked with the source.
    const bool exists = targetState == PathState::file;
    if (!exists || !host.sameFile(targetResource, source.resource, NameCase::ignoreWhenMissing)) {
        targetLock = exists ? host.lockExclusive(targetResource, NameCase::exact, LockWait::no)
                            : host.lockCreating(target.resource, madeForLock.made);
        if (!targetLock) {
            // The data directory's parent is the list's directory.
            const std::string data = target.dataDirectory.substr(0, target.dataDirectory.size() - 1);
            const std::size_t separator = data.find_last_of('\\');
            const std::string directory = separator == std::string::npos ? std::string() : data.substr(0, separator);
            const PathState directoryState = directory.empty() ? PathState::notAFile : host.lookUp(directory, reason);
            if (directoryState == PathState::missing || directoryState == PathState::file) {
                err.print(shownPath(host, directory) +
                          (directoryState == PathState::missing ? ": no such directory" : ": is not a directory") +
                          ", so " + shownPath(host, target.list) + " cannot be written there\n");
                return PackStatus::writeFailed;
            }
            err.print(withReason(shownPath(host, targetResource) + ": cannot be locked", host.lastFailure()) + "\n");
            return PackStatus::writeFailed;
        }
    }
    std::unique_ptr<FileLock> lock;
    Archive archive;
    if (const PackStatus loaded = loadArchiveLocked(host, err, listPath, archive, lock); loaded != PackStatus::done) {
        return loaded;
    }
    const Layout layout = layOut(*archive.table);
    if (layout.size > INT32_MAX) {
        err.print(shownPath(host, target.resource) + ": would pass 2147483647 bytes (overlapping records are "
                                                     "stored once each)\n");
        return PackStatus::archiveUnsafe;
    }

    std::string problem;
    StagedFile resource(host, err, target.resource, "compact");
    StagedFile list(host, err, target.list, "compact");
    Progress progress(host, "writing " + shownPath(host, target.resource), layout.size,
                      static_cast<std::int64_t>(layout.ranges.size()));
    std::vector<std::byte> buffer(1 << 20);
    const bool staged = stage(resource, problem, [&](std::string& why) {
        for (const auto& [offset, length] : layout.ranges) {
            // A piece at a time: a record may be as large as the resource.
            for (std::int64_t at = 0; at < length;) {
                if (host.interrupted()) {
                    why = "interrupted";
                    return false;
                }
                const auto piece = std::span(buffer).first(static_cast<std::size_t>(
                    std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), length - at)));
                archive.resource.read(offset + at, piece);
                if (!resource.write(piece, why)) return false;
                at += static_cast<std::int64_t>(piece.size());
                progress.advance(static_cast<std::int64_t>(piece.size()), at == length ? 1 : 0);
            }
        }
        return true;
    }) && stage(list, problem, [&](std::string& why) {
        const std::string text = listText(*archive.table, layout);
        return list.write(std::as_bytes(std::span(text)), why);
    });
    progress.clear();
    if (host.interrupted()) {
        err.print("interrupted; nothing written\n");
        return PackStatus::interrupted;
    }
    if (!staged) {
        err.print(problem + "; nothing written\n");
        return PackStatus::writeFailed;
    }
    if (const PackStatus read = checkResourceRead(host, err, archive); read != PackStatus::done) {
        err.print("nothing written\n");
        return read;
    }
    // At every instant the destination is its old pair, no archive (no list),
    // or the new pair: the old list goes aside first, the new list comes
    // last. Windows will not rename over a file held open, and the lock holds
    // the destination's resource open. With its list gone nothing reads that
    // archive any more: an update started now stops at the missing list.
    // Once the lock is gone the file made for it may be another's.
    OldPair old(host, err, target, madeForLock.made);
    const auto undo = [&](const std::string& why) {
        err.print(why + (old.putBack() ? "; the destination is as it was\n"
                                       : "; there is no archive at " + shownPath(host, target.list) + " now\n"));
        return PackStatus::writeFailed;
    };
    if (!old.moveListAside(problem)) return undo(problem);
    madeForLock.made = false;
    targetLock.reset();
    if (!old.moveResourceAside(problem)) return undo(problem);
    if (publishPatiently(resource, problem) == ReplaceResult::notReplaced) return undo(problem);
    if (publishPatiently(list, problem) == ReplaceResult::notReplaced) return undo(problem);
    const bool oldHistory = old.hadHistory();
    old.drop();
    if (!problem.empty()) err.print(problem + "\n");
    out.print("wrote " + shownPath(host, target.list) + " (" + counted(archive.table->count, "record", "records") +
              ") and " + shownPath(host, target.resource) + " (" + counted(layout.size, "byte", "bytes") + " in " +
              counted(static_cast<std::int64_t>(layout.ranges.size()), "range", "ranges") + "; was " +
              counted(archive.resource.size, "byte", "bytes") + ")\n");
    // The new pair's offsets are not the old ones: no earlier list of the
    // source fits it, so it starts a history of its own.
    History history;
    struct : Console {
        void print(std::string_view) override {}
    } quiet;  // a history that cannot be read only goes unmentioned here
    const std::size_t kept = loadHistory(host, quiet, archive, history) == PackStatus::done ? history.versions.size() : 0;
    if (kept == 0 && !oldHistory) return PackStatus::done;
    out.print(shownPath(host, target.list) + " starts with no history" +
              (kept > 0 ? "; " + shownPath(host, listPath) + " keeps its " + counted(static_cast<std::int64_t>(kept), "version", "versions")
                        : std::string()) +
              (oldHistory ? "; the history of the list it replaced is dropped with it" : "") + "\n");
    return PackStatus::done;
}

}  // namespace quill::pack
