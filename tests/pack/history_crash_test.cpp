// A change recorded in the history, and undo, redo and restore, stopped after
// each of their host operations in turn, failed at each, and interrupted
// after each: the pair unpacks to the old version or the new one, the
// history names exactly that version, no temporary stays behind a failure
// the tool saw, and running the command again completes it.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "pack/history_store.h"
#include "support/fault_host.h"
#include "support/memory_host.h"
#include "support/pack_run.h"
#include "support/scratch.h"
#include "unpack/unpack.h"

namespace quill::pack {
namespace {

namespace fs = std::filesystem;
using testing::FaultHost;
using testing::FaultKind;
using testing::ScratchDirectory;
using Files = std::map<std::string, std::string>;

Files unpackOf(const fs::path& root) {
    ScratchDirectory where;
    fs::copy_file(root / "S.RD", where.path() / "S.RD");
    fs::copy_file(root / "S.RES", where.path() / "S.RES");
    const std::string list = (where.path() / "S.RD").string();
    const char* arguments[] = {"quillfane", list.c_str(), "-dig2wav"};
    testing::CapturedConsole console;
    EXPECT_EQ(run(3, arguments, systemHost(), console), ExitCode::ok);
    Files files;
    for (const std::string& name : testing::filesBelow(where.path() / "data")) {
        files[name] = testing::readFile(where.path() / "data" / name);
    }
    return files;
}

PackStatus quillpack(Host& host, const fs::path& root, std::vector<std::string> words) {
    words.insert(words.begin() + 1, (root / "S.RD").string());
    std::vector<const char*> arguments;
    for (const std::string& word : words) arguments.push_back(word.c_str());
    return testing::runQuillpack(host, arguments).status;
}

// The version the history says the list is; -1 when it cannot be read.
int currentVersion(const fs::path& root) {
    Archive archive;
    testing::CapturedConsole err;
    if (loadArchive(systemHost(), err, (root / "S.RD").string(), archive) != PackStatus::done) return -1;
    History history;
    if (loadHistory(systemHost(), err, archive, history) != PackStatus::done) return -1;
    return history.current;
}

struct Case {
    const char* name;
    std::vector<std::vector<std::string>> before;  // run first, without faults
    std::vector<std::string> command;
    int from;  // the version before the command (0: no history yet)
    int to;
};

void prepare(const fs::path& root, const Case& c) {
    std::string resource(3000, '\0');
    for (std::size_t i = 0; i < resource.size(); ++i) resource[i] = static_cast<char>((i * 7 + i / 300) & 0xff);
    testing::writeFile(root / "S.RD", "100 0 A.BIN\r\n500 100 SHOT.DIG\r\n50 1000 B.TXT\r\n");
    testing::writeFile(root / "S.RES", resource);
    const std::string list = (root / "S.RD").string();
    const char* arguments[] = {"quillfane", list.c_str(), "-dig2wav"};
    testing::CapturedConsole console;
    ASSERT_EQ(run(3, arguments, systemHost(), console), ExitCode::ok);
    testing::writeFile(root / "data/A.BIN", std::string(300, 'a'));
    for (const auto& words : c.before) ASSERT_EQ(quillpack(systemHost(), root, words), PackStatus::done) << words[0];
}

class HistoryCrashSweep : public ::testing::TestWithParam<Case> {};

TEST_P(HistoryCrashSweep, ThePairAndItsHistoryAlwaysAgreeOnOneVersion) {
    const Case& c = GetParam();
    ScratchDirectory reference;
    prepare(reference.path(), c);
    const Files oldFiles = unpackOf(reference.path());
    ASSERT_EQ(currentVersion(reference.path()), c.from);
    ASSERT_EQ(quillpack(systemHost(), reference.path(), c.command), PackStatus::done);
    const Files newFiles = unpackOf(reference.path());
    ASSERT_EQ(currentVersion(reference.path()), c.to);
    ASSERT_NE(oldFiles, newFiles);
    const auto resourceSize = fs::file_size(reference.path() / "S.RES");

    int runs = 0;
    for (const FaultKind kind : {FaultKind::stopAfter, FaultKind::refuse, FaultKind::cutShort, FaultKind::interruptAfter}) {
        for (int armed = 1;; ++armed) {
            ScratchDirectory scratch;
            const fs::path& root = scratch.path();
            prepare(root, c);
            const auto oldSize = fs::file_size(root / "S.RES");
            FaultHost host(systemHost(), armed, kind);
            const PackStatus result = quillpack(host, root, c.command);
            const auto* injected = host.injected();
            if (injected == nullptr) {
                EXPECT_EQ(result, PackStatus::done);
                break;
            }
            if (kind == FaultKind::cutShort && !testing::canBeCutShort(injected->operation)) continue;
            ++runs;
            const std::string where = std::string(testing::operationName(injected->operation)) + " of '" +
                                      injected->path + "' (operation " + std::to_string(armed) + ", " +
                                      (kind == FaultKind::stopAfter ? "stop" : kind == FaultKind::interruptAfter ? "interrupt" : "fault") + ")";
            const Files left = unpackOf(root);
            const int version = currentVersion(root);
            ASSERT_TRUE(left == oldFiles || left == newFiles) << where;
            // The history names the version the list is: the one before when
            // the list is the old one (none before the first change), else the new one.
            // Before the first change the list may be recorded as version 1 already.
            const bool first = c.from == 0;
            if (left == oldFiles) {
                EXPECT_TRUE(version == c.from || (first && version == 1)) << where << ": version " << version;
            } else {
                EXPECT_EQ(version, c.to) << where;
            }
            if (kind != FaultKind::stopAfter && result != PackStatus::done && result != PackStatus::dataNotRefreshed) {
                EXPECT_TRUE(left == oldFiles) << where;
                EXPECT_EQ(fs::file_size(root / "S.RES"), oldSize) << where;
            }
            if (kind == FaultKind::interruptAfter && result == PackStatus::interrupted) {
                EXPECT_TRUE(left == oldFiles) << where;
            }
            if (kind != FaultKind::stopAfter) {
                for (const char* temporary : {"S.RD.quillpack-update", "S.RD.history.quillpack-history"}) {
                    EXPECT_FALSE(fs::exists(root / temporary)) << where << ": " << temporary;
                }
            }
            // Again, when the first run did not land: it completes, to the very same version.
            if (left == oldFiles) {
                EXPECT_EQ(quillpack(systemHost(), root, c.command), PackStatus::done) << where;
                EXPECT_EQ(unpackOf(root), newFiles) << where;
                // A first change's number once written is never reused.
                const int now = currentVersion(root);
                EXPECT_TRUE(now == c.to || (first && now > c.to)) << where << ": version " << now;
                // A killed process may leave appended bytes no list uses; a failure it saw cuts them back.
                if (kind != FaultKind::stopAfter) {
                    EXPECT_EQ(fs::file_size(root / "S.RES"), resourceSize) << where;
                }
            }
        }
    }
    EXPECT_GT(runs, 10);
    std::printf("%s history crash sweep: %d runs with a fault\n", c.name, runs);
}

INSTANTIATE_TEST_SUITE_P(
    EveryMove, HistoryCrashSweep,
    ::testing::Values(Case{"first_change", {}, {"update"}, 0, 2},
                      Case{"undo", {{"update"}, {"rename", "B.TXT", "C.TXT"}}, {"undo"}, 3, 2},
                      Case{"redo",
                           {{"update"}, {"rename", "B.TXT", "C.TXT"}, {"undo"}},
                           {"redo"}, 2, 3},
                      Case{"restore", {{"update"}, {"rename", "B.TXT", "C.TXT"}},
                           {"restore", "1"}, 3, 1}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quill::pack
