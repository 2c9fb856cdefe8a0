#include "archive/unpack_plan.h"

#include <algorithm>
#include <utility>

#include "archive/output_path.h"
#include "sound/dig_to_wav.h"

namespace quill {
namespace {

std::string stopReason(const ListEntry& entry, std::int64_t size) {
    if (entry.offset < 0) return "negative offset";
    if (entry.length < 1) return entry.length == 0 ? "zero length" : "negative length";
    const std::int64_t past = std::int64_t{entry.offset} + entry.length - size;
    return "past the end by " + std::to_string(past) + (past == 1 ? " byte" : " bytes");
}

// Bytes covered by at least one, and by at least two, of the ranges.
std::pair<std::int64_t, std::int64_t> coverage(const std::vector<std::pair<std::int64_t, std::int64_t>>& ranges) {
    std::vector<std::pair<std::int64_t, int>> edges;
    for (const auto& [begin, end] : ranges) {
        edges.emplace_back(begin, +1);
        edges.emplace_back(end, -1);
    }
    std::sort(edges.begin(), edges.end());
    std::int64_t once = 0;
    std::int64_t twice = 0;
    int depth = 0;
    std::int64_t last = 0;
    for (const auto& [at, step] : edges) {
        if (depth >= 1) once += at - last;
        if (depth >= 2) twice += at - last;
        depth += step;
        last = at;
    }
    return {once, twice};
}

// Walks the writes in the order the unpack makes them; each one marks the
// write it overwrites as replaced.
void linkReplacements(UnpackPlan& plan) {
    std::map<std::string, std::pair<int, bool>> standing;  // path -> (step, by companion)
    const auto land = [&](const std::string& path, int step, bool byCompanion) {
        const auto [at, fresh] = standing.try_emplace(path, step, byCompanion);
        if (!fresh) {
            UnpackStep& earlier = plan.steps[static_cast<std::size_t>(at->second.first)];
            (at->second.second ? earlier.companionReplacedBy : earlier.fileReplacedBy) = {step, byCompanion};
            at->second = {step, byCompanion};
        }
    };
    for (int i = 0; i < plan.stepsTaken(); ++i) {
        const UnpackStep& step = plan.steps[static_cast<std::size_t>(i)];
        land(step.file, i, false);
        if (!step.companion.empty()) land(step.companion, i, true);
    }
    for (const auto& [path, writer] : standing) plan.finalWriters[path] = {writer.first, writer.second};
}

}  // namespace

UnpackPlan planUnpack(const EntryTable& table, std::int64_t resourceSize, NameRules rules, bool withCompanions) {
    UnpackPlan plan;
    plan.withCompanions = withCompanions;
    plan.resourceSize = resourceSize;
    const auto size32 = static_cast<std::int32_t>(resourceSize);
    const auto count = static_cast<std::size_t>(table.count);
    plan.steps.resize(count);
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    std::vector<std::size_t> inside;

    for (std::size_t i = 0; i < count; ++i) {
        const ListEntry& entry = table.entries[i];
        UnpackStep& step = plan.steps[i];
        step.file = canonicalEntryPath(entry.name, rules);
        if (withCompanions && isSoundName(entry.name)) step.companion = canonicalEntryPath(wavNameFor(entry.name), rules);
        if (!checkEntry(entry, size32)) {
            step.kind = StepKind::invalidEntry;
            step.stopReason = stopReason(entry, resourceSize);
        } else {
            inside.push_back(i);
            ranges.emplace_back(entry.offset, std::int64_t{entry.offset} + entry.length);
            if (isUnsafeEntryName(entry.name, rules)) step.kind = StepKind::refusedName;
        }
        if (plan.stopsAt < 0 && step.kind != StepKind::write) {
            plan.stopsAt = static_cast<int>(i);
            plan.stopStatus = step.kind == StepKind::invalidEntry ? 5 : 6;
        }
    }
    linkReplacements(plan);

    // Sorted by start, each range meets only those that start before it ends.
    std::vector<std::size_t> order(inside.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return ranges[a] < ranges[b]; });
    for (std::size_t a = 0; a < order.size(); ++a) {
        for (std::size_t b = a + 1; b < order.size() && ranges[order[b]].first < ranges[order[a]].second; ++b) {
            const int first = static_cast<int>(inside[order[a]]);
            const int second = static_cast<int>(inside[order[b]]);
            plan.steps[static_cast<std::size_t>(first)].overlaps.push_back(second);
            plan.steps[static_cast<std::size_t>(second)].overlaps.push_back(first);
        }
    }
    for (auto& step : plan.steps) std::sort(step.overlaps.begin(), step.overlaps.end());

    const auto [once, twice] = coverage(ranges);
    plan.coveredBytes = once;
    plan.gapBytes = resourceSize - once;
    plan.overlappingBytes = twice;
    return plan;
}

Replacement finalWriter(const UnpackPlan& plan, const std::string& canonicalPath) {
    const auto found = plan.finalWriters.find(canonicalPath);
    return found == plan.finalWriters.end() ? Replacement{} : found->second;
}

}  // namespace quill
