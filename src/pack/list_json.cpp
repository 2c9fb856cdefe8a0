// quillpack list --json: the listing's rows and summary as one JSON document.
#include <nlohmann/json.hpp>

#include "pack/archive.h"
#include "pack/disk_stop.h"
#include "pack/json_output.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

// A record number as the listing shows it (from 1), or null for none.
Json recordNumber(int step) { return step < 0 ? Json(nullptr) : Json(step + 1); }

const char* actionKey(const UnpackStep& step, bool diskStop, bool taken) {
    if (diskStop) return "missingDirectory";
    switch (step.kind) {
        case StepKind::write: return taken ? "write" : "notReached";
        case StepKind::invalidEntry: return "invalidEntry";
        case StepKind::refusedName: break;
    }
    return "refusedName";
}

Json recordJson(const Archive& archive, std::size_t i, int stopsAt, const DiskStop& disk, const std::string& diskText) {
    const ListEntry& entry = archive.table->entries[i];
    const UnpackStep& step = archive.plan.steps[i];
    const bool diskStop = static_cast<int>(i) == disk.step;
    const bool taken = stopsAt < 0 || static_cast<int>(i) <= stopsAt;
    Json record;
    record["n"] = i + 1;
    putBytes(record, "name", entry.name);
    record["offset"] = entry.offset;
    record["length"] = entry.length;
    Json unpack;
    unpack["action"] = actionKey(step, diskStop, taken);
    unpack["reason"] = textOfBytes(diskStop ? diskText : step.stopReason);
    if (step.companion.empty()) {
        unpack["wav"] = nullptr;
        unpack["wavHex"] = nullptr;
        unpack["seconds"] = nullptr;
    } else {
        putBytes(unpack, "wav", wavNameFor(entry.name));
        // A sound plays at 11025 samples a second, one byte each.
        unpack["seconds"] = static_cast<double>(entry.length) / 11025.0;
    }
    unpack["replacedBy"] = recordNumber(step.fileReplacedBy.step);
    unpack["replacedByWav"] = step.fileReplacedBy.byCompanion;
    unpack["wavReplacedBy"] = recordNumber(step.companionReplacedBy.step);
    unpack["wavReplacedByWav"] = step.companionReplacedBy.byCompanion;
    Json overlaps = Json::array();
    for (const int other : step.overlaps) overlaps.push_back(other + 1);
    unpack["overlaps"] = std::move(overlaps);
    record["unpack"] = std::move(unpack);
    return record;
}

}  // namespace

PackStatus listArchiveJson(Host& host, Console& out, Console& err, const std::string& listPath) {
    Archive archive;
    if (const PackStatus loaded = loadArchive(host, err, listPath, archive); loaded != PackStatus::done) return loaded;
    const DiskStop disk = missingDirectory(host, archive);
    const std::string diskText = disk.step >= 0 ? diskStopText(host, disk) : std::string();
    const UnpackPlan& plan = archive.plan;
    const int stopsAt = disk.step >= 0 ? disk.step : plan.stopsAt;

    Json document = jsonDocument("list");
    putPath(document, "list", host, archive.paths.list);
    putPath(document, "resource", host, archive.resourceFile);
    Json records = Json::array();
    for (std::size_t i = 0; i < plan.steps.size(); ++i) records.push_back(recordJson(archive, i, stopsAt, disk, diskText));
    document["records"] = std::move(records);
    Json summary;
    summary["records"] = plan.steps.size();
    summary["resourceSize"] = plan.resourceSize;
    summary["covered"] = plan.coveredBytes;
    summary["gaps"] = plan.gapBytes;
    summary["overlapping"] = plan.overlappingBytes;
    summary["completes"] = stopsAt < 0;
    summary["stopsAt"] = recordNumber(stopsAt);
    summary["stopStatus"] = stopsAt < 0 ? Json(nullptr) : Json(disk.step >= 0 ? 6 : plan.stopStatus);
    document["summary"] = std::move(summary);
    if (const PackStatus printed = printJson(out, err, document); printed != PackStatus::done) return printed;
    return stopsAt < 0 ? PackStatus::done : PackStatus::archiveUnsafe;
}

}  // namespace quill::pack
