// quillpack update and compact stopped after each of their host operations in
// turn, and separately failing each one: the pair left on disk must unpack to
// exactly the old files or exactly the new ones (for compact's destination:
// or be no archive at all), never a mix and never an error.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "pack/pack.h"
#include "sound/dig_to_wav.h"
#include "support/fault_host.h"
#include "support/memory_host.h"
#include "support/scratch.h"
#include "unpack/unpack.h"

namespace quill::pack {
namespace {

namespace fs = std::filesystem;
using testing::FaultHost;
using testing::FaultKind;
using testing::ScratchDirectory;

using Files = std::map<std::string, std::string>;

std::string resourceBytes() {
    std::string bytes(3000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 300) & 0xff);
    return bytes;
}

// The files an unpack with -dig2wav of the pair leaves, unpacked in a directory of its own.
Files unpackOf(const fs::path& list, const fs::path& resource, int& status) {
    ScratchDirectory where;
    fs::copy_file(list, where.path() / "S.RD");
    fs::copy_file(resource, where.path() / "S.RES");
    testing::CapturedConsole console;
    const std::string path = (where.path() / "S.RD").string();
    const char* arguments[] = {"quillfane", path.c_str(), "-dig2wav"};
    status = static_cast<int>(run(3, arguments, systemHost(), console));
    Files files;
    for (const auto& name : testing::filesBelow(where.path() / "data")) {
        files[name] = testing::readFile(where.path() / "data" / name);
    }
    return files;
}

// An archive with a plain entry, a sound and a repeated name, unpacked, then
// edited: one entry grown, the sound's .WAV changed.
void prepare(const fs::path& root) {
    testing::writeFile(root / "S.RD", "100 0 A.BIN\r\n500 100 SHOT.DIG\r\n50 1000 B.BIN\r\n60 2000 B.BIN\r\n30 2500 C.BIN\r\n");
    testing::writeFile(root / "S.RES", resourceBytes());
    testing::CapturedConsole console;
    const std::string list = (root / "S.RD").string();
    const char* arguments[] = {"quillfane", list.c_str(), "-dig2wav"};
    ASSERT_EQ(run(3, arguments, systemHost(), console), ExitCode::ok);
    testing::writeFile(root / "data/A.BIN", std::string(300, 'a'));
    std::string wav = testing::readFile(root / "data/SHOT.WAV");
    for (std::size_t i = 44; i < wav.size(); i += 7) wav[i] = static_cast<char>(wav[i] ^ 0x55);
    testing::writeFile(root / "data/SHOT.WAV", wav);
    testing::writeFile(root / "data/NEW.BIN", "a new file for add");
}

bool isWriting(testing::Operation operation) {
    using testing::Operation;
    return operation == Operation::openForAppending || operation == Operation::write ||
           operation == Operation::makeDurable || operation == Operation::close ||
           operation == Operation::createForWriting || operation == Operation::replaceFile;
}

// One command that changes the archive in place, as the sweep runs it.
struct Command {
    const char* name;
    std::vector<std::string> words;  // after the list; "@/x" is x in the archive's directory
    // What running it again after it completed says: done (update finds
    // nothing to do) or that what it did is done already (status 4).
    PackStatus again;
};

PackStatus runCommand(Host& host, const fs::path& root, const Command& command) {
    std::vector<std::string> words = {"quillpack", command.name, (root / "S.RD").string()};
    for (const std::string& word : command.words) {
        words.push_back(word.starts_with("@/") ? (root / word.substr(2)).string() : word);
    }
    std::vector<const char*> arguments;
    for (const std::string& word : words) arguments.push_back(word.c_str());
    testing::CapturedConsole out;
    testing::CapturedConsole err;
    return runPack(static_cast<int>(arguments.size()), arguments.data(), host, out, err);
}

class CrashSweep : public ::testing::TestWithParam<Command> {};

TEST_P(CrashSweep, ThePairOnDiskIsAlwaysTheOldArchiveOrTheNewOne) {
    const Command& command = GetParam();
    ScratchDirectory reference;
    prepare(reference.path());
    int status = -1;
    const Files oldFiles = unpackOf(reference.path() / "S.RD", reference.path() / "S.RES", status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(runCommand(systemHost(), reference.path(), command), PackStatus::done);
    const Files newFiles = unpackOf(reference.path() / "S.RD", reference.path() / "S.RES", status);
    ASSERT_EQ(status, 0);
    ASSERT_NE(oldFiles, newFiles);

    int stops = 0;
    int faults = 0;
    int refreshFailures = 0;
    int reruns = 0;
    int interrupts = 0;
    for (const FaultKind kind : {FaultKind::stopAfter, FaultKind::refuse, FaultKind::cutShort, FaultKind::interruptAfter}) {
        for (int armed = 1;; ++armed) {
            ScratchDirectory scratch;
            prepare(scratch.path());
            FaultHost host(systemHost(), armed, kind);
            const PackStatus result = runCommand(host, scratch.path(), command);
            const auto* injected = host.injected();
            if (injected == nullptr) {
                EXPECT_EQ(result, PackStatus::done);
                break;
            }
            if (kind == FaultKind::cutShort && !testing::canBeCutShort(injected->operation)) continue;
            (kind == FaultKind::stopAfter ? stops : kind == FaultKind::interruptAfter ? interrupts : faults) += 1;
            const std::string where = std::string(testing::operationName(injected->operation)) + " of '" +
                                      injected->path + "' (operation " + std::to_string(armed) + ")";
            const Files left = unpackOf(scratch.path() / "S.RD", scratch.path() / "S.RES", status);
            EXPECT_EQ(status, 0) << where;
            EXPECT_TRUE(left == oldFiles || left == newFiles) << where;
            // Ctrl+C: the old archive exactly (the resource cut back) and its
            // own status, unless the new list was already in place.
            if (kind == FaultKind::interruptAfter) {
                EXPECT_TRUE(result == PackStatus::interrupted || result == PackStatus::done) << where;
                if (result == PackStatus::interrupted) {
                    EXPECT_TRUE(left == oldFiles) << where;
                    EXPECT_EQ(fs::file_size(scratch.path() / "S.RES"), resourceBytes().size()) << where;
                } else {
                    EXPECT_TRUE(left == newFiles) << where;
                }
            }
            // Once the archive is committed, a failure refreshing data/ keeps the
            // new archive and says so with a status of its own.
            if (result == PackStatus::dataNotRefreshed) {
                EXPECT_TRUE(left == newFiles) << where;
                if (kind != FaultKind::stopAfter) {
                    EXPECT_NE(injected->path.find("data"), std::string::npos) << where;
                }
                ++refreshFailures;
            } else if (kind != FaultKind::stopAfter && result != PackStatus::done) {
                // A failure the tool saw before that leaves the old archive, with status 5 once writing has begun.
                if (isWriting(injected->operation) && kind != FaultKind::interruptAfter) {
                    EXPECT_EQ(result, PackStatus::writeFailed) << where;
                }
                EXPECT_TRUE(left == oldFiles) << where;
                EXPECT_EQ(fs::file_size(scratch.path() / "S.RES"), resourceBytes().size()) << where;
            }
            // No temporary left behind by a failure the tool saw.
            if (kind != FaultKind::stopAfter) {
                EXPECT_FALSE(fs::exists(scratch.path() / "S.RD.quillpack-update")) << where;
            }
            // Run again after whatever happened, the command completes, or says
            // its work is done already, and never undoes it: for an update, a
            // file left stale would be taken for an edit.
            const PackStatus again = runCommand(systemHost(), scratch.path(), command);
            EXPECT_EQ(again, left == newFiles ? command.again : PackStatus::done) << where;
            EXPECT_EQ(unpackOf(scratch.path() / "S.RD", scratch.path() / "S.RES", status), newFiles) << where;
            ++reruns;
        }
    }
    if (std::string(command.name) == "update") {
        EXPECT_GT(refreshFailures, 0);
    }
    EXPECT_GT(interrupts, 0);
    std::printf("%s crash sweep: %d stops, %d faults injected, %d of them refreshing data/, %d interrupts, %d runs "
                "again\n",
                command.name, stops, faults, refreshFailures, interrupts, reruns);
}

INSTANTIATE_TEST_SUITE_P(EveryChange, CrashSweep,
                         ::testing::Values(Command{"update", {"-wav2dig"}, PackStatus::done},
                                           Command{"add", {"@/data/NEW.BIN"}, PackStatus::inputUnusable},
                                           Command{"remove", {"B.BIN"}, PackStatus::inputUnusable},
                                           Command{"rename", {"C.BIN", "SFX.BIN"}, PackStatus::inputUnusable}),
                         [](const ::testing::TestParamInfo<Command>& param) { return std::string(param.param.name); });

PackStatus compact(Host& host, const fs::path& root) {
    const std::string list = (root / "S.RD").string();
    const std::string target = (root / "NEW.RD").string();
    const char* arguments[] = {"quillpack", "compact", list.c_str(), target.c_str()};
    testing::CapturedConsole out;
    testing::CapturedConsole err;
    return runPack(4, arguments, host, out, err);
}

// The source of prepare(), and an older archive already at the destination.
void prepareCompact(const fs::path& root) {
    prepare(root);
    testing::writeFile(root / "NEW.RD", "3 0 OLD.BIN\r\n2 1 OLD.DIG\r\n");
    testing::writeFile(root / "NEW.RES", "old");
    // The old destination's history: it stays with the old pair, and goes with it.
    testing::writeFile(root / "NEW.RD.history", "the old destination's history");
}

TEST(CompactCrashSweep, TheDestinationIsAlwaysItsOldPairNoArchiveOrTheNewPair) {
    ScratchDirectory reference;
    prepareCompact(reference.path());
    int status = -1;
    const Files oldTarget = unpackOf(reference.path() / "NEW.RD", reference.path() / "NEW.RES", status);
    ASSERT_EQ(status, 0);
    const Files source = unpackOf(reference.path() / "S.RD", reference.path() / "S.RES", status);
    ASSERT_EQ(compact(systemHost(), reference.path()), PackStatus::done);
    const Files newTarget = unpackOf(reference.path() / "NEW.RD", reference.path() / "NEW.RES", status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(newTarget, source);
    ASSERT_NE(oldTarget, newTarget);

    int stops = 0;
    int faults = 0;
    int noArchive = 0;
    int interrupts = 0;
    for (const FaultKind kind : {FaultKind::stopAfter, FaultKind::refuse, FaultKind::cutShort, FaultKind::interruptAfter}) {
        for (int armed = 1;; ++armed) {
            ScratchDirectory scratch;
            prepareCompact(scratch.path());
            FaultHost host(systemHost(), armed, kind);
            const PackStatus result = compact(host, scratch.path());
            const auto* injected = host.injected();
            if (injected == nullptr) {
                EXPECT_EQ(result, PackStatus::done);
                break;
            }
            if (kind == FaultKind::cutShort && !testing::canBeCutShort(injected->operation)) continue;
            (kind == FaultKind::stopAfter ? stops : kind == FaultKind::interruptAfter ? interrupts : faults) += 1;
            const std::string where = std::string(testing::operationName(injected->operation)) + " of '" +
                                      injected->path + "' (operation " + std::to_string(armed) + ")";
            if (kind == FaultKind::interruptAfter) {
                EXPECT_TRUE(result == PackStatus::interrupted || result == PackStatus::done) << where;
            }
            // Only a killed process may leave no archive: a failure the
            // command saw puts the old pair back.
            if (kind != FaultKind::stopAfter && result != PackStatus::done) {
                EXPECT_TRUE(fs::exists(scratch.path() / "NEW.RD")) << where;
            }
            // The source is only read.
            EXPECT_EQ(unpackOf(scratch.path() / "S.RD", scratch.path() / "S.RES", status), source) << where;
            if (!fs::exists(scratch.path() / "NEW.RD")) {
                ++noArchive;
                EXPECT_NE(result, PackStatus::done) << where;
            } else {
                const Files left = unpackOf(scratch.path() / "NEW.RD", scratch.path() / "NEW.RES", status);
                EXPECT_EQ(status, 0) << where;
                EXPECT_TRUE(left == oldTarget || left == newTarget) << where;
                if (result != PackStatus::done && kind != FaultKind::stopAfter) {
                    EXPECT_TRUE(left == oldTarget) << where;
                }
                // A history beside the old pair is that pair's; the new pair has none.
                if (left == oldTarget && kind != FaultKind::stopAfter) {
                    EXPECT_TRUE(fs::exists(scratch.path() / "NEW.RD.history")) << where;
                }
                if (left == newTarget) {
                    EXPECT_FALSE(fs::exists(scratch.path() / "NEW.RD.history")) << where;
                }
            }
            if (kind != FaultKind::stopAfter) {
                if (result != PackStatus::done && isWriting(injected->operation) && kind != FaultKind::interruptAfter) {
                    EXPECT_EQ(result, PackStatus::writeFailed) << where;
                }
                EXPECT_FALSE(fs::exists(scratch.path() / "NEW.RD.quillpack-compact")) << where;
                EXPECT_FALSE(fs::exists(scratch.path() / "NEW.RES.quillpack-compact")) << where;
                // Left only where its removal failed, which the command names.
                for (const char* old : {"NEW.RD.quillpack-old", "NEW.RES.quillpack-old", "NEW.RD.history.quillpack-old"}) {
                    if (injected->operation == testing::Operation::removeFile && injected->path.ends_with(old)) continue;
                    EXPECT_FALSE(fs::exists(scratch.path() / old)) << where;
                }
            }
        }
    }
    EXPECT_GT(noArchive, 0);
    EXPECT_GT(interrupts, 0);
    std::printf("compact crash sweep: %d stops, %d faults injected, %d interrupts, %d left no archive\n", stops, faults,
                interrupts, noArchive);
}

}  // namespace
}  // namespace quill::pack
