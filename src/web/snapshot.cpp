#include "web/snapshot.h"

#include <algorithm>
#include <cstdio>

#include "sound/dig_to_wav.h"
#include "web/page_text.h"

namespace quill::web {
namespace {

constexpr std::size_t kTextProbe = 4096;

// FNV-1a: a fingerprint, not a secret; the time and sizes beside it catch
// what a collision alone would miss.
std::uint64_t fingerprint(std::span<const std::byte> bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const std::byte b : bytes) hash = (hash ^ std::to_integer<std::uint64_t>(b)) * 0x100000001b3ULL;
    return hash;
}

std::string kindName(RecordKind kind) {
    switch (kind) {
        case RecordKind::sound: return "sound";
        case RecordKind::text: return "text";
        case RecordKind::data: break;
    }
    return "data";
}

std::string stepName(StepKind kind) {
    switch (kind) {
        case StepKind::write: return "write";
        case StepKind::invalidEntry: return "invalidEntry";
        case StepKind::refusedName: break;
    }
    return "refusedName";
}

// Where an unpack stops (from 0; -1: it completes): at what the plan finds, or
// before it at a directory that is not there.
int stopOf(const Snapshot& snapshot) {
    if (snapshot.disk.step >= 0) return snapshot.disk.step;
    return snapshot.archive.plan.completes() ? -1 : snapshot.archive.plan.stopsAt;
}

// Record numbers as the page shows them, from 1; 0 for none.
std::int64_t shown(int step) { return step + 1; }

Json recordJson(const Host& host, const Snapshot& snapshot, std::size_t i) {
    const ListEntry& entry = snapshot.archive.table->entries[i];
    const UnpackPlan& plan = snapshot.archive.plan;
    const UnpackStep& step = plan.steps[i];
    const int stopsAt = stopOf(snapshot);
    const bool taken = stopsAt < 0 || static_cast<int>(i) <= stopsAt;
    const bool diskStop = static_cast<int>(i) == snapshot.disk.step;
    constexpr std::size_t kOverlapsShown = 5;
    Json overlaps = Json::array();
    for (std::size_t k = 0; k < step.overlaps.size() && k < kOverlapsShown; ++k) overlaps.push_back(shown(step.overlaps[k]));
    Json unpack;
    unpack["step"] = diskStop ? "missingDirectory" : stepName(step.kind);
    unpack["taken"] = taken;
    unpack["reason"] = pageText(diskStop ? snapshot.diskText : step.stopReason);
    unpack["wav"] = pageText(step.companion.empty() ? std::string() : host.importListName(wavNameFor(entry.name)));
    unpack["replacedBy"] = shown(step.fileReplacedBy.step);
    unpack["replacedByWav"] = step.fileReplacedBy.byCompanion;
    unpack["wavReplacedBy"] = shown(step.companionReplacedBy.step);
    unpack["wavReplacedByWav"] = step.companionReplacedBy.byCompanion;
    unpack["overlaps"] = std::move(overlaps);
    unpack["overlapCount"] = step.overlaps.size();
    Json record;
    record["n"] = i + 1;
    record["name"] = pageText(host.importListName(entry.name));
    record["offset"] = entry.offset;
    record["length"] = entry.length;
    record["kind"] = kindName(snapshot.kinds[i]);
    record["unpack"] = std::move(unpack);
    return record;
}

}  // namespace

std::string archiveVersion(const pack::Archive& archive) {
    char text[96];
    std::snprintf(text, sizeof text, "%016llx-%zx-%llx-%llx-%d",
                  static_cast<unsigned long long>(fingerprint(archive.listHead)), archive.listHead.size(),
                  static_cast<unsigned long long>(archive.listTime.ticks),
                  static_cast<unsigned long long>(archive.resource.size), archive.listTimed ? 1 : 0);
    return text;
}

RecordKind recordKind(const std::string& name, std::span<const std::byte> bytes) {
    if (isSoundName(name)) return RecordKind::sound;
    if (bytes.empty()) return RecordKind::data;
    const auto probe = bytes.first(std::min(bytes.size(), kTextProbe));
    const bool text = std::all_of(probe.begin(), probe.end(), [](std::byte b) {
        const auto c = std::to_integer<unsigned>(b);
        return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\n' || c == '\r';
    });
    return text ? RecordKind::text : RecordKind::data;
}

std::string diskStamp(Host& host, const pack::Archive& archive) {
    FileTime list;
    FileTime resource;
    if (!host.readModificationTime(archive.paths.list, NameCase::exact, list) ||
        !host.readModificationTime(archive.resourceFile, NameCase::exact, resource)) {
        return {};
    }
    return std::to_string(list.ticks) + "-" + std::to_string(resource.ticks);
}

void describeSnapshot(Host& host, Snapshot& snapshot) {
    const pack::Archive& archive = snapshot.archive;
    snapshot.version = archiveVersion(archive);
    snapshot.stamp = diskStamp(host, archive);
    snapshot.disk = pack::missingDirectory(host, archive);
    snapshot.diskText = snapshot.disk.step >= 0 ? pack::diskStopText(host, snapshot.disk) : std::string();
    snapshot.kinds.clear();
    // A kind is told by a record's first bytes: only those are read.
    std::vector<std::byte> probe;
    for (int i = 0; i < archive.table->count; ++i) {
        const ListEntry& entry = archive.table->entries[static_cast<std::size_t>(i)];
        const bool inside = checkEntry(entry, static_cast<std::int32_t>(archive.resource.size));
        probe.clear();
        if (inside && !isSoundName(entry.name)) {
            archive.resource.read(entry.offset, std::min<std::int64_t>(entry.length, kTextProbe), probe);
        }
        snapshot.kinds.push_back(recordKind(entry.name, probe));
    }
}

std::string archiveJson(const Host& host, const Snapshot& snapshot, bool readOnly) {
    const UnpackPlan& plan = snapshot.archive.plan;
    const int stopsAt = stopOf(snapshot);
    Json summary;
    summary["records"] = plan.steps.size();
    summary["resourceSize"] = plan.resourceSize;
    summary["covered"] = plan.coveredBytes;
    summary["gaps"] = plan.gapBytes;
    summary["overlapping"] = plan.overlappingBytes;
    summary["completes"] = stopsAt < 0;
    summary["stopsAt"] = shown(stopsAt);
    summary["stopStatus"] = snapshot.disk.step >= 0 ? 6 : plan.stopStatus;
    summary["stopReason"] = pageText(snapshot.diskText);
    Json records = Json::array();
    for (std::size_t i = 0; i < plan.steps.size(); ++i) records.push_back(recordJson(host, snapshot, i));
    Json json;
    json["version"] = pageText(snapshot.version);
    json["readOnly"] = readOnly;
    json["stamp"] = pageText(snapshot.stamp);
    json["list"] = pageText(pack::shownPath(host, snapshot.archive.paths.list));
    json["resource"] = pageText(pack::shownPath(host, snapshot.archive.resourceFile));
    json["summary"] = std::move(summary);
    json["records"] = std::move(records);
    return jsonBody(json);
}

}  // namespace quill::web
