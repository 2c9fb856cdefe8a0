// quillpack list: what an unpack of the archive would do, record by record.
#include <cstdio>
#include <map>

#include "pack/archive.h"
#include "pack/pack.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

std::string recordList(const std::vector<int>& records) {
    constexpr std::size_t kShown = 5;
    std::string text;
    for (std::size_t i = 0; i < records.size() && i < kShown; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(records[i] + 1);
    }
    if (records.size() > kShown) text += " and " + std::to_string(records.size() - kShown) + " more";
    return text;
}

std::string replacementText(const Replacement& replacement) {
    if (replacement.step < 0) return {};
    return "; replaced by record " + std::to_string(replacement.step + 1) + (replacement.byCompanion ? "'s .WAV" : "");
}

// A sound plays at 11025 samples a second, one byte each.
std::string duration(std::int32_t length) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(length) / 11025.0);
    return text;
}

// Where an unpack stops because a directory an entry needs is not there: the
// unpacker makes the data directory only.
struct DiskStop {
    int step = -1;
    std::string directory;
    bool missing = true;  // or there, but not a directory
};

DiskStop missingDirectory(Host& host, const Archive& archive) {
    std::map<std::string, PathState> there;
    std::string reason;
    for (int i = 0; i < archive.plan.stepsTaken(); ++i) {
        const std::string name = host.importListName(archive.table->entries[static_cast<std::size_t>(i)].name);
        const std::string& data = archive.paths.dataDirectory;
        for (std::size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1)) {
            if (at == 0) continue;
            const std::string directory = data + name.substr(0, at);
            const auto [known, fresh] = there.try_emplace(directory, PathState::notAFile);
            if (fresh) known->second = host.lookUp(directory, reason);
            // A link is followed by the unpacker; what it leads to is not known here.
            if (known->second != PathState::notAFile && known->second != PathState::link) {
                return {i, directory, known->second == PathState::missing};
            }
        }
    }
    return {};
}

std::string actionText(const ListEntry& entry, const UnpackStep& step, bool taken) {
    std::string text;
    switch (step.kind) {
        case StepKind::write:
            text = step.companion.empty()
                       ? "write"
                       : "write, and " + shownName(wavNameFor(entry.name)) + " (sound, " + duration(entry.length) + ")";
            break;
        case StepKind::invalidEntry: text = "unpack stops here: " + step.stopReason + " (status 5)"; break;
        case StepKind::refusedName: text = "unpack stops here: name refused (status 6)"; break;
    }
    if (!taken) return step.kind == StepKind::write ? "not reached" : text;
    text += replacementText(step.fileReplacedBy);
    if (!step.companion.empty() && step.companionReplacedBy.step >= 0) {
        text += "; its .WAV" + replacementText(step.companionReplacedBy).substr(1);
    }
    if (!step.overlaps.empty()) {
        text += std::string("; overlaps record") + (step.overlaps.size() > 1 ? "s " : " ") + recordList(step.overlaps);
    }
    return text;
}

void printLine(Console& out, const char* format, auto... values) {
    char line[160];
    const int length = std::snprintf(line, sizeof line, format, values...);
    out.print({line, static_cast<std::size_t>(std::min<int>(length, static_cast<int>(sizeof line) - 1))});
}

void printReport(Console& out, const EntryTable& table, UnpackPlan plan, const std::string& resource,
                 const DiskStop& disk, const std::string& shownDirectory) {
    if (disk.step >= 0) {
        plan.stopsAt = disk.step;
        plan.stopStatus = 6;
    }
    printLine(out, "%5s  %-14s %11s %11s  %s\n", "#", "name", "offset", "length", "unpack");
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        const ListEntry& entry = table.entries[i];
        printLine(out, "%5zu  %-14s %11d %11d  ", i + 1, shownName(entry.name).c_str(), entry.offset, entry.length);
        if (static_cast<int>(i) == disk.step) {
            out.print("unpack stops here: " + shownDirectory +
                      (disk.missing ? " does not exist, and the unpacker makes no directory but the data directory"
                                    : " is not a directory") +
                      " (status 6)\n");
            continue;
        }
        const bool taken = plan.completes() || static_cast<int>(i) <= plan.stopsAt;
        out.print(actionText(entry, plan.steps[i], taken) + "\n");
    }
    const auto bytes = [](std::int64_t n) { return counted(n, "byte", "bytes"); };
    out.print("\nrecords      " + std::to_string(plan.steps.size()) + "\n");
    out.print("resource     " + bytes(plan.resourceSize) + " (" + resource + ")\n");
    out.print("covered      " + bytes(plan.coveredBytes) + "\n");
    out.print("gaps         " + bytes(plan.gapBytes) + "\n");
    out.print("overlapping  " + bytes(plan.overlappingBytes) + "\n");
    if (plan.completes()) {
        out.print("unpack       completes\n");
    } else {
        out.print("unpack       stops at record " + std::to_string(plan.stopsAt + 1) + " with status " +
                  std::to_string(plan.stopStatus) + "\n");
    }
}

}  // namespace

// Control bytes would reach a terminal as commands; they show as \xHH.
std::string shownName(const std::string& name) {
    std::string shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string shownPath(const Host& host, const std::string& path) {
    if (host.nameRules() == NameRules::windows) return shownName(path);
    std::string shown = path;
    for (char& c : shown) {
        if (c == '\\') c = '/';
    }
    return shownName(shown);
}

PackStatus listArchive(Host& host, Console& out, Console& err, const std::string& listPath) {
    Archive archive;
    if (const PackStatus loaded = loadArchive(host, err, listPath, archive); loaded != PackStatus::done) return loaded;
    const DiskStop disk = missingDirectory(host, archive);
    printReport(out, *archive.table, archive.plan, shownPath(host, archive.resourceFile), disk,
                disk.step >= 0 ? shownPath(host, disk.directory) : std::string());
    // The listing is the command's result: output that did not arrive is a failure.
    if (std::string reason; !out.flush(reason)) {
        err.print(withReason("standard output: cannot be written", reason) + "\n");
        return PackStatus::writeFailed;
    }
    return archive.plan.completes() && disk.step < 0 ? PackStatus::done : PackStatus::archiveUnsafe;
}

}  // namespace quill::pack
