#include "web/snapshot.h"

#include <algorithm>
#include <cstdio>

#include "sound/dig_to_wav.h"
#include "web/json_text.h"

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

std::string recordJson(const Host& host, const Snapshot& snapshot, std::size_t i) {
    const ListEntry& entry = snapshot.archive.table->entries[i];
    const UnpackPlan& plan = snapshot.archive.plan;
    const UnpackStep& step = plan.steps[i];
    const int stopsAt = stopOf(snapshot);
    const bool taken = stopsAt < 0 || static_cast<int>(i) <= stopsAt;
    const bool diskStop = static_cast<int>(i) == snapshot.disk.step;
    constexpr std::size_t kOverlapsShown = 5;
    std::string overlaps;
    for (std::size_t k = 0; k < step.overlaps.size() && k < kOverlapsShown; ++k) {
        if (k > 0) overlaps += ',';
        overlaps += jsonNumber(shown(step.overlaps[k]));
    }
    std::string json = "{\"n\":" + jsonNumber(static_cast<std::int64_t>(i) + 1);
    json += ",\"name\":" + jsonString(host.importListName(entry.name));
    json += ",\"offset\":" + jsonNumber(entry.offset) + ",\"length\":" + jsonNumber(entry.length);
    json += ",\"kind\":" + jsonString(kindName(snapshot.kinds[i]));
    json += ",\"unpack\":{\"step\":" + jsonString(diskStop ? "missingDirectory" : stepName(step.kind)) +
            ",\"taken\":" + jsonBool(taken);
    json += ",\"reason\":" + jsonString(diskStop ? snapshot.diskText : step.stopReason);
    json += ",\"wav\":" + jsonString(step.companion.empty() ? std::string() : host.importListName(wavNameFor(entry.name)));
    json += ",\"replacedBy\":" + jsonNumber(shown(step.fileReplacedBy.step)) +
            ",\"replacedByWav\":" + jsonBool(step.fileReplacedBy.byCompanion);
    json += ",\"wavReplacedBy\":" + jsonNumber(shown(step.companionReplacedBy.step)) +
            ",\"wavReplacedByWav\":" + jsonBool(step.companionReplacedBy.byCompanion);
    json += ",\"overlaps\":[" + overlaps + "],\"overlapCount\":" +
            jsonNumber(static_cast<std::int64_t>(step.overlaps.size())) + "}}";
    return json;
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
    for (int i = 0; i < archive.table->count; ++i) {
        const ListEntry& entry = archive.table->entries[static_cast<std::size_t>(i)];
        const bool inside = checkEntry(entry, static_cast<std::int32_t>(archive.resource.size));
        snapshot.kinds.push_back(
            recordKind(entry.name, inside ? pack::recordBytes(archive, i) : std::span<const std::byte>()));
    }
}

std::string archiveJson(const Host& host, const Snapshot& snapshot, bool readOnly) {
    const UnpackPlan& plan = snapshot.archive.plan;
    std::string json = "{\"version\":" + jsonString(snapshot.version) + ",\"readOnly\":" + jsonBool(readOnly);
    json += ",\"stamp\":" + jsonString(snapshot.stamp);
    json += ",\"list\":" + jsonString(pack::shownPath(host, snapshot.archive.paths.list));
    json += ",\"resource\":" + jsonString(pack::shownPath(host, snapshot.archive.resourceFile));
    json += ",\"summary\":{\"records\":" + jsonNumber(static_cast<std::int64_t>(plan.steps.size()));
    json += ",\"resourceSize\":" + jsonNumber(plan.resourceSize) + ",\"covered\":" + jsonNumber(plan.coveredBytes);
    json += ",\"gaps\":" + jsonNumber(plan.gapBytes) + ",\"overlapping\":" + jsonNumber(plan.overlappingBytes);
    const int stopsAt = stopOf(snapshot);
    json += ",\"completes\":" + jsonBool(stopsAt < 0) + ",\"stopsAt\":" + jsonNumber(shown(stopsAt));
    json += ",\"stopStatus\":" + jsonNumber(snapshot.disk.step >= 0 ? 6 : plan.stopStatus);
    json += ",\"stopReason\":" + jsonString(snapshot.diskText) + "},\"records\":[";
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        if (i > 0) json += ',';
        json += recordJson(host, snapshot, i);
    }
    return json + "]}";
}

}  // namespace quill::web
