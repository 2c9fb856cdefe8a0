// Working out quillpack status: update's own plan, classified, then what the
// plan does not look at: files no record writes, directories an unpack needs,
// and files a stopped update left behind.
#include <algorithm>
#include <map>
#include <set>

#include "archive/output_path.h"
#include "pack/data_refresh.h"
#include "pack/disk_stop.h"
#include "pack/status.h"
#include "pack/update.h"

namespace quill::pack {
namespace {

// Deep enough for any real tree; a deeper one (a loop of bind mounts, say) is
// named rather than followed forever.
constexpr int kDeepest = 64;

DataState refusalState(Refusal::Kind kind) {
    switch (kind) {
        case Refusal::Kind::link: return DataState::link;
        case Refusal::Kind::conflict: return DataState::conflict;
        case Refusal::Kind::wavNotTaken: return DataState::modifiedWav;
        case Refusal::Kind::unusable: break;
    }
    return DataState::unusable;
}

class DataWalk {
public:
    DataWalk(Host& host, DataStatus& status, std::set<std::string> known)
        : host_(host), rules_(host.nameRules()), status_(status), known_(std::move(known)) {}

    // Every file under `directory` that is not known, named; links named, not followed.
    void walk(const std::string& directory, int depth) {
        std::vector<std::string> names;
        if (!host_.listDirectory(directory, names)) {
            add(DataState::unusable, directory, withReason("cannot be read", host_.lastFailure()));
            return;
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string path = directory + "\\" + name;
            if (known_.count(canonicalOutputPath(path, rules_)) != 0) {
                // Already looked at by the plan: only a directory there needs walking.
                std::string reason;
                if (host_.lookUp(path, reason) == PathState::notAFile) descend(path, depth);
                continue;
            }
            std::string reason;
            switch (host_.lookUp(path, reason)) {
                case PathState::file: add(DataState::notInArchive, path, {}); break;
                case PathState::link: add(DataState::link, path, "a symbolic link; not followed"); break;
                case PathState::notAFile: descend(path, depth); break;
                case PathState::unknown: add(DataState::unusable, path, withReason("cannot be looked at", reason)); break;
                case PathState::missing: break;  // gone since the listing
            }
        }
    }

private:
    void descend(const std::string& path, int depth) {
        if (depth >= kDeepest) {
            add(DataState::unusable, path, "more than " + std::to_string(kDeepest) + " directories deep; not looked into");
            return;
        }
        walk(path, depth + 1);
    }

    void add(DataState state, const std::string& path, std::string detail) {
        DataLine line;
        line.state = state;
        line.path = path;
        line.detail = std::move(detail);
        status_.lines.push_back(std::move(line));
    }

    Host& host_;
    NameRules rules_;
    DataStatus& status_;
    std::set<std::string> known_;  // canonical paths the plan has looked at or reported
};

void addPlan(const UpdatePlan& plan, DataStatus& status) {
    for (const Change& change : plan.changes) {
        status.lines.push_back({DataState::modified, change.source, {}, change.records, {}});
    }
    for (const Refusal& refusal : plan.refusals) {
        DataLine line{refusalState(refusal.kind), refusal.paths.front(), {}, {}, refusal.message};
        line.others.assign(refusal.paths.begin() + 1, refusal.paths.end());
        status.lines.push_back(std::move(line));
    }
    for (const std::string& path : plan.missing) status.lines.push_back({DataState::missing, path, {}, {}, {}});
}

// Every directory the records an unpack takes need and do not find.
void addNeededDirectories(Host& host, const Archive& archive, DataStatus& status) {
    std::map<std::string, PathState> known;
    std::set<std::string> named;
    for (int i = 0; i < archive.plan.stepsTaken(); ++i) {
        DiskStop stop;
        const std::string name = host.importListName(archive.table->entries[static_cast<std::size_t>(i)].name);
        if (!neededDirectory(host, archive.paths.dataDirectory, name, known, stop)) continue;
        if (!named.insert(stop.directory).second) continue;
        status.lines.push_back({DataState::missingDirectory, stop.directory, {}, {}, stop.missing ? "" : "not a directory"});
    }
}

}  // namespace

int DataStatus::count(DataState state) const {
    return static_cast<int>(std::ranges::count_if(lines, [&](const DataLine& line) { return line.state == state; }));
}

void readDataStatus(Host& host, const Archive& archive, DataStatus& status) {
    UpdatePlan plan;
    // The status is everything update would find, so its refusals are lines here, not a stop.
    static_cast<void>(classifyUpdate(host, archive, false, plan));
    addPlan(plan, status);
    addNeededDirectories(host, archive, status);
    const NameRules rules = host.nameRules();
    std::set<std::string> known;
    for (const std::string& path : plan.written) known.insert(canonicalOutputPath(path, rules));
    // Beside every entry file, not only the missing ones: an unpack since may have written it again.
    for (const LeftFile& left : leftBehindFiles(host, plan.written)) {
        status.lines.push_back({DataState::setAside, left.file, {left.besidePath}, {}, {}});
    }
    for (const DataLine& line : status.lines) known.insert(canonicalOutputPath(line.path, rules));
    std::string data = archive.paths.dataDirectory;
    if (data.ends_with('\\')) data.pop_back();
    std::string reason;
    // No data directory at all: every entry file is missing, and nothing else is there.
    // The data directory itself is the user's choice, a link or not.
    if (const PathState state = host.lookUp(data, reason); state == PathState::notAFile || state == PathState::link) {
        DataWalk(host, status, std::move(known)).walk(data, 0);
    }
    std::ranges::stable_sort(status.lines, [&](const DataLine& a, const DataLine& b) {
        return canonicalOutputPath(a.path, rules) < canonicalOutputPath(b.path, rules);
    });
}

}  // namespace quill::pack
