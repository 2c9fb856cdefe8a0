// The workbench's History panel and data/ panel, apart from HTTP: the history
// as the page reads it, Undo, Redo and restore through quillpack's own
// commands (refused as Save is when the archive changed since the page loaded
// it), and the status of data/ as quillpack status --json gives it.
#include <gtest/gtest.h>

#include "support/memory_host.h"
#include "web/page_text.h"
#include "web/workbench_state.h"

namespace quill::web {
namespace {

using testing::MemoryHost;
using testing::toBytes;
using testing::toText;

constexpr const char* kFirst = "4 0 A.TXT\r\n6 4 B.DIG\r\n";
constexpr const char* kSecond = "4 10 A.TXT\r\n6 4 B.DIG\r\n";    // A.TXT replaced
constexpr const char* kThird = "4 10 A.TXT\r\n6 4 B.DIG\r\n3 14 C.BIN\r\n";  // C.BIN added

class WorkbenchHistory : public ::testing::Test {
protected:
    MemoryHost host;
    ServeOptions options{"G\\S.RD", 0, false, false};

    void SetUp() override {
        host.files.clear();
        host.directories = {"G", "G\\data"};
        host.files["G\\S.RD"] = toBytes(kFirst);
        host.files["G\\S.RES"] = toBytes("textSOUNDS");
    }
    static Json parsed(const Reply& reply) {
        Json json = Json::parse(reply.body, nullptr, false);
        EXPECT_FALSE(json.is_discarded()) << reply.body;
        return json;
    }
    std::string versionOf(WorkbenchState& state) { return parsed(state.reload())["version"].get<std::string>(); }
    // Two Saves: the list as kSecond, then as kThird.
    void saveTwice(WorkbenchState& state) {
        const std::map<std::string, std::string_view> first{{"f0", "new!"}};
        ASSERT_TRUE(parsed(state.save(versionOf(state), "replace 1 f0 raw", first))["ok"].get<bool>());
        const std::map<std::string, std::string_view> second{{"f0", "xyz"}};
        ASSERT_TRUE(parsed(state.save(versionOf(state), "add f0 raw 432e42494e", second))["ok"].get<bool>());
        ASSERT_EQ(toText(host.files.at("G\\S.RD")), kThird);
    }
    // The numbers of the versions, newest first, and the current one.
    static std::pair<std::vector<int>, int> versions(const Json& history) {
        std::vector<int> numbers;
        int current = 0;
        for (const Json& version : history["versions"]) {
            numbers.push_back(version["number"].get<int>());
            if (version["current"].get<bool>()) current = version["number"].get<int>();
        }
        EXPECT_EQ(current, history["current"].get<int>());
        return {numbers, current};
    }
};

TEST_F(WorkbenchHistory, NoHistoryIsAnEmptyListAndNothingToUndo) {
    WorkbenchState state(host, options);
    const Json history = parsed(state.history());
    EXPECT_TRUE(history["ok"].get<bool>());
    EXPECT_TRUE(history["versions"].empty());
    EXPECT_EQ(history["undoTo"], 0);
    EXPECT_EQ(history["redoTo"], 0);
    const Json undo = parsed(state.moveTo(versionOf(state), "undo", ""));
    EXPECT_FALSE(undo["ok"].get<bool>());
    EXPECT_NE(undo.dump().find("no history yet"), std::string::npos) << undo.dump();
    EXPECT_EQ(toText(host.files.at("G\\S.RD")), kFirst);
}

// Undo and redo step through the versions two Saves made, the list on disk
// each time the version the history marks; restore goes to any kept one.
TEST_F(WorkbenchHistory, UndoRedoAndRestoreMoveBetweenTheSavedVersions) {
    WorkbenchState state(host, options);
    saveTwice(state);
    Json history = parsed(state.history());
    const auto [numbers, newest] = versions(history);
    ASSERT_EQ(numbers.size(), 3u) << history.dump();  // the list as found, and one per Save
    EXPECT_EQ(newest, numbers[0]);
    EXPECT_EQ(history["undoTo"], numbers[1]);
    EXPECT_EQ(history["redoTo"], 0);
    EXPECT_EQ(history["versions"][0]["command"], "workbench Save");
    EXPECT_EQ(history["versions"][0]["date"].get<std::string>().size(), 19u) << history.dump();

    struct Step {
        const char* kind;
        std::string number;
        const char* list;  // after it
        int current;       // the index in numbers (newest first) the history marks
    };
    const Step steps[] = {{"undo", "", kSecond, 1}, {"undo", "", kFirst, 2}, {"redo", "", kSecond, 1},
                          {"redo", "", kThird, 0},  {"restore", std::to_string(numbers[2]), kFirst, 2}};
    for (const Step& step : steps) {
        const Json moved = parsed(state.moveTo(versionOf(state), step.kind, step.number));
        EXPECT_TRUE(moved["ok"].get<bool>()) << step.kind << ": " << moved.dump();
        EXPECT_NE(moved.dump().find("again"), std::string::npos) << step.kind << ": " << moved.dump();
        EXPECT_EQ(toText(host.files.at("G\\S.RD")), step.list) << step.kind;
        EXPECT_EQ(versions(parsed(state.history())).second, numbers[static_cast<std::size_t>(step.current)]) << step.kind;
    }
    // A Save after going back drops the versions ahead, and says so.
    const std::map<std::string, std::string_view> parts{{"f0", "q"}};
    const Json saved = parsed(state.save(versionOf(state), "add f0 raw 442e42494e", parts));
    EXPECT_NE(saved.dump().find("dropped 2 versions that undo had left ahead"), std::string::npos) << saved.dump();
    history = parsed(state.history());
    EXPECT_EQ(history["redoTo"], 0);
    EXPECT_EQ(history["versions"].size(), 2u) << history.dump();
}

struct MoveRefusal {
    const char* what;
    const char* kind;
    const char* number;
    bool staleVersion;  // the page's version is one from before the last Save
    bool readOnly;
    int status;
    const char* said;
};

// What is refused changes nothing: the list stays the newest version.
TEST_F(WorkbenchHistory, RefusedMovesChangeNothing) {
    const MoveRefusal cases[] = {
        {"a page behind the archive on disk", "undo", "", true, false, 409, "changed on disk since this page loaded it"},
        {"read-only", "undo", "", false, true, 403, "read-only"},
        {"nothing to redo", "redo", "", false, false, 200, "nothing to redo"},
        {"a version not kept", "restore", "99", false, false, 200, "has no version 99"},
        {"a version that is no number", "restore", "1x", false, false, 400, "no version 1x"},
        {"a kind it does not know", "drop", "", false, false, 404, "knows no drop"},
    };
    for (const MoveRefusal& c : cases) {
        SetUp();
        WorkbenchState setup(host, options);
        const std::string before = versionOf(setup);
        saveTwice(setup);
        ServeOptions opened = options;
        opened.readOnly = c.readOnly;
        WorkbenchState state(host, opened);
        const Reply reply = state.moveTo(c.staleVersion ? before : versionOf(state), c.kind, c.number);
        EXPECT_EQ(reply.status, c.status) << c.what << ": " << reply.body;
        EXPECT_NE(reply.body.find(c.said), std::string::npos) << c.what << ": " << reply.body;
        EXPECT_NE(reply.body.find("\"ok\":false"), std::string::npos) << c.what << ": " << reply.body;
        EXPECT_EQ(reply.body.find("\"changed\":true") != std::string::npos, c.staleVersion) << c.what;
        EXPECT_EQ(toText(host.files.at("G\\S.RD")), kThird) << c.what;
    }
}

TEST_F(WorkbenchHistory, ADamagedHistoryIsSaidAndUndoRefused) {
    WorkbenchState state(host, options);
    saveTwice(state);
    host.files["G\\S.RD.history"] = toBytes("not a history at all");
    const Json history = parsed(state.history());
    EXPECT_FALSE(history["ok"].get<bool>());
    ASSERT_FALSE(history["messages"].empty()) << history.dump();
    EXPECT_NE(history["messages"][0].get<std::string>().find("S.RD.history"), std::string::npos) << history.dump();
    EXPECT_FALSE(parsed(state.moveTo(versionOf(state), "undo", ""))["ok"].get<bool>());
    EXPECT_EQ(toText(host.files.at("G\\S.RD")), kThird);
}

// The data/ panel: quillpack status --json's own document, and its status.
TEST_F(WorkbenchHistory, TheStatusOfDataIsWhatStatusSays) {
    struct Case {
        const char* what;
        std::map<std::string, std::string> files;  // in G\data
        int status;
        std::vector<std::pair<std::string, std::string>> lines;  // state and path
    };
    const Case cases[] = {
        {"as an unpack leaves it", {{"A.TXT", "text"}, {"B.DIG", "SOUNDS"}}, 0, {}},
        {"an edit and a stray file",
         {{"A.TXT", "TEXT"}, {"B.DIG", "SOUNDS"}, {"STRAY.BIN", "x"}},
         8,
         {{"modified", "G/data/A.TXT"}, {"notInArchive", "G/data/STRAY.BIN"}}},
        {"a file missing", {{"A.TXT", "text"}}, 8, {{"missing", "G/data/B.DIG"}}},
    };
    for (const Case& c : cases) {
        SetUp();
        for (const auto& [name, bytes] : c.files) host.files["G\\data\\" + name] = toBytes(bytes);
        WorkbenchState state(host, options);
        const Json reply = parsed(state.dataStatus());
        ASSERT_TRUE(reply["ok"].get<bool>()) << c.what << ": " << reply.dump();
        EXPECT_EQ(reply["status"], c.status) << c.what;
        const Json& document = reply["document"];
        EXPECT_EQ(document["schema"], "quillpack-status") << c.what;
        EXPECT_EQ(document["differs"].get<bool>(), c.status == 8) << c.what;
        std::vector<std::pair<std::string, std::string>> lines;
        for (const Json& line : document["lines"]) lines.emplace_back(line["state"], line["path"]);
        EXPECT_EQ(lines, c.lines) << c.what << ": " << reply.dump();
    }
    // An archive status cannot read is said, with no document.
    host.files["G\\S.RD"] = toBytes("not a list\r\n");
    WorkbenchState state(host, options);
    const Json broken = parsed(state.dataStatus());
    EXPECT_FALSE(broken["ok"].get<bool>());
    EXPECT_TRUE(broken["document"].is_null());
    EXPECT_FALSE(broken["messages"].empty()) << broken.dump();
}

}  // namespace
}  // namespace quill::web
