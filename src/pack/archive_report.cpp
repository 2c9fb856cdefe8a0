#include "pack/archive_report.h"

#include <algorithm>
#include <utility>

#include "common/ascii_case.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

std::string stopReason(const ListEntry& entry, std::int64_t size) {
    if (entry.offset < 0) return "negative offset";
    if (entry.length < 1) return entry.length == 0 ? "zero length" : "negative length";
    const std::int64_t past = std::int64_t{entry.offset} + entry.length - size;
    return "past the end by " + std::to_string(past) + (past == 1 ? " byte" : " bytes");
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

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

}  // namespace

bool sameOutputPath(const std::string& a, const std::string& b, NameRules rules) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        // Both hosts take either slash as a separator.
        if (isSeparator(a[i]) && isSeparator(b[i])) continue;
        if (rules == NameRules::windows ? !equalsIgnoringAsciiCase({&a[i], 1}, {&b[i], 1}) : a[i] != b[i]) return false;
    }
    return true;
}

ArchiveReport analyseArchive(const EntryTable& table, std::int64_t resourceSize, NameRules rules) {
    ArchiveReport report;
    report.resourceSize = resourceSize;
    const auto size32 = static_cast<std::int32_t>(resourceSize);
    const auto count = static_cast<std::size_t>(table.count);
    report.records.resize(count);
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges(count, {0, 0});
    std::vector<bool> inside(count, false);

    for (std::size_t i = 0; i < count; ++i) {
        const ListEntry& entry = table.entries[i];
        RecordReport& record = report.records[i];
        if (!checkEntry(entry, size32)) {
            record.action = RecordAction::stop;
            record.stopReason = stopReason(entry, resourceSize);
        } else if (isUnsafeEntryName(entry.name, rules)) {
            record.action = RecordAction::refuseName;
        } else {
            record.action = isSoundName(entry.name) ? RecordAction::writeWithWav : RecordAction::write;
        }
        if (checkEntry(entry, size32)) {
            inside[i] = true;
            ranges[i] = {entry.offset, std::int64_t{entry.offset} + entry.length};
        }
        if (report.stopsAt < 0 && (record.action == RecordAction::stop || record.action == RecordAction::refuseName)) {
            report.stopsAt = static_cast<int>(i);
            report.stopStatus = record.action == RecordAction::stop ? 5 : 6;
        }
    }

    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t j = i + 1; j < count; ++j) {
            if (report.records[i].replacedBy < 0 &&
                sameOutputPath(table.entries[i].name, table.entries[j].name, rules)) {
                report.records[i].replacedBy = static_cast<int>(j);
            }
            if (inside[i] && inside[j] && ranges[i].first < ranges[j].second && ranges[j].first < ranges[i].second) {
                report.records[i].overlaps.push_back(static_cast<int>(j));
                report.records[j].overlaps.push_back(static_cast<int>(i));
            }
        }
    }
    for (auto& record : report.records) std::sort(record.overlaps.begin(), record.overlaps.end());

    std::vector<std::pair<std::int64_t, std::int64_t>> covered;
    for (std::size_t i = 0; i < count; ++i) {
        if (inside[i]) covered.push_back(ranges[i]);
    }
    const auto [once, twice] = coverage(covered);
    report.coveredBytes = once;
    report.gapBytes = resourceSize - once;
    report.overlappingBytes = twice;
    return report;
}

}  // namespace quill::pack
