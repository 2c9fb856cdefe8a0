// The workbench's History panel and its data/ line: the archive's versions,
// Undo, Redo and restore through quillpack's own commands, and the status of
// data/ as quillpack status gives it.
#include <charconv>

#include "pack/history_command.h"
#include "pack/history_store.h"
#include "pack/status.h"
#include "web/page_text.h"
#include "web/text_console.h"
#include "web/workbench_state.h"

namespace quill::web {
namespace {

Reply jsonOf(int status, const Json& json) { return {status, "application/json", jsonBody(json), {}}; }

Json linesJson(const std::vector<std::string>& lines) {
    Json json = Json::array();
    for (const std::string& line : lines) json.push_back(pageText(line));
    return json;
}

Reply refused(int status, const std::vector<std::string>& lines, bool changed = false) {
    Json json;
    json["ok"] = false;
    json["changed"] = changed;
    json["messages"] = linesJson(lines);
    return jsonOf(status, json);
}

// The versions Undo and Redo go to, as moveInHistory picks them; 0 for none.
std::pair<int, int> neighbours(const pack::History& history) {
    if (history.versions.empty()) return {0, 0};
    const int at = history.indexOf(history.current);
    // A list changed outside quillpack goes back to the version it was made from.
    if (at < 0) {
        const pack::HistoryVersion* from = history.find(history.storedCurrent);
        return {from != nullptr ? from->number : history.versions.back().number, 0};
    }
    const auto index = static_cast<std::size_t>(at);
    return {at > 0 ? history.versions[index - 1].number : 0,
            index + 1 < history.versions.size() ? history.versions[index + 1].number : 0};
}

Json historyJson(const pack::History& history) {
    Json versions = Json::array();
    for (auto version = history.versions.rbegin(); version != history.versions.rend(); ++version) {
        Json item;
        item["number"] = version->number;
        item["date"] = pack::historyDate(version->time);
        item["time"] = version->time;
        item["command"] = pageText(version->command);
        item["summary"] = pageText(version->summary);
        item["current"] = version->number == history.current;
        versions.push_back(std::move(item));
    }
    const auto [undoTo, redoTo] = neighbours(history);
    Json json;
    json["ok"] = true;
    json["current"] = history.current;
    json["changedOutside"] = history.current == 0 && !history.versions.empty();
    json["undoTo"] = undoTo;
    json["redoTo"] = redoTo;
    json["versions"] = std::move(versions);
    return json;
}

}  // namespace

Reply WorkbenchState::history() {
    const std::lock_guard disk(disk_);
    TextConsole err;
    pack::Archive archive;
    // As quillpack history: an archive an unpack stops at still has its history.
    if (const pack::PackStatus loaded = pack::loadArchiveConsistent(host_, err, options_.listPath, archive);
        loaded != pack::PackStatus::done && loaded != pack::PackStatus::archiveUnsafe) {
        return refused(200, err.lines());
    }
    pack::History history;
    if (pack::loadHistory(host_, err, archive, history) != pack::PackStatus::done) return refused(200, err.lines());
    Json json = historyJson(history);
    json["version"] = archiveVersion(archive);
    return jsonOf(200, json);
}

Reply WorkbenchState::moveTo(std::string_view version, std::string_view kind, std::string_view number) {
    if (options_.readOnly) return refused(403, {"the workbench was opened --read-only; nothing written"});
    pack::HistoryMove move;
    if (kind == "undo") {
        move.kind = pack::HistoryMove::undo;
    } else if (kind == "redo") {
        move.kind = pack::HistoryMove::redo;
    } else if (kind == "restore") {
        move.kind = pack::HistoryMove::restore;
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), move.version);
        if (error != std::errc() || end != number.data() + number.size() || move.version < 1) {
            return refused(400, {"no version " + pageText(number.substr(0, 16)) + " to restore"});
        }
    } else {
        return refused(404, {"the workbench knows no " + pageText(kind.substr(0, 16))});
    }
    bool stale = false;
    move.proceed = [&](const pack::Archive& archive) {
        stale = archiveVersion(archive) != version;
        return !stale;
    };
    const std::lock_guard disk(disk_);
    TextConsole out;
    TextConsole err;
    const pack::PackStatus status = pack::moveInHistory(host_, out, err, options_.listPath, move);
    if (stale) {
        return refused(409,
                       {"the archive changed on disk since this page loaded it (another update or another page "
                        "saved); nothing changed"},
                       true);
    }
    std::vector<std::string> lines = out.lines();
    for (std::string& line : err.lines()) lines.push_back(std::move(line));
    Json json;
    json["ok"] = status == pack::PackStatus::done || status == pack::PackStatus::dataNotRefreshed;
    json["changed"] = false;
    json["status"] = static_cast<int>(status);
    json["messages"] = linesJson(lines);
    return jsonOf(200, json);
}

Reply WorkbenchState::dataStatus() {
    const std::lock_guard disk(disk_);
    TextConsole out;
    TextConsole err;
    // The command itself, so the page shows what status --json prints.
    const pack::PackStatus status = pack::statusOfData(host_, out, err, options_.listPath, {false, true});
    std::vector<std::string> messages = err.lines();
    Json document;
    if (status == pack::PackStatus::done || status == pack::PackStatus::differs) {
        std::string text;
        for (const std::string& line : out.lines()) text += line + "\n";
        document = Json::parse(text, nullptr, false);
        if (document.is_discarded()) {
            document = Json();
            messages.push_back("quillpack status --json printed what is not JSON");
        }
    }
    Json json;
    json["ok"] = document.is_object();
    json["status"] = static_cast<int>(status);
    json["document"] = std::move(document);
    json["messages"] = linesJson(messages);
    return jsonOf(200, json);
}

}  // namespace quill::web
