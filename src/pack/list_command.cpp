// quillpack list: what an unpack of the archive would do, record by record.
#include <cstdio>

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

std::string actionText(const ListEntry& entry, const RecordReport& record) {
    std::string text;
    switch (record.action) {
        case RecordAction::write: text = "write"; break;
        case RecordAction::writeWithWav: text = "write, and " + shownName(wavNameFor(entry.name)) + " (sound)"; break;
        case RecordAction::stop: text = "unpack stops here: " + record.stopReason + " (status 5)"; break;
        case RecordAction::refuseName: text = "unpack stops here: name refused (status 6)"; break;
    }
    if (record.replacedBy >= 0) text += "; replaced by record " + std::to_string(record.replacedBy + 1);
    if (!record.overlaps.empty()) {
        text += std::string("; overlaps record") + (record.overlaps.size() > 1 ? "s " : " ") + recordList(record.overlaps);
    }
    return text;
}

void printLine(Console& out, const char* format, auto... values) {
    char line[160];
    const int length = std::snprintf(line, sizeof line, format, values...);
    out.print({line, static_cast<std::size_t>(std::min<int>(length, static_cast<int>(sizeof line) - 1))});
}

void printReport(Console& out, const EntryTable& table, const ArchiveReport& report, const std::string& resource) {
    printLine(out, "%5s  %-14s %11s %11s  %s\n", "#", "name", "offset", "length", "unpack");
    for (std::size_t i = 0; i < report.records.size(); ++i) {
        const ListEntry& entry = table.entries[i];
        printLine(out, "%5zu  %-14s %11d %11d  ", i + 1, shownName(entry.name).c_str(), entry.offset, entry.length);
        out.print(actionText(entry, report.records[i]) + "\n");
    }
    const auto bytes = [](std::int64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); };
    out.print("\nrecords      " + std::to_string(report.records.size()) + "\n");
    out.print("resource     " + bytes(report.resourceSize) + " (" + resource + ")\n");
    out.print("covered      " + bytes(report.coveredBytes) + "\n");
    out.print("gaps         " + bytes(report.gapBytes) + "\n");
    out.print("overlapping  " + bytes(report.overlappingBytes) + "\n");
    if (report.stopsAt < 0) {
        out.print("unpack       completes\n");
    } else {
        out.print("unpack       stops at record " + std::to_string(report.stopsAt + 1) + " with status " +
                  std::to_string(report.stopStatus) + "\n");
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
    printReport(out, *archive.table, archive.report, shownPath(host, archive.resourcePath));
    return archive.report.stopsAt < 0 ? PackStatus::done : PackStatus::archiveUnsafe;
}

}  // namespace quill::pack
