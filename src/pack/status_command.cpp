// quillpack status: what update would do with data/, and what else there is
// not what an unpack of the archive leaves, as lines for a person or JSON.
#include <nlohmann/json.hpp>

#include "pack/json_output.h"
#include "pack/status.h"

namespace quill::pack {
namespace {

constexpr std::size_t kLabelWidth = 16;

std::string recordNumbers(const std::vector<int>& records) {
    std::string text;
    for (const int record : records) text += (text.empty() ? "" : ", ") + std::to_string(record + 1);
    return text;
}

// What follows the label: the path, and why it is listed.
std::string lineText(const Host& host, const DataLine& line) {
    const std::string path = shownPath(host, line.path);
    switch (line.state) {
        case DataState::modified:
            return path + " (" + (line.records.size() > 1 ? "records " : "record ") + recordNumbers(line.records) +
                   "; update takes it)";
        case DataState::modifiedWav: return path + " (update -wav2dig takes it)";
        case DataState::missing: return path + " (kept as it is)";
        case DataState::notInArchive: return path + " (no record writes it; add takes it)";
        case DataState::missingDirectory:
            return path + (line.detail.empty() ? " (an unpack needs it)" : " (" + line.detail + "; an unpack needs one)");
        case DataState::setAside:
            return path + " (left by an update that was stopped beside " + shownPath(host, line.others.front()) +
                   "; it holds no edit: delete it)";
        case DataState::conflict:
            // update's own words, less the word the label already says
            return line.detail.starts_with("conflict: ") ? line.detail.substr(10) : line.detail;
        case DataState::unusable:
        case DataState::link:
            return line.detail.starts_with(path) ? line.detail : path + ": " + line.detail;
    }
    return path;
}

const char* countNoun(DataState state, bool one) {
    switch (state) {
        case DataState::modified: return "modified";
        case DataState::modifiedWav: return one ? ".WAV modified" : ".WAV files modified";
        case DataState::conflict: return one ? "conflict" : "conflicts";
        case DataState::unusable: return "unusable";
        case DataState::link: return one ? "link" : "links";
        case DataState::missing: return "missing";
        case DataState::notInArchive: return "not in the archive";
        case DataState::missingDirectory: return one ? "directory missing" : "directories missing";
        case DataState::setAside: return "set aside";
    }
    return "";
}

constexpr DataState kStates[] = {DataState::modified,     DataState::modifiedWav,      DataState::conflict,
                                 DataState::unusable,     DataState::link,             DataState::missing,
                                 DataState::notInArchive, DataState::missingDirectory, DataState::setAside};

void printText(const Host& host, Console& out, const Archive& archive, const DataStatus& status, bool verbose) {
    for (const DataLine& line : status.lines) {
        // Missing files are many after a partial unpack, and update keeps them as
        // they are: named with -v only, counted either way.
        if (line.state == DataState::missing && !verbose) continue;
        std::string label = stateLabel(line.state);
        label.resize(std::max(label.size() + 1, kLabelWidth), ' ');
        out.print(label + lineText(host, line) + "\n");
    }
    const std::string data = shownPath(host, archive.paths.dataDirectory);
    if (!status.differs()) {
        out.print(data + " is what an unpack of the archive leaves\n");
        return;
    }
    std::string counts;
    for (const DataState state : kStates) {
        const int count = status.count(state);
        if (count == 0) continue;
        counts += (counts.empty() ? "" : ", ") + std::to_string(count) + " " + countNoun(state, count == 1);
    }
    if (!verbose && status.count(DataState::missing) > 0) counts += " (-v names the missing)";
    out.print(data + " differs from the archive: " + counts + "\n");
}

Json lineJson(const Host& host, const DataLine& line) {
    Json item;
    item["state"] = stateKey(line.state);
    putPath(item, "path", host, line.path);
    Json records = Json::array();
    for (const int record : line.records) records.push_back(record + 1);
    item["records"] = std::move(records);
    Json others = Json::array();
    for (const std::string& other : line.others) {
        Json path;
        putPath(path, "path", host, other);
        others.push_back(std::move(path));
    }
    item["others"] = std::move(others);
    item["detail"] = textOfBytes(line.detail);
    return item;
}

Json statusJson(const Host& host, const Archive& archive, const DataStatus& status) {
    Json document = jsonDocument("status");
    putPath(document, "list", host, archive.paths.list);
    putPath(document, "dataDirectory", host, archive.paths.dataDirectory);
    document["differs"] = status.differs();
    Json lines = Json::array();
    for (const DataLine& line : status.lines) lines.push_back(lineJson(host, line));
    document["lines"] = std::move(lines);
    Json counts;
    for (const DataState state : kStates) counts[stateKey(state)] = status.count(state);
    document["counts"] = std::move(counts);
    return document;
}

}  // namespace

const char* stateLabel(DataState state) {
    switch (state) {
        case DataState::modified: return "modified";
        case DataState::modifiedWav: return "modified .WAV";
        case DataState::conflict: return "conflict";
        case DataState::unusable: return "unusable";
        case DataState::link: return "link";
        case DataState::missing: return "missing";
        case DataState::notInArchive: return "not in archive";
        case DataState::missingDirectory: return "no directory";
        case DataState::setAside: return "set aside";
    }
    return "";
}

const char* stateKey(DataState state) {
    switch (state) {
        case DataState::modified: return "modified";
        case DataState::modifiedWav: return "modifiedWav";
        case DataState::conflict: return "conflict";
        case DataState::unusable: return "unusable";
        case DataState::link: return "link";
        case DataState::missing: return "missing";
        case DataState::notInArchive: return "notInArchive";
        case DataState::missingDirectory: return "missingDirectory";
        case DataState::setAside: return "setAside";
    }
    return "";
}

PackStatus statusOfData(Host& host, Console& out, Console& err, const std::string& listPath,
                        const StatusOptions& options) {
    Archive archive;
    if (const PackStatus loaded = loadArchiveConsistent(host, err, listPath, archive); loaded != PackStatus::done) {
        return loaded;
    }
    if (!archive.plan.completes()) {
        const int record = archive.plan.stopsAt;
        err.print(shownPath(host, listPath) + ": an unpack stops at record " + std::to_string(record + 1) + " (" +
                  shownName(archive.table->entries[static_cast<std::size_t>(record)].name) + ") with status " +
                  std::to_string(archive.plan.stopStatus) + "; quillpack list shows why\n");
        return PackStatus::archiveUnsafe;
    }
    DataStatus status;
    readDataStatus(host, archive, status);
    // What could not be read, or changed meanwhile, is no report.
    if (const PackStatus read = checkResourceRead(host, err, archive); read != PackStatus::done) return read;
    if (options.json) {
        if (const PackStatus printed = printJson(out, err, statusJson(host, archive, status));
            printed != PackStatus::done) {
            return printed;
        }
    } else {
        printText(host, out, archive, status, options.verbose);
        if (std::string reason; !out.flush(reason)) {
            err.print(withReason("standard output: cannot be written", reason) + "\n");
            return PackStatus::writeFailed;
        }
    }
    return status.differs() ? PackStatus::differs : PackStatus::done;
}

}  // namespace quill::pack
