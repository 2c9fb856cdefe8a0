#include "web/workbench_state.h"

#include <algorithm>
#include <charconv>

#include "pack/archive_edit.h"
#include "sound/dig_to_wav.h"
#include "web/page_text.h"
#include "web/staged_changes.h"
#include "web/text_console.h"

namespace quill::web {
namespace {

Reply jsonReply(int status, std::string body) { return {status, "application/json", std::move(body), {}}; }
Reply jsonReply(int status, const Json& json) { return jsonReply(status, jsonBody(json)); }

Json messagesJson(const std::vector<std::string>& lines) {
    Json json = Json::array();
    for (const std::string& line : lines) json.push_back(pageText(line));
    return json;
}

Reply refusal(int status, const std::vector<std::string>& lines, bool changed = false) {
    Json json;
    json["ok"] = false;
    json["changed"] = changed;
    json["messages"] = messagesJson(lines);
    return jsonReply(status, json);
}

// The file name a download is offered under: the last part of the record's name.
std::string lastPart(const std::string& name) {
    const std::size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

std::shared_ptr<const Snapshot> WorkbenchState::current() {
    const std::lock_guard guard(snapshotGuard_);
    return snapshot_;
}

pack::PackStatus WorkbenchState::load(Console& err) {
    const std::lock_guard disk(disk_);
    auto fresh = std::make_shared<Snapshot>();
    const pack::PackStatus status = pack::loadArchiveConsistent(host_, err, options_.listPath, fresh->archive);
    if (status != pack::PackStatus::done) return status;
    // The view needs no more of the list, and on Windows an open list cannot
    // be replaced: Save would fail while the page is open.
    fresh->archive.listRest.reset();
    describeSnapshot(host_, *fresh);
    // A record that could not be read would show as another kind: no view from it.
    if (const pack::PackStatus read = pack::checkResourceRead(host_, err, fresh->archive); read != pack::PackStatus::done) {
        return read;
    }
    // Not held open while the page is: on Windows no other program could replace or rewrite it meanwhile.
    fresh->archive.resource.close();
    const std::lock_guard guard(snapshotGuard_);
    snapshot_ = std::move(fresh);
    return status;
}

Reply WorkbenchState::reload() {
    TextConsole err;
    if (load(err) != pack::PackStatus::done) return refusal(409, err.lines());
    return jsonReply(200, archiveJson(host_, *current(), options_.readOnly));
}

Reply WorkbenchState::record(std::string_view number, bool wav, std::string_view version, std::size_t most,
                             bool download) {
    const std::shared_ptr<const Snapshot> snapshot = current();
    if (!snapshot || version != snapshot->version) {
        return refusal(409, {"the archive was loaded again since this page loaded it: reload the page's view"}, true);
    }
    const pack::Archive& archive = snapshot->archive;
    int record = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), record);
    if (error != std::errc() || end != number.data() + number.size() || record < 1 || record > archive.table->count) {
        return refusal(404, {"no record " + std::string(number.substr(0, 16))});
    }
    const ListEntry& entry = archive.table->entries[static_cast<std::size_t>(record - 1)];
    if (!checkEntry(entry, static_cast<std::int32_t>(archive.resource.size))) {
        return refusal(404, {"record " + std::to_string(record) + " lies outside the resource"});
    }
    // Only what the reply carries is read: the first `most` bytes, or the whole sound for its .WAV.
    if (wav && snapshot->kinds[static_cast<std::size_t>(record - 1)] != RecordKind::sound) {
        return refusal(404, {"record " + std::to_string(record) + " is not a sound"});
    }
    // Opened for this reply, and only the resource the page was loaded from
    // (same size and last change) serves it: another program's write since
    // is a changed archive, never bytes the page did not load.
    ResourceFile now;
    if (now.open(host_, archive.paths.resource, NameCase::ignoreWhenMissing, INT32_MAX) != LoadStatus::loaded ||
        !archive.resource.sameAs(now)) {
        return refusal(409, {"the archive changed on disk since this page loaded it: reload the page's view"}, true);
    }
    std::vector<std::byte> bytes;
    const auto length = static_cast<std::size_t>(entry.length);
    if (!now.read(entry.offset, static_cast<std::int64_t>(wav ? length : std::min(length, most)), bytes) ||
        now.changedSince(host_, archive.paths.resource, NameCase::ignoreWhenMissing)) {
        return refusal(409, {pack::withReason(pack::shownPath(host_, archive.resourceFile) + ": cannot be read",
                                              now.failure()) + "; reload the page's view"}, true);
    }
    Reply reply;
    if (wav) {
        const std::vector<std::byte> companion = companionBytes(bytes);
        reply.type = "audio/wav";
        reply.body.assign(reinterpret_cast<const char*>(companion.data()), companion.size());
        if (download) reply.fileName = lastPart(host_.importListName(wavNameFor(entry.name)));
        return reply;
    }
    reply.type = "application/octet-stream";
    reply.body.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (download) reply.fileName = lastPart(host_.importListName(entry.name));
    return reply;
}

Reply WorkbenchState::nameCheck(std::string_view typed, std::string_view recordField, std::string_view changes) {
    const std::shared_ptr<const Snapshot> snapshot = current();
    if (!snapshot) return refusal(409, {"the archive is not loaded"});
    const pack::Archive& archive = snapshot->archive;
    int record = -1;  // a new record
    if (!recordField.empty()) {
        int number = 0;
        const auto [end, error] = std::from_chars(recordField.data(), recordField.data() + recordField.size(), number);
        if (error != std::errc() || end != recordField.data() + recordField.size() || number < 1 ||
            number > archive.table->count) {
            return refusal(404, {"no record " + std::string(recordField.substr(0, 16))});
        }
        record = number - 1;
    }
    std::string name;
    std::string problem;
    std::string note;
    if (!host_.exportListName(std::string(typed), name)) {
        problem = "holds characters the game's list cannot spell on this system";
    } else if (problem = pack::nameProblem(name); problem.empty()) {
        // The same rules Save applies, against the archive with the staged
        // changes made; what those changes get wrong by themselves is Save's
        // to say, not this name's.
        pack::ArchiveEdit edit;
        (void)stagedNames(host_, archive, changes, edit);
        const std::vector<std::string> before = pack::editProblems(archive, host_.nameRules(), edit);
        if (record >= 0) {
            // Judged as the record taken out and its new name added: the
            // same clashes as a rename in place, each named by the other record.
            edit.renamed.erase(record);
            for (pack::NewBytes& group : edit.replaced) std::erase(group.records, record);
            std::erase_if(edit.replaced, [](const pack::NewBytes& group) { return group.records.empty(); });
            edit.removed.insert(record);
        }
        edit.added.push_back({name, {std::byte{0}}});
        for (const std::string& found : pack::editProblems(archive, host_.nameRules(), edit)) {
            if (std::find(before.begin(), before.end(), found) == before.end()) {
                problem = found;
                break;
            }
        }
    }
    if (problem.empty()) {
        const std::lock_guard disk(disk_);
        std::map<std::string, PathState> known;
        pack::DiskStop stop;
        if (pack::neededDirectory(host_, archive.paths.dataDirectory, host_.importListName(name), known, stop)) {
            note = pack::diskStopText(host_, stop) +
                   ": an unpack stops at this record (status 6) until it is made (quillpack extract makes it)";
        }
    }
    Json json;
    json["problem"] = pageText(problem);
    json["note"] = pageText(note);
    return jsonReply(200, json);
}

Reply WorkbenchState::stamp() {
    const std::shared_ptr<const Snapshot> snapshot = current();
    if (!snapshot) return refusal(409, {"the archive is not loaded"});
    const std::lock_guard disk(disk_);
    Json json;
    json["stamp"] = pageText(diskStamp(host_, snapshot->archive));
    return jsonReply(200, json);
}

Reply WorkbenchState::save(std::string_view version, std::string_view changes,
                           const std::map<std::string, std::string_view>& parts) {
    if (options_.readOnly) return refusal(403, {"the workbench was opened --read-only; nothing written"});
    const std::lock_guard disk(disk_);
    TextConsole out;
    TextConsole err;
    if (pack::refuseListThatIsItsResource(host_, err, options_.listPath) != pack::PackStatus::done) {
        return refusal(200, err.lines());
    }
    std::unique_ptr<FileLock> lock;
    pack::Archive archive;
    if (pack::loadArchiveLocked(host_, err, options_.listPath, archive, lock) != pack::PackStatus::done) {
        auto lines = err.lines();
        lines.push_back("nothing written");
        return refusal(200, lines);
    }
    if (archiveVersion(archive) != version) {
        return refusal(200,
                       {"the archive changed on disk since this page loaded it (another update or another page "
                        "saved); nothing written. Reload shows it as it is now."},
                       true);
    }
    pack::ArchiveEdit edit;
    edit.command = "workbench Save";
    std::vector<std::string> problems = stagedEdit(host_, archive, changes, parts, edit);
    if (!problems.empty()) {
        problems.push_back("nothing written");
        return refusal(200, problems);
    }
    const pack::PackStatus status = pack::applyEdit(host_, out, err, archive, edit, {});
    lock.reset();
    std::vector<std::string> lines = out.lines();
    for (std::string& line : err.lines()) lines.push_back(std::move(line));
    const bool saved = status == pack::PackStatus::done || status == pack::PackStatus::dataNotRefreshed;
    Json json;
    json["ok"] = saved;
    json["changed"] = false;
    json["status"] = static_cast<int>(status);
    json["messages"] = messagesJson(lines);
    return jsonReply(200, json);
}

}  // namespace quill::web
