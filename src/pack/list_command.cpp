// quillpack list: what an unpack of the archive would do, record by record.
#include <cstdio>

#include "common/control_text.h"

#include "pack/archive.h"
#include "pack/disk_stop.h"
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
                 const DiskStop& disk, const std::string& stopText) {
    if (disk.step >= 0) {
        plan.stopsAt = disk.step;
        plan.stopStatus = 6;
    }
    printLine(out, "%5s  %-14s %11s %11s  %s\n", "#", "name", "offset", "length", "unpack");
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        const ListEntry& entry = table.entries[i];
        printLine(out, "%5zu  %-14s %11d %11d  ", i + 1, shownName(entry.name).c_str(), entry.offset, entry.length);
        if (static_cast<int>(i) == disk.step) {
            out.print("unpack stops here: " + stopText + " (status 6)\n");
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
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = controlLength(name, i);
        if (length == 0) {
            shown += name[i++];
            continue;
        }
        for (const std::size_t end = i + length; i < end; ++i) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(name[i]));
            shown += escaped;
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
                disk.step >= 0 ? diskStopText(host, disk) : std::string());
    // The listing is the command's result: output that did not arrive is a failure.
    if (std::string reason; !out.flush(reason)) {
        err.print(withReason("standard output: cannot be written", reason) + "\n");
        return PackStatus::writeFailed;
    }
    return archive.plan.completes() && disk.step < 0 ? PackStatus::done : PackStatus::archiveUnsafe;
}

}  // namespace quill::pack
