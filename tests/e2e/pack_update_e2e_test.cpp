// quillpack update and compact on the built executables: an edit goes back in,
// -n writes nothing, conflicts and foreign .WAV files are refused, an
// unchanged directory rewrites nothing, compact keeps every file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>

#include "e2e/archive.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

std::string littleEndian(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = 0; i < bytes; ++i) text += static_cast<char>((value >> (8 * i)) & 0xff);
    return text;
}

// A RIFF/WAVE file built here byte by byte: a "fmt " chunk, any other chunks, then "data".
std::string wavFile(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, const std::string& samples,
                    const std::string& extraChunks = "") {
    const std::uint16_t align = static_cast<std::uint16_t>(channels * bits / 8);
    const std::string format = "fmt " + littleEndian(16, 4) + littleEndian(1, 2) + littleEndian(channels, 2) +
                               littleEndian(rate, 4) + littleEndian(rate * align, 4) + littleEndian(align, 2) +
                               littleEndian(bits, 2);
    std::string data = "data" + littleEndian(static_cast<std::uint32_t>(samples.size()), 4) + samples;
    if (samples.size() % 2 == 1) data += '\0';
    const std::string body = "WAVE" + format + extraChunks + data;
    return "RIFF" + littleEndian(static_cast<std::uint32_t>(body.size()), 4) + body;
}

// The unpacker's unscrambling, written out: what a player hears for these entry bytes.
std::string unscrambled(const std::string& entry) { return expectedWav(entry).substr(44); }

class PackUpdate : public ArchiveRun {
protected:
    const std::string list = "100 0 A.BIN\r\n600 100 SHOT.DIG\r\n50 1000 B.BIN\r\n";

    void SetUp() override {
        writeArchive(scratch.path(), "S", list, resource);
        ASSERT_EQ(run({"S.RD", "-dig2wav"}).status, 0);
    }
    ToolResult pack(const std::vector<std::string>& arguments) const {
        return runTool(scratch.path(), arguments, {.limits = {}, .unprivileged = false, .packer = true});
    }
    // What a fresh unpack of the pair on disk writes.
    std::string unpacked(const std::string& name) const {
        ScratchDirectory fresh;
        fs::copy_file(at("S.RD"), fresh.path() / "S.RD");
        fs::copy_file(at("S.RES"), fresh.path() / "S.RES");
        EXPECT_EQ(runTool(fresh.path(), {"S.RD", "-dig2wav"}).status, 0);
        return readFile(fresh.path() / "data" / name);
    }
};

TEST_F(PackUpdate, AnEditedEntryGoesBackAndOnlyItsNumbersChange) {
    writeFile(at("data/B.BIN"), "a longer edit of B, seventy-one bytes long, to be appended at the end.\n");
    const auto result = pack({"update", "S.RD"});
    ASSERT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(result.output, console("record 3 B.BIN: 50 -> 71 bytes, from " + rules.typedPath("data/B.BIN") +
                                     "\nappended 71 bytes to S.RES; S.RD rewritten (version 2)\n"));
    EXPECT_EQ(readFile(at("S.RD")), "100 0 A.BIN\r\n600 100 SHOT.DIG\r\n71 4096 B.BIN\r\n");
    EXPECT_EQ(readFile(at("S.RES")), resource + readFile(at("data/B.BIN")));
    EXPECT_EQ(unpacked("B.BIN"), readFile(at("data/B.BIN")));
    EXPECT_EQ(unpacked("A.BIN"), slice(resource, 0, 100));
}

TEST_F(PackUpdate, UndoAndRedoGoBetweenTheVersionsTheHistoryKeeps) {
    const std::string oldB = readFile(at("data/B.BIN"));
    writeFile(at("data/B.BIN"), "an edit of B\n");
    ASSERT_EQ(pack({"update", "S.RD"}).status, 0);
    const std::string edited = readFile(at("S.RD"));
    const auto history = pack({"history", "S.RD"});
    ASSERT_EQ(history.status, 0) << history.error;
    EXPECT_NE(history.output.find("update          1 replaced (B.BIN)"), std::string::npos) << history.output;
    EXPECT_NE(history.output.find("found           3 records"), std::string::npos) << history.output;
    const auto undo = pack({"undo", "S.RD"});
    ASSERT_EQ(undo.status, 0) << undo.error;
    EXPECT_EQ(readFile(at("S.RD")), list);  // byte for byte the list as found
    EXPECT_EQ(readFile(at("data/B.BIN")), oldB);
    EXPECT_EQ(pack({"undo", "S.RD"}).status, 4);  // nothing older
    ASSERT_EQ(pack({"redo", "S.RD"}).status, 0);
    EXPECT_EQ(readFile(at("S.RD")), edited);
    EXPECT_EQ(readFile(at("data/B.BIN")), "an edit of B\n");
    EXPECT_EQ(unpacked("B.BIN"), "an edit of B\n");
}

TEST_F(PackUpdate, AnEditedWavGoesBackScrambledAndExtraChunksAreSkipped) {
    const std::string edited(601, 'w');  // odd: the data chunk gets its pad byte
    writeFile(at("data/SHOT.WAV"), wavFile(1, 11025, 8, edited, "LIST" + littleEndian(3, 4) + "abc" + '\0'));
    const auto result = pack({"update", "S.RD", "-WAV2DIG"});
    ASSERT_EQ(result.status, 0) << result.error;
    // The new entry unscrambles to exactly the edited samples.
    EXPECT_EQ(unscrambled(unpacked("SHOT.DIG")), edited);
    EXPECT_EQ(unpacked("SHOT.WAV").substr(44), edited);
}

TEST_F(PackUpdate, DryRunWritesNothing) {
    writeFile(at("data/A.BIN"), "edited");
    const auto before = std::pair{readFile(at("S.RD")), readFile(at("S.RES"))};
    const auto result = pack({"update", "S.RD", "-n"});
    EXPECT_EQ(result.status, 0) << result.error;
    EXPECT_NE(result.output.find("record 1 A.BIN: 100 -> 6 bytes"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("would append 6 bytes"), std::string::npos) << result.output;
    EXPECT_EQ(std::pair(readFile(at("S.RD")), readFile(at("S.RES"))), before);
}

TEST_F(PackUpdate, RefusedInputsLeaveBothFilesUntouched) {
    struct Case {
        const char* what;
        std::string dig;  // empty: as unpacked
        std::string wav;  // empty: as unpacked
        std::string error;
    };
    const std::vector<Case> cases = {
        {"both edited, differently", "one edit", wavFile(1, 11025, 8, "another edit"),
         "conflict: " + rules.typedPath("data/SHOT.DIG") + " and " + rules.typedPath("data/SHOT.WAV") +
             " both differ from the archive and from each other; change one of them\n"},
        {"a .WAV of another format", "", wavFile(2, 44100, 16, std::string(400, 'x')),
         rules.typedPath("data/SHOT.WAV") + ": PCM 16-bit, 2 channels, 44100 Hz; needs PCM 8-bit, 1 channel, "
                                            "11025 Hz\n"},
    };
    for (const auto& c : cases) {
        const std::string originalDig = readFile(at("data/SHOT.DIG"));
        const std::string originalWav = readFile(at("data/SHOT.WAV"));
        if (!c.dig.empty()) writeFile(at("data/SHOT.DIG"), c.dig);
        if (!c.wav.empty()) writeFile(at("data/SHOT.WAV"), c.wav);
        writeFile(at("data/A.BIN"), "an edit that must not go in either");
        const auto result = pack({"update", "S.RD", "-wav2dig"});
        EXPECT_EQ(result.status, 4) << c.what;
        EXPECT_EQ(result.error, console(c.error)) << c.what;
        EXPECT_EQ(readFile(at("S.RD")), list) << c.what;
        EXPECT_EQ(readFile(at("S.RES")), resource) << c.what;
        writeFile(at("data/SHOT.DIG"), originalDig);
        writeFile(at("data/SHOT.WAV"), originalWav);
    }
}

TEST_F(PackUpdate, AnUnchangedDirectoryRewritesNothing) {
    // Times set in the past, so that any rewrite would show.
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(at("S.RD"), past);
    fs::last_write_time(at("S.RES"), past);
    const auto result = pack({"update", "S.RD", "-wav2dig"});
    EXPECT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(result.output, console("nothing changed: " + rules.typedPath("data/") + " matches the archive\n"));
    EXPECT_EQ(fs::last_write_time(at("S.RD")), past);
    EXPECT_EQ(fs::last_write_time(at("S.RES")), past);
}

TEST_F(PackUpdate, CompactWritesAPairThatUnpacksToTheSameFiles) {
    writeFile(at("data/B.BIN"), "edited");
    ASSERT_EQ(pack({"update", "S.RD"}).status, 0);
    const auto result = pack({"compact", "S.RD", "NEW.RD"});
    ASSERT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(readFile(at("NEW.RD")), "100 0 A.BIN\r\n600 100 SHOT.DIG\r\n6 700 B.BIN\r\n");
    EXPECT_EQ(readFile(at("NEW.RES")), slice(resource, 0, 700) + "edited");
    EXPECT_EQ(pack({"compact", "S.RD", "s.rd"}).status, rules.windows ? 1 : 0);  // the same file on Windows
    EXPECT_EQ(pack({"compact", "S.RD", "S.RD"}).status, 1);
}

TEST_F(PackUpdate, CompactNeverWritesOverItsOwnArchiveHoweverItIsSpelt) {
    const std::vector<std::string> spellings = {rules.typedPath("./S.RD"), rules.typedPath("data/../S.RD")};
    for (const auto& spelling : spellings) {
        const auto result = pack({"compact", "S.RD", spelling});
        EXPECT_EQ(result.status, 1) << spelling << result.error;
    }
    if (!rules.windows) {
        fs::create_directory_symlink(".", at("same"));
        EXPECT_EQ(pack({"compact", "S.RD", "same/S.RD"}).status, 1);
        // A list in another case finds S.RES by the case-blind lookup: S.RD's resource is that same file.
        writeFile(at("s.rd"), list);
        EXPECT_EQ(pack({"compact", "s.rd", "S.RD"}).status, 1);
    }
    EXPECT_EQ(readFile(at("S.RD")), list);
    EXPECT_EQ(readFile(at("S.RES")), resource);
}

TEST_F(PackUpdate, ADirectoryLinkInsideDataIsNotFollowed) {
    if (rules.windows) GTEST_SKIP() << "Wine shows a Linux link to a directory as the directory itself";
    // SFX inside data/ points at a private folder: its file must not go into the archive.
    writeArchive(scratch.path(), "S", "5 0 A.BIN\r\n5 5 SFX\\B.BIN\r\n", "aaaaabbbbb");
    fs::create_directories(at("data"));
    fs::create_directories(at("private"));
    writeFile(at("data/A.BIN"), "aaaaa");
    writeFile(at("private/B.BIN"), "a private file");
    fs::create_directory_symlink("../private", at("data/SFX"));
    const std::string resourceBefore = readFile(at("S.RES"));
    const auto result = pack({"update", "S.RD"});
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.error, "data/SFX: a symbolic link inside data/; not followed (files from elsewhere would go into "
                            "the archive): put the directory itself there\n");
    EXPECT_EQ(readFile(at("S.RES")), resourceBefore);
    EXPECT_EQ(readFile(at("S.RD")), "5 0 A.BIN\r\n5 5 SFX\\B.BIN\r\n");
}

TEST_F(PackUpdate, ALinkedArchiveIsChangedWhereItLivesAndKeepsItsPermissions) {
    if (rules.windows) GTEST_SKIP() << "Wine shows a Linux link as the file itself";
    // The pair lives in real/; the game's folder holds links to it.
    fs::create_directories(at("real"));
    fs::rename(at("S.RD"), at("real/S.RD"));
    fs::rename(at("S.RES"), at("real/S.RES"));
    fs::create_symlink("real/S.RD", at("S.RD"));
    fs::create_symlink("real/S.RES", at("S.RES"));
    fs::permissions(at("real/S.RD"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    writeFile(at("data/B.BIN"), "an edit of B");
    const auto result = pack({"update", "S.RD"});
    ASSERT_EQ(result.status, 0) << result.error;
    EXPECT_TRUE(fs::is_symlink(at("S.RD")));
    EXPECT_TRUE(fs::is_symlink(at("S.RES")));
    EXPECT_EQ(fs::status(at("real/S.RD")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Read through the links, the pair is one archive holding the edit.
    EXPECT_EQ(unpacked("B.BIN"), "an edit of B");
    EXPECT_FALSE(fs::exists(at("real/S.RD.quillpack-update")));

    // A link into a folder whose name holds a backslash cannot be named in the
    // tool's path form: refused, the archive as it was, and no other file touched.
    fs::create_directories(at("we\\ird"));
    fs::create_directories(at("we/ird"));
    fs::copy_file(at("real/S.RD"), at("we\\ird/S.RD"));
    fs::copy_file(at("real/S.RES"), at("we\\ird/S.RES"));
    writeFile(at("we/ird/S.RD"), "someone else's file");
    fs::remove(at("S.RD"));
    fs::remove(at("S.RES"));
    fs::create_symlink("we\\ird/S.RD", at("S.RD"));
    fs::create_symlink("we\\ird/S.RES", at("S.RES"));
    const std::string before = readFile(at("we\\ird/S.RD"));
    const std::string resourceBefore = readFile(at("we\\ird/S.RES"));
    writeFile(at("data/B.BIN"), "another edit of B");
    const auto refused = pack({"update", "S.RD"});
    EXPECT_EQ(refused.status, 5) << refused.error;
    EXPECT_EQ(readFile(at("we/ird/S.RD")), "someone else's file");
    EXPECT_EQ(readFile(at("we\\ird/S.RD")), before);
    EXPECT_EQ(readFile(at("we\\ird/S.RES")), resourceBefore);
}

TEST_F(PackUpdate, AFifoInTheDataDirectoryIsRefusedWithoutWaiting) {
    if (rules.windows) GTEST_SKIP() << "Wine cannot make or open a Unix FIFO as a file";
    fs::remove(at("data/A.BIN"));
    ASSERT_EQ(mkfifo(at("data/A.BIN").c_str(), 0666), 0);
    const auto result = pack({"update", "S.RD"});
    EXPECT_EQ(result.status, 4) << result.output;
    EXPECT_EQ(result.error, "data/A.BIN: not a file\n");
    EXPECT_EQ(readFile(at("S.RD")), list);
}

}  // namespace
}  // namespace quill::e2e
