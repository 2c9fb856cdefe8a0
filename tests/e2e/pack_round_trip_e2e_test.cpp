// quillpack as a modder uses it day to day: commands run twice, options
// forgotten, directories that cannot be read, lists of every shape the
// unpacker reads, and compact beside update.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "e2e/archive.h"

namespace quill::e2e {
namespace {

class PackRoundTrip : public ArchiveRun {
protected:
    const std::string list = "100 0 A.BIN\r\n600 100 SHOT.DIG\r\n50 1000 B.BIN\r\n";

    void SetUp() override {
        writeArchive(scratch.path(), "S", list, resource);
        ASSERT_EQ(run({"S.RD", "-dig2wav"}).status, 0);
    }
    ToolResult pack(const std::vector<std::string>& arguments, bool unprivileged = false) const {
        return runTool(scratch.path(), arguments, {.limits = {}, .unprivileged = unprivileged, .packer = true});
    }
    std::pair<std::string, std::string> archive() const { return {readFile(at("S.RD")), readFile(at("S.RES"))}; }
    // A .WAV as a sound editor saves it: the canonical header and other samples.
    static std::string editedWav(std::size_t samples, char fill) { return expectedWav(std::string(samples, fill)); }
};

TEST_F(PackRoundTrip, ASecondUpdateAfterAWavImportChangesNothing) {
    // The companion's samples are the unscrambled entry: an edited .WAV holds samples, not entry bytes.
    const std::string wav = editedWav(321, 'q').substr(0, 44) + std::string(321, 'q');
    writeFile(at("data/SHOT.WAV"), wav);
    const auto first = pack({"update", "S.RD", "-wav2dig"});
    ASSERT_EQ(first.status, 0) << first.error;
    const auto afterFirst = archive();
    // data/ is what an unpack of the new archive leaves: the .DIG follows the .WAV taken.
    ScratchDirectory fresh;
    fs::copy_file(at("S.RD"), fresh.path() / "S.RD");
    fs::copy_file(at("S.RES"), fresh.path() / "S.RES");
    ASSERT_EQ(runTool(fresh.path(), {"S.RD", "-dig2wav"}).status, 0);
    EXPECT_EQ(readFile(at("data/SHOT.DIG")), readFile(fresh.path() / "data/SHOT.DIG"));
    EXPECT_EQ(readFile(at("data/SHOT.WAV")), readFile(fresh.path() / "data/SHOT.WAV"));
    EXPECT_EQ(readFile(fresh.path() / "data/SHOT.WAV").substr(44), std::string(321, 'q'));

    for (const bool wav2dig : {true, false}) {
        const auto again = wav2dig ? pack({"update", "S.RD", "-wav2dig"}) : pack({"update", "S.RD"});
        EXPECT_EQ(again.status, 0) << again.error;
        EXPECT_EQ(again.output, console("nothing changed: " + rules.typedPath("data/") + " matches the archive\n"));
        EXPECT_EQ(archive(), afterFirst);
    }
}

TEST_F(PackRoundTrip, AnEditedDigRefreshesItsWav) {
    writeFile(at("data/SHOT.DIG"), std::string(90, 'd'));
    ASSERT_EQ(pack({"update", "S.RD"}).status, 0);
    EXPECT_EQ(readFile(at("data/SHOT.WAV")), expectedWav(std::string(90, 'd')));
    EXPECT_EQ(pack({"update", "S.RD", "-wav2dig"}).output,
              console("nothing changed: " + rules.typedPath("data/") + " matches the archive\n"));
}

TEST_F(PackRoundTrip, AWavThatIsTheEditedDigsOwnSoundIsNoReasonToRefuse) {
    // Both edited together (a tool that writes the pair): they agree, so update takes the .DIG.
    writeFile(at("data/SHOT.DIG"), std::string(90, 'd'));
    writeFile(at("data/SHOT.WAV"), expectedWav(std::string(90, 'd')));
    const auto result = pack({"update", "S.RD"});
    ASSERT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(readFile(at("data/SHOT.WAV")), expectedWav(std::string(90, 'd')));
    EXPECT_EQ(pack({"update", "S.RD", "-wav2dig"}).output,
              console("nothing changed: " + rules.typedPath("data/") + " matches the archive\n"));
}

TEST_F(PackRoundTrip, AWavEditedWithoutTheOptionIsNamedAndNothingIsWritten) {
    writeFile(at("data/SHOT.WAV"), editedWav(50, 'z'));
    writeFile(at("data/A.BIN"), "another edit");
    const auto result = pack({"update", "S.RD"});
    EXPECT_EQ(result.status, 4) << result.output;
    EXPECT_EQ(result.error, console(rules.typedPath("data/SHOT.WAV") +
                                    ": differs from the sound SHOT.DIG holds, and is not taken without -wav2dig; "
                                    "give -wav2dig to take it, or remove it\n"));
    EXPECT_EQ(result.output.find("nothing changed"), std::string::npos);
    EXPECT_EQ(archive(), std::pair(list, resource));
}

TEST_F(PackRoundTrip, ARecordNamedLikeACompanionIsNotTakenForOne) {
    // Record 1 is A.WAV; the unpack with -dig2wav leaves record 2's companion there.
    const std::string pairList = "10 0 A.WAV\r\n30 10 A.DIG\r\n";
    writeArchive(scratch.path(), "P", pairList, resource);
    ASSERT_EQ(run({"P.RD", "-dig2wav"}).status, 0);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"update", "P.RD", "-n"}, {"update", "P.RD", "-wav2dig", "-n"}}) {
        const auto result = pack(arguments);
        EXPECT_EQ(result.status, 0) << result.error;
        EXPECT_EQ(result.output, console("nothing changed: " + rules.typedPath("data/") + " matches the archive\n"))
            << arguments.size();
    }
    // Edited, it could be either record's: refused, with the option or without.
    writeFile(at("data/A.WAV"), editedWav(40, 'e'));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"update", "P.RD"}, {"update", "P.RD", "-wav2dig"}}) {
        const auto result = pack(arguments);
        EXPECT_EQ(result.status, 4) << arguments.size();
        EXPECT_EQ(result.error, console(rules.typedPath("data/A.WAV") +
                                        ": differs both from record 1 (A.WAV) and from the sound of record 2 "
                                        "(A.DIG), which both write this file; cannot tell which to change\n"));
        EXPECT_EQ(readFile(at("P.RD")), pairList);
    }
}

TEST_F(PackRoundTrip, ASymbolicLinkInDataIsNotFollowedIntoTheArchive) {
    if (rules.windows) GTEST_SKIP() << "a Unix symbolic link";
    writeFile(at("private.txt"), "not the archive's");
    fs::remove(at("data/A.BIN"));
    fs::create_symlink(at("private.txt"), at("data/A.BIN"));
    const auto result = pack({"update", "S.RD"});
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.error, "data/A.BIN: a symbolic link; put the file itself there\n");
    EXPECT_EQ(archive(), std::pair(list, resource));
}

TEST_F(PackRoundTrip, AnUnreadableDataDirectoryIsAFailureNotAMissingFile) {
    if (rules.windows) GTEST_SKIP() << "Wine does not keep Unix permissions from its own process";
    writeFile(at("data/A.BIN"), "an edit that must not be lost");
    // The unprivileged user (nobody, when the tests run as root) reaches the archive but not data/.
    fs::permissions(scratch.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    ASSERT_EQ(::chmod(at("data").c_str(), 0), 0);
    const auto result = pack({"update", "S.RD"}, true);
    ::chmod(at("data").c_str(), 0755);
    EXPECT_EQ(result.status, 4) << result.output;
    EXPECT_NE(result.error.find("data/A.BIN: Permission denied\n"), std::string::npos) << result.error;
    EXPECT_NE(result.error.find("data/SHOT.WAV: Permission denied\n"), std::string::npos) << result.error;
    EXPECT_EQ(result.output.find("nothing changed"), std::string::npos);
    EXPECT_EQ(archive(), std::pair(list, resource));
}

TEST_F(PackRoundTrip, MissingFilesAreNamed) {
    fs::remove(at("data/A.BIN"));
    const auto result = pack({"update", "S.RD"});
    EXPECT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(result.output, console("1 entry file is not in " + rules.typedPath("data/") + ": kept as it is (" +
                                     rules.typedPath("data/A.BIN") + ")\nnothing changed: the files there match the archive\n"));
}

TEST_F(PackRoundTrip, AListThatIsItsOwnResourceIsRefused) {
    // No dot: the list is loaded as its own resource too.
    const std::string own = "5 0 A.BIN\n";
    writeFile(at("OWN"), own);
    ASSERT_EQ(run({"OWN"}).status, 0);
    writeFile(at("data/A.BIN"), "an edit");
    const auto result = pack({"update", "OWN"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.error.find("is its own resource"), std::string::npos) << result.error;
    EXPECT_EQ(readFile(at("OWN")), own);
    if (!rules.windows) {
        // One file under two names.
        writeFile(at("H.RD"), own);
        fs::create_hard_link(at("H.RD"), at("H.RES"));
        EXPECT_EQ(pack({"update", "H.RD"}).status, 1);
        EXPECT_EQ(readFile(at("H.RD")), own);
    }
    // The resource given where the list goes is told as such, for every changing command.
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"update", "S.RES"}, {"add", "S.RES", "OWN"}, {"remove", "S.RES", "A.BIN"},
          {"rename", "S.RES", "A.BIN", "B.BIN"}}) {
        const auto given = pack(words);
        EXPECT_EQ(given.status, 1) << words[0];
        EXPECT_EQ(given.error, console("S.RES: is a resource, not a list; give the list that names its records (the "
                                          ".RD file beside it)\n"))
            << words[0];
    }
    // compact only reads it, and makes a normal pair of it.
    ASSERT_EQ(pack({"compact", "OWN", "NEW.RD"}).status, 0);
    EXPECT_EQ(readFile(at("NEW.RES")), own.substr(0, 5));
}

TEST_F(PackRoundTrip, ListsWithGluedSignsAndCarriageReturnsInNumbersCanBeUpdated) {
    // The unpacker reads "10+5" as 10 and +5, "4-0" as 4 and -0, and "1\r2" as 12.
    const std::string glued = "10+5 A.BIN\n4-0 B.BIN\n1\r2 3 C.BIN\n";
    writeArchive(scratch.path(), "G", glued, resource);
    ASSERT_EQ(run({"G.RD"}).status, 0);
    writeFile(at("data/A.BIN"), "alpha");
    writeFile(at("data/B.BIN"), "beta");
    writeFile(at("data/C.BIN"), "gamma!");
    const auto result = pack({"update", "G.RD"});
    ASSERT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(readFile(at("G.RD")), "5+4096 A.BIN\n4+4101 B.BIN\n6\r 4105 C.BIN\n");
    ScratchDirectory fresh;
    fs::copy_file(at("G.RD"), fresh.path() / "G.RD");
    fs::copy_file(at("G.RES"), fresh.path() / "G.RES");
    ASSERT_EQ(runTool(fresh.path(), {"G.RD"}).status, 0);
    EXPECT_EQ(readFile(fresh.path() / "data/A.BIN"), "alpha");
    EXPECT_EQ(readFile(fresh.path() / "data/B.BIN"), "beta");
    EXPECT_EQ(readFile(fresh.path() / "data/C.BIN"), "gamma!");
}

TEST_F(PackRoundTrip, ListFailsWhenItsOutputCannotBeWritten) {
    if (rules.windows) GTEST_SKIP() << "/dev/full is a Linux device";
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const int pid = startTool(scratch.path(), {"list", "S.RD"}, full, {.limits = {}, .unprivileged = false,
                                                                         .packer = true});
    ::close(full);
    EXPECT_EQ(waitForTool(pid), 5);
}

TEST_F(PackRoundTrip, CompactReplacesAnExistingDestinationWhole) {
    writeArchive(scratch.path(), "NEW", "3 0 OLD.BIN\r\n", "old");
    const auto result = pack({"compact", "S.RD", "NEW.RD"});
    ASSERT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(result.output, console("wrote NEW.RD (3 records) and NEW.RES (750 bytes in 3 ranges; was 4096 bytes)\n"));
    EXPECT_EQ(readFile(at("NEW.RD")), "100 0 A.BIN\r\n600 100 SHOT.DIG\r\n50 700 B.BIN\r\n");
    for (const auto& entry : fs::directory_iterator(scratch.path())) {
        EXPECT_EQ(entry.path().filename().string().find("quillpack"), std::string::npos) << entry.path();
    }
}

TEST_F(PackRoundTrip, CompactRefusesADestinationTheSourceWouldFindInsteadOfItsResource) {
    if (rules.windows) GTEST_SKIP() << "letter case names one file on Windows";
    writeArchive(scratch.path(), "low", list, resource);
    fs::rename(at("low.RES"), at("low.res"));  // found by the case-blind lookup
    const auto result = pack({"compact", "low.RD", "LOW.RD"});
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(fs::exists(at("LOW.RES")));
    // Messages name the file found, not the spelling looked for.
    const auto listed = pack({"list", "low.RD"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.output.find("resource     4096 bytes (low.res)\n"), std::string::npos) << listed.output;
}

TEST_F(PackRoundTrip, CompactWaitsForNoUpdateItRefusesWhileTheDestinationIsLocked) {
    if (rules.windows) GTEST_SKIP() << "the lock is held here by a Linux process";
    writeArchive(scratch.path(), "NEW", "3 0 OLD.BIN\r\n", "old");
    const int fd = ::open(at("NEW.RES").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const auto result = pack({"compact", "S.RD", "NEW.RD"});
    ::close(fd);
    EXPECT_EQ(result.status, 5) << result.error;
    EXPECT_EQ(readFile(at("NEW.RD")), "3 0 OLD.BIN\r\n");
    EXPECT_EQ(readFile(at("NEW.RES")), "old");
    // A destination whose resource an update finds past letter case is locked as the update locks it.
    writeArchive(scratch.path(), "N", "3 0 OLD.BIN\r\n", "old");
    fs::rename(at("N.RES"), at("n.res"));
    const int held = ::open(at("n.res").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const auto blind = pack({"compact", "S.RD", "N.RD"});
    ::close(held);
    EXPECT_EQ(blind.status, 5) << blind.error;
    EXPECT_EQ(readFile(at("N.RD")), "3 0 OLD.BIN\r\n");
}

TEST_F(PackRoundTrip, ACompactDestinationThatCannotBeLockedSaysWhy) {
    // A missing directory is named as such, not as a lock someone holds.
    const auto missing = pack({"compact", "S.RD", rules.typedPath("NODIR/N.RD")});
    EXPECT_EQ(missing.status, 5);
    EXPECT_EQ(missing.error, console(rules.typedPath("NODIR") + ": no such directory, so " +
                                     rules.typedPath("NODIR/N.RD") + " cannot be written there\n"));
    EXPECT_EQ(missing.error.find("another quillpack command"), std::string::npos) << missing.error;
    if (rules.windows) return;
    // A link where the new resource goes is refused, not followed or replaced.
    fs::create_symlink("nowhere/X.RES", at("L.RES"));
    const auto linked = pack({"compact", "S.RD", "L.RD"});
    EXPECT_EQ(linked.status, 1);
    EXPECT_EQ(linked.error, "L.RES: is a symbolic link; name another list\n");
    EXPECT_TRUE(fs::is_symlink(at("L.RES")));
    EXPECT_FALSE(fs::exists(at("L.RD")));
}

// The files an unpack of a pair in the scratch directory leaves, unpacked elsewhere; empty when it fails.
std::map<std::string, std::string> unpackedFiles(const fs::path& list, const fs::path& resource) {
    ScratchDirectory fresh;
    fs::copy_file(list, fresh.path() / "X.RD");
    fs::copy_file(resource, fresh.path() / "X.RES");
    std::map<std::string, std::string> files;
    if (runTool(fresh.path(), {"X.RD"}).status != 0) return files;
    for (const auto& name : filesBelow(fresh.path() / "data")) files[name] = readFile(fresh.path() / "data" / name);
    return files;
}

TEST_F(PackRoundTrip, CompactAndUpdateOfOneArchiveAtOnceLeaveAWholeArchive) {
    // D: 200 entries of 32 KiB, all edited in data/, so its update takes a while.
    std::string dList;
    std::string dResource;
    for (int i = 0; i < 200; ++i) {
        dList += std::to_string(32768) + " " + std::to_string(i * 32768) + " E" + std::to_string(i) + ".BIN\r\n";
        dResource += std::string(32768, static_cast<char>('a' + i % 26));
    }
    for (int round = 0; round < 3; ++round) {
        writeArchive(scratch.path(), "D", dList, dResource);
        fs::remove_all(at("data"));
        ASSERT_EQ(run({"D.RD"}).status, 0);
        for (int i = 0; i < 200; ++i) writeFile(at("data/E" + std::to_string(i) + ".BIN"), "edited " + std::to_string(i));
        const auto edited = unpackedFiles(at("D.RD"), at("D.RES"));  // before: the old archive
        const RunOptions asPacker{.limits = {}, .unprivileged = false, .packer = true};
        const int quiet = ::open("/dev/null", O_WRONLY);
        const int update = startTool(scratch.path(), {"update", "D.RD"}, quiet, asPacker);
        const int compact = startTool(scratch.path(), {"compact", "S.RD", "D.RD"}, quiet, asPacker);
        ::close(quiet);
        const int updateStatus = waitForTool(update);
        const int compactStatus = waitForTool(compact);
        EXPECT_TRUE(updateStatus == 0 || updateStatus == 2 || updateStatus == 5) << updateStatus;
        EXPECT_TRUE(compactStatus == 0 || compactStatus == 5) << compactStatus;
        // Whatever order they ran in, D is a whole archive: S's files, or D's own with or without the edits.
        const auto left = unpackedFiles(at("D.RD"), at("D.RES"));
        std::map<std::string, std::string> fromS;
        fromS["A.BIN"] = slice(resource, 0, 100);
        fromS["SHOT.DIG"] = slice(resource, 100, 600);
        fromS["B.BIN"] = slice(resource, 1000, 50);
        bool allEdited = left.size() == 200;
        for (int i = 0; i < 200 && allEdited; ++i) {
            allEdited = left.count("E" + std::to_string(i) + ".BIN") != 0 &&
                        left.at("E" + std::to_string(i) + ".BIN") == "edited " + std::to_string(i);
        }
        EXPECT_TRUE(left == fromS || left == edited || allEdited)
            << "round " << round << ": update " << updateStatus << ", compact " << compactStatus << ", "
            << left.size() << " files";
    }
}

TEST_F(PackRoundTrip, WindowsTakesATrailingDotForTheSameFile) {
    const std::string aliases = "10 0 A.BIN\r\n20 10 A.BIN.\r\n";
    writeArchive(scratch.path(), "T", aliases, resource);
    if (!rules.windows) {
        ASSERT_EQ(run({"T.RD"}).status, 0);
        EXPECT_EQ(pack({"list", "T.RD"}).output.find("replaced by"), std::string::npos);
        return;
    }
    ASSERT_EQ(run({"T.RD"}).status, 0);
    const auto listed = pack({"list", "T.RD"});
    EXPECT_NE(listed.output.find("replaced by record 2"), std::string::npos) << listed.output;
    const auto result = pack({"update", "T.RD"});
    EXPECT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(result.output, console("nothing changed: " + rules.typedPath("data/") + " matches the archive\n"));
    EXPECT_EQ(readFile(at("T.RD")), aliases);
}

}  // namespace
}  // namespace quill::e2e
