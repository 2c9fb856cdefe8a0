// quillpack create stopped after each of its host operations in turn, each
// one failed, and Ctrl+C after each: there is no archive at all (and, for a
// failure the command saw, nothing of one: no list, no resource, no
// temporary) or the whole new one, which unpacks to exactly the folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
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
using testing::Operation;
using testing::ScratchDirectory;

using Files = std::map<std::string, std::string>;

Files filesOf(const fs::path& directory) {
    Files files;
    for (const auto& name : testing::filesBelow(directory)) files[name] = testing::readFile(directory / name);
    return files;
}

// A folder with a subdirectory two deep and a sound with its .WAV.
void prepare(const fs::path& root) {
    fs::create_directories(root / "mods/SFX/D");
    std::string sound(700, '\0');
    for (std::size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<char>((i * 11 + i / 50) & 0xff);
    testing::writeFile(root / "mods/A.BIN", "the first record");
    testing::writeFile(root / "mods/SFX/SHOT.DIG", sound);
    testing::writeFile(root / "mods/SFX/SHOT.WAV", testing::toText(companionBytes(testing::toBytes(sound))));
    testing::writeFile(root / "mods/SFX/D/B.TXT", "two deep");
}

// What an unpack with -dig2wav of the pair leaves, on a disk of its own
// holding the folder's directories (the unpacker makes none below data/);
// nothing when there is no list.
std::optional<Files> unpackOf(const fs::path& root) {
    if (!fs::exists(root / "NEW.RD")) return std::nullopt;
    ScratchDirectory where;
    fs::copy_file(root / "NEW.RD", where.path() / "NEW.RD");
    fs::copy_file(root / "NEW.RES", where.path() / "NEW.RES");
    fs::create_directories(where.path() / "data/SFX/D");
    testing::CapturedConsole console;
    const std::string list = (where.path() / "NEW.RD").string();
    const char* arguments[] = {"quillfane", list.c_str(), "-dig2wav"};
    EXPECT_EQ(run(3, arguments, systemHost(), console), ExitCode::ok) << console.text;
    return filesOf(where.path() / "data");
}

PackStatus create(Host& host, const fs::path& root) {
    const std::string list = (root / "NEW.RD").string();
    const std::string folder = (root / "mods").string();
    const char* arguments[] = {"quillpack", "create", list.c_str(), folder.c_str()};
    testing::CapturedConsole out;
    testing::CapturedConsole err;
    return runPack(4, arguments, host, out, err);
}

bool isWriting(Operation operation) {
    return operation == Operation::openForAppending || operation == Operation::write ||
           operation == Operation::makeDurable || operation == Operation::close ||
           operation == Operation::createForWriting || operation == Operation::replaceFile ||
           operation == Operation::lockExclusive;
}

TEST(CreateCrashSweep, ThereIsNoArchiveOrTheWholeNewOne) {
    ScratchDirectory reference;
    prepare(reference.path());
    const Files folder = filesOf(reference.path() / "mods");
    ASSERT_EQ(create(systemHost(), reference.path()), PackStatus::done);
    ASSERT_EQ(unpackOf(reference.path()), folder);

    int stops = 0;
    int faults = 0;
    int interrupts = 0;
    int noArchive = 0;
    for (const FaultKind kind : {FaultKind::stopAfter, FaultKind::refuse, FaultKind::cutShort, FaultKind::interruptAfter}) {
        for (int armed = 1;; ++armed) {
            ScratchDirectory scratch;
            prepare(scratch.path());
            FaultHost host(systemHost(), armed, kind);
            const PackStatus result = create(host, scratch.path());
            const auto* injected = host.injected();
            if (injected == nullptr) {
                EXPECT_EQ(result, PackStatus::done);
                break;
            }
            if (kind == FaultKind::cutShort && !testing::canBeCutShort(injected->operation)) continue;
            (kind == FaultKind::stopAfter ? stops : kind == FaultKind::interruptAfter ? interrupts : faults) += 1;
            const std::string where = std::string(testing::operationName(injected->operation)) + " of '" +
                                      injected->path + "' (operation " + std::to_string(armed) + ")";
            // The folder is only read.
            EXPECT_EQ(filesOf(scratch.path() / "mods"), folder) << where;
            const std::optional<Files> left = unpackOf(scratch.path());
            // A list in place is the whole new archive, and the command says it is done.
            EXPECT_EQ(left.has_value(), result == PackStatus::done) << where;
            if (left) {
                EXPECT_EQ(*left, folder) << where;
                continue;
            }
            ++noArchive;
            if (kind == FaultKind::interruptAfter) {
                EXPECT_EQ(result, PackStatus::interrupted) << where;
            }
            if ((kind == FaultKind::refuse || kind == FaultKind::cutShort) && isWriting(injected->operation)) {
                EXPECT_EQ(result, PackStatus::writeFailed) << where;
            }
            if (kind == FaultKind::stopAfter) continue;  // a killed process cleans nothing up
            // Nothing of the new archive, unless its removal was the operation
            // that failed (the command names that file).
            for (const char* name : {"NEW.RES", "NEW.RD.quillpack-create"}) {
                if (injected->operation == Operation::removeFile && injected->path.ends_with(name)) continue;
                EXPECT_FALSE(fs::exists(scratch.path() / name)) << name << " after " << where;
            }
            EXPECT_EQ(testing::filesBelow(scratch.path()).size(), folder.size() +
                                                                      (fs::exists(scratch.path() / "NEW.RES") ? 1 : 0) +
                                                                      (fs::exists(scratch.path() / "NEW.RD.quillpack-create") ? 1 : 0))
                << where;
            // Nothing stands in the way of running it again.
            if (!fs::exists(scratch.path() / "NEW.RES")) {
                EXPECT_EQ(create(systemHost(), scratch.path()), PackStatus::done) << where;
                EXPECT_EQ(unpackOf(scratch.path()), folder) << where;
            }
        }
    }
    EXPECT_GT(noArchive, 0);
    EXPECT_GT(interrupts, 0);
    std::printf("create crash sweep: %d stops, %d faults injected, %d interrupts, %d left no archive\n", stops, faults,
                interrupts, noArchive);
}

}  // namespace
}  // namespace quill::pack
