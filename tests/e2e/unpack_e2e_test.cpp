// The built executable, run in a scratch directory: exact console text, exit
// status and the files it leaves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "e2e/archive.h"
#include "e2e/full_disk.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

using UnpackRun = ArchiveRun;

TEST_F(UnpackRun, UnpacksEveryEntryBesideTheList) {
    writeArchive(scratch.path(), "game/SOUNDS", "100 0 A.BIN\r\n7 4000 LONGNAME.DIG\r\n4096 0 ALL\r\n", resource);
    const auto result = run({rules.typedPath("game/SOUNDS.RD")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, console(kBanner + "\n" + progress(1, 3, "A.BIN") + progress(2, 3, "LONGNAME.DIG") +
                                     progress(3, 3, "ALL") + "\nAll done!\n\n"));
    EXPECT_EQ(readFile(at("game/data/A.BIN")), slice(resource, 0, 100));
    EXPECT_EQ(readFile(at("game/data/LONGNAME.DIG")), slice(resource, 4000, 7));
    EXPECT_EQ(readFile(at("game/data/ALL")), resource);
    // No sound conversion without the option.
    EXPECT_EQ(filesBelow(at("game/data")), (std::vector<std::string>{"A.BIN", "ALL", "LONGNAME.DIG"}));
}

TEST_F(UnpackRun, BadCommandLinesPrintUsageAndOpenNothing) {
    writeArchive(scratch.path(), "S", "1 0 A\n", resource);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {}, {"S.RD", "-x"}, {"S.RD", "-dig2wav", "more"}, {"S.RD", "dig2wav"}}) {
        const auto result = run(arguments);
        EXPECT_EQ(result.status, 1) << arguments.size();
        EXPECT_EQ(result.output, console(kBanner + kUsage + "Error - invalid paramters!\n\n"));
    }
    EXPECT_FALSE(fs::exists(at("data")));
}

TEST_F(UnpackRun, EarlyFailuresHaveTheirOwnStatusAndMessage) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> prepare;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"no list", [](const fs::path&) {}, 2, "Error - can't open list file *.RD!\n\n"},
        {"list is a directory", [](const fs::path& d) { fs::create_directories(d / "S.RD"); }, 2,
         "Error - can't open list file *.RD!\n\n"},
        {"no complete record", [&](const fs::path& d) { writeArchive(d, "S", "\xef\xbb\xbf" "1 0 A\n", resource); },
         3, "Error - no correct item found in the list!\n\n"},
        {"empty list", [&](const fs::path& d) { writeArchive(d, "S", "", resource); }, 3,
         "Error - no correct item found in the list!\n\n"},
        {"no resource", [](const fs::path& d) { writeFile(d / "S.RD", "1 0 A\n"); }, 4,
         "Error - can't open resource file *.RES!\n\n"},
        {"resource is a directory",
         [](const fs::path& d) {
             writeFile(d / "S.RD", "1 0 A\n");
             fs::create_directories(d / "S.RES");
         },
         4, "Error - can't open resource file *.RES!\n\n"},
        {"empty resource", [](const fs::path& d) { writeArchive(d, "S", "1 0 A\n", ""); }, 4,
         "Error - can't allocate memory!\n\n"},
    };
    for (const auto& c : cases) {
        ScratchDirectory own;
        c.prepare(own.path());
        const auto result = runTool(own.path(), {"S.RD"});
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.output, console(kBanner + "\n" + c.message)) << c.what;
        EXPECT_FALSE(fs::exists(own.path() / "data")) << c.what;
    }
}

TEST_F(UnpackRun, AnInvalidEntryStopsAfterTheEntriesBeforeIt) {
    writeArchive(scratch.path(), "S", "10 0 A\n10 4090 B\n10 20 C\n", resource);
    const auto result = run({"S.RD"});
    EXPECT_EQ(result.status, 5);
    EXPECT_EQ(result.output, console(kBanner + "\n" + progress(1, 3, "A") + "\nError - invalid data in list!\n\n"));
    EXPECT_EQ(filesBelow(at("data")), std::vector<std::string>{"A"});
}

TEST_F(UnpackRun, AnInvalidFirstEntryLeavesOnlyTheEmptyDirectory) {
    writeArchive(scratch.path(), "S", "0 0 A\n", resource);
    EXPECT_EQ(run({"S.RD"}).status, 5);
    EXPECT_TRUE(fs::is_directory(at("data")));
    EXPECT_TRUE(filesBelow(at("data")).empty());
}

TEST_F(UnpackRun, EntriesEndingAtTheImageEndAndOnePast) {
    writeArchive(scratch.path(), "S", "96 4000 END\n97 4000 PAST\n", resource);
    const auto result = run({"S.RD"});
    EXPECT_EQ(result.status, 5);
    EXPECT_EQ(readFile(at("data/END")), slice(resource, 4000, 96));
    EXPECT_FALSE(fs::exists(at("data/PAST")));
}

TEST_F(UnpackRun, EntryFilesThatCannotBeCreatedGiveStatusSix) {
    struct Case {
        const char* what;
        std::string list;
        std::function<void(const fs::path&)> prepare;
    };
    const std::vector<Case> cases = {
        {"subdirectory missing", "5 0 A\n5 5 SFX\\B\n5 9 C\n", [](const fs::path&) {}},
        {"parent-climbing name", "5 0 A\n5 5 ..\\B\n5 9 C\n", [](const fs::path&) {}},
        {"forward-slash climbing name", "5 0 A\n5 5 SUB/../../B\n5 9 C\n",
         [](const fs::path& d) { fs::create_directories(d / "data/SUB"); }},
        {"dots only", "5 0 A\n5 5 ...\n5 9 C\n", [](const fs::path&) {}},
        {"a directory in the file's place", "5 0 A\n5 5 B\n5 9 C\n",
         [](const fs::path& d) { fs::create_directories(d / "data/B"); }},
    };
    for (const auto& c : cases) {
        ScratchDirectory own;
        writeArchive(own.path(), "S", c.list, resource);
        c.prepare(own.path());
        const auto result = runTool(own.path(), {"S.RD"});
        EXPECT_EQ(result.status, 6) << c.what;
        EXPECT_EQ(result.output,
                  console(kBanner + "\n" + progress(1, 3, "A") + "\nError - can't create destination file!\n\n"))
            << c.what;
        EXPECT_EQ(readFile(own.path() / "data/A"), slice(resource, 0, 5)) << c.what;
        EXPECT_FALSE(fs::exists(own.path() / "data/C")) << c.what;
        EXPECT_FALSE(fs::exists(own.path() / "B")) << c.what;
    }
}

TEST_F(UnpackRun, AnOutputDirectoryThatIsAFileGivesStatusSix) {
    writeArchive(scratch.path(), "S", "5 0 A\n", resource);
    writeFile(at("data"), "not a directory");
    const auto result = run({"S.RD"});
    EXPECT_EQ(result.status, 6);
    EXPECT_EQ(result.output, console(kBanner + "\n" + "\nError - can't create destination file!\n\n"));
    EXPECT_EQ(readFile(at("data")), "not a directory");
}

TEST_F(UnpackRun, AFullDiskIsStatusSixNotAllDone) {
    writeArchive(scratch.path(), "S", "5 0 A\n5 5 FULL\\B\n5 9 C\n", resource);
    const FullFileSystem full(at("data/FULL"), 0);
    if (!full.mounted()) GTEST_SKIP() << full.why();
    const auto result = run({"S.RD"});
    EXPECT_EQ(result.status, 6);
    EXPECT_EQ(result.output,
              console(kBanner + "\n" + progress(1, 3, "A") + "\nError - can't create destination file!\n\n"));
    EXPECT_FALSE(fs::exists(at("data/C")));
}

TEST_F(UnpackRun, NamesWithASubdirectoryAreWrittenWhereItExists) {
    writeArchive(scratch.path(), "S", "5 0 SFX\\A.BIN\n", resource);
    fs::create_directories(at("data/SFX"));
    EXPECT_EQ(run({"S.RD"}).status, 0);
    EXPECT_EQ(readFile(at("data/SFX/A.BIN")), slice(resource, 0, 5));
}

TEST_F(UnpackRun, TheResourceIsFoundWhateverTheCaseOfItsExtension) {
    writeFile(at("game/sounds.rd"), "5 1 A\n");
    writeFile(at("game/sounds.res"), resource);
    EXPECT_EQ(run({rules.typedPath("game/sounds.rd")}).status, 0);
    EXPECT_EQ(readFile(at("game/data/A")), slice(resource, 1, 5));
}

TEST_F(UnpackRun, AListWithoutExtensionIsItsOwnResource) {
    writeFile(at("game/LIST"), "3 0 A\n");
    EXPECT_EQ(run({rules.typedPath("game/LIST")}).status, 0);
    EXPECT_EQ(readFile(at("game/data/A")), "3 0");
}

TEST_F(UnpackRun, RepeatedAndOverlappingEntriesEachGetTheirOwnBytes) {
    writeArchive(scratch.path(), "S", "10 0 A\n10 5 B\n10 100 A\n", resource);
    EXPECT_EQ(run({"S.RD"}).status, 0);
    EXPECT_EQ(readFile(at("data/A")), slice(resource, 100, 10));
    EXPECT_EQ(readFile(at("data/B")), slice(resource, 5, 10));
}

TEST_F(UnpackRun, OnlyTheFirst999RecordsAreUsed) {
    std::string list;
    for (int i = 0; i < 1000; ++i) list += "1 " + std::to_string(i) + " E" + std::to_string(i) + "\n";
    writeArchive(scratch.path(), "S", list, resource);
    const auto result = run({"S.RD"});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.output.find(progress(999, 999, "E998")), std::string::npos);
    EXPECT_TRUE(fs::exists(at("data/E998")));
    EXPECT_FALSE(fs::exists(at("data/E999")));
}

}  // namespace
}  // namespace quill::e2e
