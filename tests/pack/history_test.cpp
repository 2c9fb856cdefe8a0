// The history beside an archive: its file read back exactly, which version a
// list is after a write that never landed, and undo, redo and restore against
// what an unpack of each version gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "pack/archive_edit.h"
#include "pack/history.h"
#include "pack/history_store.h"
#include "support/memory_host.h"
#include "support/pack_run.h"
#include "support/scratch.h"
#include "unpack/unpack.h"

namespace quill::pack {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDirectory;
using Files = std::map<std::string, std::string>;

std::vector<std::byte> bytesOf(const std::string& text) {
    std::vector<std::byte> bytes;
    for (const char c : text) bytes.push_back(static_cast<std::byte>(c));
    return bytes;
}

HistoryVersion version(int number, const std::string& head, ListTail tail = {}) {
    return {number, 1700000000 + number, "update", "1 replaced (A.BIN)", bytesOf(head), tail, {}};
}

TEST(HistoryFile, ReadsBackExactlyWhateverBytesTheListsHold) {
    History history;
    history.versions = {version(1, "3 0 A.BIN\r\n"), version(4, std::string("2 3 B\n\0\r\xff.BIN\r\n", 15), {7, 0xfedcba9876543210})};
    history.versions[1].command = "workbench Save";
    history.versions[1].summary = "a note\nover two lines";  // kept on one line
    history.current = 4;
    history.previousCurrent = 1;
    history.previousLast = 1;
    history.nextNumber = 5;
    history.ranges = {{{0, 3}, 0x1}, {{3, 2}, 0xffffffffffffffff}};
    History back;
    std::string problem;
    ASSERT_TRUE(parseHistory(serializeHistory(history), back, problem)) << problem;
    ASSERT_EQ(back.versions.size(), 2u);
    EXPECT_EQ(back.versions[1].head, history.versions[1].head);
    EXPECT_EQ(back.versions[1].tail, history.versions[1].tail);
    EXPECT_EQ(back.versions[1].summary, "a note over two lines");
    EXPECT_EQ(back.versions[1].command, "workbench Save");
    EXPECT_EQ(back.versions[0].time, 1700000001);
    EXPECT_EQ(back.current, 4);
    EXPECT_EQ(back.previousCurrent, 1);
    EXPECT_EQ(back.nextNumber, 5);
    EXPECT_EQ(back.ranges, history.ranges);
}

TEST(HistoryFile, RefusesWhatItDidNotWrite) {
    History history;
    history.versions = {version(1, "3 0 A.BIN\r\n"), version(2, "3 3 A.BIN\r\n")};
    history.current = 2;
    history.nextNumber = 3;
    const std::vector<std::byte> good = serializeHistory(history);
    const std::string text(reinterpret_cast<const char*>(good.data()), good.size());
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string damaged = text;
        damaged.replace(damaged.find(from), from.size(), to);
        return damaged;
    };
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"another kind of file", "3 0 A.BIN\r\n"},
        {"a newer format", replaced("history 1", "history 2")},
        {"cut short before its end", text.substr(0, text.size() - 4)},
        {"cut inside a list", text.substr(0, text.find("3 3 A.BIN") + 4)},
        {"a list longer than it says", replaced("3 3 A.BIN\r\n", "3 3 A.BIN\r\nX")},
        {"a damaged state line", replaced("current 2", "current two")},
        {"a version numbered past the next number", replaced("next 3", "next 2")},
        {"a version twice", replaced("version 2 ", "version 1 ")},
        {"a short checksum", replaced(" 0000000000000000\ncommand", " 00\ncommand")},
    };
    for (const auto& c : cases) {
        History back;
        std::string problem;
        const std::vector<std::byte> bytes = bytesOf(c.bytes);
        EXPECT_FALSE(parseHistory(bytes, back, problem)) << c.what;
        EXPECT_FALSE(problem.empty()) << c.what;
    }
}

TEST(HistoryFile, KnowsWhichVersionTheListIsAfterAWriteThatNeverLanded) {
    const auto make = [] {
        History history;
        history.versions = {version(1, "v1"), version(2, "v2"), version(3, "v3"), version(5, "v5")};
        history.nextNumber = 6;
        return history;
    };
    const struct {
        const char* what;
        int current, previousCurrent, previousLast;
        std::string list;
        int expected;
        std::vector<int> kept;
    } cases[] = {
        {"the list is the version named", 5, 3, 3, "v5", 5, {1, 2, 3, 5}},
        {"a new version whose list never landed stays, ahead", 5, 3, 3, "v3", 3, {1, 2, 3, 5}},
        {"an undo whose list never landed stays where it was", 2, 5, 5, "v5", 5, {1, 2, 3, 5}},
        {"a list put back by hand is the newest version with its bytes", 5, 0, 0, "v2", 2, {1, 2, 3, 5}},
        {"a list no version has is none", 5, 3, 3, "edited", 0, {1, 2, 3, 5}},
    };
    for (const auto& c : cases) {
        History history = make();
        history.current = c.current;
        history.previousCurrent = c.previousCurrent;
        history.previousLast = c.previousLast;
        reconcile(history, bytesOf(c.list), {});
        EXPECT_EQ(history.current, c.expected) << c.what;
        std::vector<int> kept;
        for (const HistoryVersion& v : history.versions) kept.push_back(v.number);
        EXPECT_EQ(kept, c.kept) << c.what;
    }
    // The same head with another tail is another list.
    History history = make();
    history.current = 5;
    reconcile(history, bytesOf("v5"), {3, 42});
    EXPECT_EQ(history.current, 0);
}

// --- the commands, on archives in scratch directories --------------------------

Files filesIn(const fs::path& directory) {
    Files files;
    if (!fs::exists(directory)) return files;
    for (const std::string& name : testing::filesBelow(directory)) files[name] = testing::readFile(directory / name);
    return files;
}

// What `quillfane S.RD -dig2wav` leaves for the pair as it is now, unpacked elsewhere.
Files unpackOf(const fs::path& root) {
    ScratchDirectory where;
    fs::copy_file(root / "S.RD", where.path() / "S.RD");
    fs::copy_file(root / "S.RES", where.path() / "S.RES");
    const std::string list = (where.path() / "S.RD").string();
    const char* arguments[] = {"quillfane", list.c_str(), "-dig2wav"};
    testing::CapturedConsole console;
    EXPECT_EQ(run(3, arguments, systemHost(), console), ExitCode::ok);
    return filesIn(where.path() / "data");
}

testing::PackResult quillpack(const fs::path& root, std::vector<std::string> words) {
    words.insert(words.begin() + 1, (root / "S.RD").string());
    std::vector<const char*> arguments;
    for (const std::string& word : words) arguments.push_back(word.c_str());
    return testing::runQuillpack(systemHost(), arguments);
}

// A pair of three records and a sound, unpacked with -dig2wav into data/.
void prepare(const fs::path& root) {
    std::string resource(4000, '\0');
    for (std::size_t i = 0; i < resource.size(); ++i) resource[i] = static_cast<char>((i * 13 + i / 97) & 0xff);
    testing::writeFile(root / "S.RD", "100 0 A.BIN\r\n600 100 SHOT.DIG\r\n50 1000 B.TXT\r\n");
    testing::writeFile(root / "S.RES", resource);
    const std::string list = (root / "S.RD").string();
    const char* arguments[] = {"quillfane", list.c_str(), "-dig2wav"};
    testing::CapturedConsole console;
    ASSERT_EQ(run(3, arguments, systemHost(), console), ExitCode::ok);
}

History historyOf(const fs::path& root) {
    Archive archive;
    testing::CapturedConsole err;
    EXPECT_EQ(loadArchive(systemHost(), err, (root / "S.RD").string(), archive), PackStatus::done) << err.text;
    History history;
    EXPECT_EQ(loadHistory(systemHost(), err, archive, history), PackStatus::done) << err.text;
    return history;
}

// The checksum table holds a range exactly when some kept version uses it.
void expectRangesOfKeptVersions(const History& history, const std::string& what) {
    std::set<Range> used;
    const auto table = std::make_unique<EntryTable>();
    for (const HistoryVersion& version : history.versions) {
        readRecords(version.head, *table);
        for (int i = 0; i < table->count; ++i) {
            used.insert({table->entries[static_cast<std::size_t>(i)].offset, table->entries[static_cast<std::size_t>(i)].length});
        }
    }
    std::set<Range> held;
    for (const auto& [range, sum] : history.ranges) held.insert(range);
    EXPECT_EQ(held, used) << what;
}

std::vector<std::string> recordNames(const fs::path& root) {
    std::vector<std::string> names;
    const std::string list = testing::readFile(root / "S.RD");
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = list.find("\r\n", at);
        const std::string line = list.substr(at, end - at);
        names.push_back(line.substr(line.rfind(' ') + 1));
        at = end + 2;
    }
    return names;
}

// Random changes of every kind, undo, redo and restore: after each step the
// history names the version the model expects, an unpack gives exactly what
// that version gave when it was made, and data/ holds nothing update would take.
TEST(HistoryCommands, EveryStepLeavesTheVersionTheHistoryNames) {
    const char* fromEnvironment = std::getenv("QUILL_SEED");
    const unsigned seed = fromEnvironment != nullptr ? static_cast<unsigned>(std::strtoul(fromEnvironment, nullptr, 10))
                                                     : std::random_device{}();
    std::printf("history property: seed %u (QUILL_SEED=%u repeats it)\n", seed, seed);
    std::mt19937 random(seed);
    const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    const Files found = unpackOf(root);
    std::map<int, Files> unpacked;    // version -> what an unpack of it gives
    std::vector<int> versions;        // the model: versions in order, and which one the list is
    std::size_t current = 0;
    int made = 0;
    for (int step = 0; step < 40; ++step) {
        const std::string what = "seed " + std::to_string(seed) + ", step " + std::to_string(step);
        const std::vector<std::string> names = recordNames(root);
        const std::size_t kind = below(8);
        testing::PackResult result{PackStatus::done, {}, {}};
        bool changes = true;
        if (kind == 0) {  // an edit put back with update
            const std::string name = names[below(names.size())];
            if (name.ends_with(".DIG")) continue;
            testing::writeFile(root / "data" / name, "edited " + std::to_string(step) + std::string(below(300), 'x'));
            result = quillpack(root, {"update"});
        } else if (kind == 1) {
            const std::string name = "N" + std::to_string(++made) + ".BIN";
            testing::writeFile(root / "data" / name, "new " + std::to_string(step));
            result = quillpack(root, {"add", (root / "data" / name).string()});
        } else if (kind == 2) {
            if (names.size() < 2) continue;
            result = quillpack(root, {"remove", names[below(names.size())]});
        } else if (kind == 3) {
            const std::string name = names[below(names.size())];
            result = quillpack(root, {"rename", name, "R" + std::to_string(++made) + name.substr(name.find('.'))});
        } else if (kind == 4) {  // several changes in one commit, as the workbench's Save makes them
            Archive archive;
            std::unique_ptr<FileLock> lock;
            testing::CapturedConsole out;
            testing::CapturedConsole err;
            ASSERT_EQ(loadArchiveLocked(systemHost(), err, (root / "S.RD").string(), archive, lock), PackStatus::done);
            ArchiveEdit edit;
            edit.command = "workbench Save";
            const int record = static_cast<int>(below(names.size()));
            if (!names[static_cast<std::size_t>(record)].ends_with(".DIG")) {
                edit.replaced.push_back({{record}, bytesOf("saved " + std::to_string(step)), nullptr});
            }
            edit.renamed[record] = "W" + std::to_string(++made) + ".TXT";
            edit.added.push_back({"W" + std::to_string(++made) + ".BIN", bytesOf("added by a Save")});
            if (names[static_cast<std::size_t>(record)].ends_with(".DIG")) edit.renamed[record] = "W" + std::to_string(made) + ".DIG";
            result.status = applyEdit(systemHost(), out, err, archive, edit, {});
            result.out = out.text;
            result.err = err.text;
        } else {
            changes = false;
            const bool undo = kind == 5 || kind == 6;
            if (kind == 7 && !versions.empty()) {
                const std::size_t to = below(versions.size());
                result = quillpack(root, {"restore", std::to_string(versions[to])});
                ASSERT_EQ(result.status, PackStatus::done) << what << result.err;
                current = to;
            } else if (undo) {
                result = quillpack(root, {"undo"});
                if (versions.empty() || current == 0) {
                    ASSERT_EQ(result.status, PackStatus::inputUnusable) << what << result.out << result.err;
                } else {
                    ASSERT_EQ(result.status, PackStatus::done) << what << result.err;
                    --current;
                }
            } else {
                result = quillpack(root, {"redo"});
                if (versions.empty() || current + 1 == versions.size()) {
                    ASSERT_EQ(result.status, PackStatus::inputUnusable) << what << result.out << result.err;
                } else {
                    ASSERT_EQ(result.status, PackStatus::done) << what << result.err;
                    ++current;
                }
            }
        }
        if (changes) {
            ASSERT_EQ(result.status, PackStatus::done) << what << result.out << result.err;
            if (versions.empty()) {
                versions.push_back(1);  // the list as first found
                unpacked[1] = found;
            }
            const auto at = result.out.find("(version ");
            ASSERT_NE(at, std::string::npos) << what << result.out;
            const int number = std::atoi(result.out.c_str() + at + 9);
            versions.resize(current + 1);
            versions.push_back(number);
            current = versions.size() - 1;
            ASSERT_EQ(unpacked.count(number), 0u) << what << ": version numbers are never reused";
        }
        const History history = historyOf(root);
        std::vector<int> kept;
        for (const HistoryVersion& v : history.versions) kept.push_back(v.number);
        ASSERT_EQ(kept, versions) << what;
        ASSERT_EQ(history.current, versions.empty() ? 0 : versions[current]) << what;
        expectRangesOfKeptVersions(history, what);
        if (versions.empty()) continue;
        const Files now = unpackOf(root);
        if (changes) {
            unpacked[versions[current]] = now;
        } else {
            ASSERT_EQ(now, unpacked[versions[current]]) << what << ": version " << versions[current];
        }
        // data/ holds nothing update would take: every change kept it true.
        const testing::PackResult update = quillpack(root, {"update", "-n"});
        ASSERT_EQ(update.status, PackStatus::done) << what << update.err;
        ASSERT_NE(update.out.find("nothing changed"), std::string::npos) << what << update.out;
    }
}

// Past a hundred versions the oldest go, and with them the checksums of
// ranges no version kept uses; undo still reaches the oldest kept.
TEST(HistoryCommands, AHundredVersionsAreKeptWithTheChecksumsTheyUse) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    for (int step = 0; step < 104; ++step) {
        // Every other edit to a second record, so ranges stay in use for a while.
        testing::writeFile(root / "data" / (step % 2 == 0 ? "A.BIN" : "B.TXT"), "edit " + std::to_string(step));
        const testing::PackResult result = quillpack(root, {"update"});
        ASSERT_EQ(result.status, PackStatus::done) << step << result.err;
    }
    const History history = historyOf(root);
    ASSERT_EQ(history.versions.size(), 100u);
    EXPECT_EQ(history.versions.front().number, 6);  // the list as found was version 1
    EXPECT_EQ(history.versions.back().number, 105);
    expectRangesOfKeptVersions(history, "after 104 updates");
    ASSERT_EQ(quillpack(root, {"restore", "6"}).status, PackStatus::done);
    EXPECT_EQ(testing::readFile(root / "data" / "A.BIN"), "edit 4");  // version 6 is step 4's
    EXPECT_EQ(testing::readFile(root / "data" / "B.TXT"), "edit 3");
    expectRangesOfKeptVersions(historyOf(root), "after restore");
}

TEST(HistoryCommands, UndoRefusesNamingTheRecordsAnotherToolRewrote) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    testing::writeFile(root / "data/B.TXT", "a new text");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);
    // Another tool rewrites bytes version 1 points at (B.TXT's old range), then cuts the end away.
    std::string resource = testing::readFile(root / "S.RES");
    resource[1010] = static_cast<char>(resource[1010] ^ 1);
    testing::writeFile(root / "S.RES", resource);
    const std::string list = testing::readFile(root / "S.RD");
    testing::PackResult undo = quillpack(root, {"undo"});
    EXPECT_EQ(undo.status, PackStatus::inputUnusable);
    EXPECT_NE(undo.err.find("record 3 B.TXT: its bytes in"), std::string::npos) << undo.err;
    EXPECT_EQ(undo.err.find("record 1 A.BIN"), std::string::npos) << undo.err;
    EXPECT_EQ(testing::readFile(root / "S.RD"), list);
}

TEST(HistoryCommands, RestoreRefusesAVersionPastTheResourcesEnd) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    ASSERT_EQ(quillpack(root, {"remove", "SHOT.DIG", "B.TXT"}).status, PackStatus::done);
    // Cut by another tool to what the current list still uses.
    std::string resource = testing::readFile(root / "S.RES");
    resource.resize(200);
    testing::writeFile(root / "S.RES", resource);
    const std::string list = testing::readFile(root / "S.RD");
    const testing::PackResult restore = quillpack(root, {"restore", "1"});
    EXPECT_EQ(restore.status, PackStatus::inputUnusable);
    EXPECT_NE(restore.err.find("record 2 SHOT.DIG: its bytes lie past the end"), std::string::npos) << restore.err;
    EXPECT_NE(restore.err.find("record 3 B.TXT: its bytes lie past the end"), std::string::npos) << restore.err;
    EXPECT_EQ(testing::readFile(root / "S.RD"), list);
}

TEST(HistoryCommands, UndoNeverOverwritesAnEditNotPutBack) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    testing::writeFile(root / "data/A.BIN", "first edit");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);
    testing::writeFile(root / "data/A.BIN", "second edit, not put back");
    const std::string list = testing::readFile(root / "S.RD");
    const testing::PackResult undo = quillpack(root, {"undo"});
    EXPECT_EQ(undo.status, PackStatus::inputUnusable);
    EXPECT_NE(undo.err.find("A.BIN"), std::string::npos) << undo.err;
    EXPECT_EQ(testing::readFile(root / "S.RD"), list);
    EXPECT_EQ(testing::readFile(root / "data/A.BIN"), "second edit, not put back");
    // Put back, then undone twice: the first edit, then the archive as found, in data/ too.
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);
    ASSERT_EQ(quillpack(root, {"undo"}).status, PackStatus::done);
    EXPECT_EQ(testing::readFile(root / "data/A.BIN"), "first edit");
    ASSERT_EQ(quillpack(root, {"undo"}).status, PackStatus::done);
    EXPECT_EQ(filesIn(root / "data"), unpackOf(root));
}

TEST(HistoryCommands, AListChangedOutsideIsKeptSoRedoComesBackToIt) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    ASSERT_EQ(quillpack(root, {"rename", "B.TXT", "C.TXT"}).status, PackStatus::done);
    fs::rename(root / "data/C.TXT", root / "data/D.TXT");
    // Edited by hand: the rename made again in a text editor.
    std::string list = testing::readFile(root / "S.RD");
    list.replace(list.find("C.TXT"), 5, "D.TXT");
    testing::writeFile(root / "S.RD", list);
    EXPECT_NE(quillpack(root, {"history"}).out.find("changed outside quillpack"), std::string::npos);
    EXPECT_EQ(quillpack(root, {"redo"}).status, PackStatus::inputUnusable);
    const testing::PackResult undo = quillpack(root, {"undo"});
    ASSERT_EQ(undo.status, PackStatus::done) << undo.err;
    EXPECT_NE(testing::readFile(root / "S.RD").find("C.TXT"), std::string::npos);
    EXPECT_TRUE(fs::exists(root / "data/C.TXT"));
    ASSERT_EQ(quillpack(root, {"redo"}).status, PackStatus::done);
    EXPECT_EQ(testing::readFile(root / "S.RD"), list);
    EXPECT_TRUE(fs::exists(root / "data/D.TXT"));
    EXPECT_FALSE(fs::exists(root / "data/C.TXT"));
    const std::string shown = quillpack(root, {"history"}).out;
    EXPECT_NE(shown.find("changed outside"), std::string::npos) << shown;
    EXPECT_NE(shown.find("* "), std::string::npos) << shown;
}

TEST(HistoryCommands, ADamagedHistoryStopsEveryChangeAndIsLeftAsItIs) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    testing::writeFile(root / "S.RD.history", "quillpack history 1\ngarbage\n");
    testing::writeFile(root / "data/A.BIN", "an edit");
    const std::string list = testing::readFile(root / "S.RD");
    const std::string resource = testing::readFile(root / "S.RES");
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{{"update"}, {"undo"}, {"history"}}) {
        const testing::PackResult result = quillpack(root, words);
        EXPECT_EQ(result.status, PackStatus::listUnreadable) << words[0];
        EXPECT_NE(result.err.find("S.RD.history"), std::string::npos) << result.err;
    }
    EXPECT_EQ(testing::readFile(root / "S.RD"), list);
    EXPECT_EQ(testing::readFile(root / "S.RES"), resource);
    EXPECT_EQ(testing::readFile(root / "S.RD.history"), "quillpack history 1\ngarbage\n");
}

TEST(HistoryCommands, RestoreAndTheDryRunsTellWithoutWriting) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    ASSERT_EQ(quillpack(root, {"remove", "A.BIN"}).status, PackStatus::done);
    const std::string list = testing::readFile(root / "S.RD");
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"undo", "-n"}, {"restore", "1", "--dry-run"}}) {
        const testing::PackResult result = quillpack(root, words);
        EXPECT_EQ(result.status, PackStatus::done) << words[0] << result.err;
        EXPECT_NE(result.out.find("would be version 1"), std::string::npos) << result.out;
        EXPECT_EQ(testing::readFile(root / "S.RD"), list);
    }
    EXPECT_EQ(quillpack(root, {"restore", "7"}).status, PackStatus::inputUnusable);
    EXPECT_EQ(quillpack(root, {"restore", "x"}).status, PackStatus::badCommandLine);
    EXPECT_EQ(quillpack(root, {"restore", "2"}).status, PackStatus::done);  // the current one: nothing to do
    ASSERT_EQ(quillpack(root, {"restore", "1"}).status, PackStatus::done);
    EXPECT_NE(testing::readFile(root / "S.RD").find("A.BIN"), std::string::npos);
    // Both versions kept: forward again from there.
    ASSERT_EQ(quillpack(root, {"redo"}).status, PackStatus::done);
    EXPECT_EQ(testing::readFile(root / "S.RD"), list);
}

}  // namespace
}  // namespace quill::pack

namespace quill::pack {
namespace {

// A copy of the list put back by hand keeps the version made after it, which
// redo reaches; a list changed by hand after undo drops what undo had left
// ahead, as any change does, and says so.
TEST(HistoryCommands, ABackupPutBackKeepsTheNewerVersionAndAHandEditAfterUndoDropsWhatWasAhead) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    testing::writeFile(root / "data/A.BIN", "first edit");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);  // version 2
    const std::string backup = testing::readFile(root / "S.RD");
    testing::writeFile(root / "data/A.BIN", "second edit");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);  // version 3
    const std::string newest = testing::readFile(root / "S.RD");
    testing::writeFile(root / "S.RD", backup);
    History history = historyOf(root);
    EXPECT_EQ(history.current, 2);
    ASSERT_NE(history.find(3), nullptr);
    testing::writeFile(root / "data/A.BIN", "first edit");
    ASSERT_EQ(quillpack(root, {"redo"}).status, PackStatus::done);
    EXPECT_EQ(testing::readFile(root / "S.RD"), newest);

    // Undo to 2 (3 ahead), then a hand edit of the list, then undo.
    ASSERT_EQ(quillpack(root, {"undo"}).status, PackStatus::done);
    std::string list = testing::readFile(root / "S.RD");
    list.replace(list.find("B.TXT"), 5, "D.TXT");
    testing::writeFile(root / "S.RD", list);
    fs::rename(root / "data/B.TXT", root / "data/D.TXT");
    const testing::PackResult undo = quillpack(root, {"undo"});
    ASSERT_EQ(undo.status, PackStatus::done) << undo.err;
    EXPECT_NE(undo.out.find("dropped 1 version"), std::string::npos) << undo.out;
    EXPECT_EQ(testing::readFile(root / "S.RD"), backup);  // version 2, the list the hand edit was made from
    history = historyOf(root);
    EXPECT_EQ(history.find(3), nullptr);
    // Redo comes back to the hand edit, and goes no further.
    ASSERT_EQ(quillpack(root, {"redo"}).status, PackStatus::done);
    EXPECT_EQ(testing::readFile(root / "S.RD"), list);
    EXPECT_EQ(quillpack(root, {"redo"}).status, PackStatus::inputUnusable);
}

}  // namespace
}  // namespace quill::pack
