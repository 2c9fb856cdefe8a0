// "-dig2wav" on the built executable: companions, their bytes, a real audio reader.
#include <gtest/gtest.h>

#include "e2e/archive.h"
#include "e2e/full_disk.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

using SoundRun = ArchiveRun;

TEST_F(SoundRun, EverySoundGetsACompanionUnscrambledExactlyOnce) {
    // Lower and upper case, a non-sound, a repeated sound, one overlapping an earlier sound.
    const std::string list =
        "900 0 shot.dig\n"
        "300 1000 BANG.DIG\n"
        "50 0 PLAIN.BIN\n"
        "300 1000 BANG.DIG\n"
        "600 500 OVER.Dig\n"
        "10 0 A.B.DIG\n"
        "10 0 SHOT.DIGI\n";
    writeArchive(scratch.path(), "S", list, resource);
    const auto result = runTool(scratch.path(), {"S.RD", "-Dig2Wav"});
    ASSERT_EQ(result.status, 0) << result.output;

    EXPECT_EQ(readFile(at("data/shot.dig")), slice(resource, 0, 900));
    EXPECT_EQ(readFile(at("data/BANG.DIG")), slice(resource, 1000, 300));
    EXPECT_EQ(readFile(at("data/OVER.Dig")), slice(resource, 500, 600));
    EXPECT_EQ(readFile(at("data/PLAIN.BIN")), slice(resource, 0, 50));
    EXPECT_EQ(readFile(at("data/A.B.DIG")), slice(resource, 0, 10));
    EXPECT_EQ(readFile(at("data/shot.WAV")), expectedWav(slice(resource, 0, 900)));
    EXPECT_EQ(readFile(at("data/BANG.WAV")), expectedWav(slice(resource, 1000, 300)));
    EXPECT_EQ(readFile(at("data/OVER.WAV")), expectedWav(slice(resource, 500, 600)));
    EXPECT_EQ(filesBelow(at("data")),
              (std::vector<std::string>{"A.B.DIG", "BANG.DIG", "BANG.WAV", "OVER.Dig", "OVER.WAV", "PLAIN.BIN",
                                        "SHOT.DIGI", "shot.WAV", "shot.dig"}));
}

TEST_F(SoundRun, ADotInADirectoryNameDoesNotTurnConversionOff) {
    writeArchive(scratch.path(), "v1.2/S", "100 7 A.DIG\n", resource);
    ASSERT_EQ(runTool(scratch.path(), {rules.typedPath("v1.2/S.RD"), "-dig2wav"}).status, 0);
    EXPECT_EQ(readFile(at("v1.2/data/A.WAV")), expectedWav(slice(resource, 7, 100)));
}

TEST_F(SoundRun, ASoundOverTwoSampleBuffersHasOneHeaderAndEveryByte) {
    // The companion goes out through a buffer of 192 KiB; this sound needs three,
    // and starts off a multiple of three so the unscrambling's phase shows.
    const std::string big = sampleResource(2 * 196608 + 5000);
    const std::size_t length = 2 * 196608 + 3001;
    writeArchive(scratch.path(), "S", std::to_string(length) + " 1999 BIG.DIG\n", big);
    ASSERT_EQ(runTool(scratch.path(), {"S.RD", "-dig2wav"}).status, 0);
    EXPECT_EQ(readFile(at("data/BIG.DIG")), slice(big, 1999, length));
    EXPECT_EQ(readFile(at("data/BIG.WAV")), expectedWav(slice(big, 1999, length)));
}

TEST_F(SoundRun, ARealAudioReaderOpensTheCompanion) {
    writeArchive(scratch.path(), "S", "4000 17 TONE.DIG\n", resource);
    ASSERT_EQ(runTool(scratch.path(), {"S.RD", "-dig2wav"}).status, 0);
    const std::string wav = (scratch.path() / "data/TONE.WAV").string();
    EXPECT_EQ(commandOutput("soxi -c '" + wav + "'"), "1\n");
    EXPECT_EQ(commandOutput("soxi -r '" + wav + "'"), "11025\n");
    EXPECT_EQ(commandOutput("soxi -b '" + wav + "'"), "8\n");
    EXPECT_EQ(commandOutput("soxi -s '" + wav + "'"), "4000\n");
}

TEST_F(SoundRun, ACompanionThatCannotBeCreatedIsStatusSeven) {
    writeArchive(scratch.path(), "S", "5 0 A.BIN\n100 0 B.DIG\n5 9 C\n", resource);
    fs::create_directories(at("data/B.WAV"));
    const auto result = runTool(scratch.path(), {"S.RD", "-dig2wav"});
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.output, console(kBanner + "\n" + progress(1, 3, "A.BIN") +
                                     "\nError - can't create destination file (*.WAV)!\n\n"));
    EXPECT_EQ(readFile(at("data/B.DIG")), slice(resource, 0, 100));
    EXPECT_FALSE(fs::exists(at("data/C")));
}

TEST_F(SoundRun, AFullDiskUnderACompanionIsStatusSeven) {
    writeArchive(scratch.path(), "S", "100 0 SFX\\B.DIG\n", resource);
    const FullFileSystem full(at("data/SFX"), 1);  // room for the entry, none for its .WAV
    if (!full.mounted()) GTEST_SKIP() << full.why();
    const auto result = runTool(scratch.path(), {"S.RD", "-dig2wav"});
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.output.find("All done!"), std::string::npos);
    EXPECT_EQ(readFile(at("data/SFX/B.DIG")), slice(resource, 0, 100));
}

}  // namespace
}  // namespace quill::e2e
