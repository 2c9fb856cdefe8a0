// What an unpack would do with each record, worked out without writing anything.
#include <gtest/gtest.h>

#include "pack/archive_report.h"
#include "support/memory_host.h"

namespace quill::pack {
namespace {

EntryTable tableOf(const std::string& list) {
    testing::MemoryReadFile file(testing::toBytes(list));
    EntryTable table;
    readListRecords(file, table);
    return table;
}

TEST(ArchiveReport, SaysWhatAnUnpackDoesWithEachRecord) {
    const EntryTable table = tableOf(
        "5 0 A\n"         // 1: replaced by 4
        "10 3 SHOT.dig\n"  // 2: a sound
        "5 20 a\n"        // 3: another file on Linux, the same as A on Windows
        "5 0 A\n"         // 4
        "-1 0 NEG\n"      // 5: negative length
        "1 -2 NEGOFF\n"   // 6
        "0 1 Z\n"         // 7
        "100 90 PAST\n"   // 8: ninety bytes past the end
        "5 5 ..\\X\n"     // 9: refused name
        "5 95 NUL\n");    // 10: refused on Windows only
    const ArchiveReport linux = analyseArchive(table, 100, NameRules::posix);
    ASSERT_EQ(linux.records.size(), 10u);
    const std::vector<RecordAction> actions = {
        RecordAction::write, RecordAction::writeWithWav, RecordAction::write, RecordAction::write,
        RecordAction::stop,  RecordAction::stop,         RecordAction::stop,  RecordAction::stop,
        RecordAction::refuseName, RecordAction::write};
    for (std::size_t i = 0; i < actions.size(); ++i) EXPECT_EQ(linux.records[i].action, actions[i]) << i + 1;
    EXPECT_EQ(linux.records[4].stopReason, "negative length");
    EXPECT_EQ(linux.records[5].stopReason, "negative offset");
    EXPECT_EQ(linux.records[6].stopReason, "zero length");
    EXPECT_EQ(linux.records[7].stopReason, "past the end by 90 bytes");
    EXPECT_EQ(linux.records[0].replacedBy, 3);
    EXPECT_EQ(linux.records[2].replacedBy, -1);
    EXPECT_EQ(linux.records[3].replacedBy, -1);
    EXPECT_EQ(linux.stopsAt, 4);
    EXPECT_EQ(linux.stopStatus, 5);

    const ArchiveReport windows = analyseArchive(table, 100, NameRules::windows);
    EXPECT_EQ(windows.records[0].replacedBy, 2);  // "a" is "A" there
    EXPECT_EQ(windows.records[2].replacedBy, 3);
    EXPECT_EQ(windows.records[9].action, RecordAction::refuseName);
}

TEST(ArchiveReport, OverlapsAndCoverageCountBytes) {
    // Ranges [0,10) [5,15) [5,15) [30,40) [39,41) and one past the end of a 50-byte resource.
    const EntryTable table = tableOf("10 0 A\n10 5 B\n10 5 C\n10 30 D\n2 39 E\n20 45 F\n");
    const ArchiveReport report = analyseArchive(table, 50, NameRules::posix);
    EXPECT_EQ(report.records[0].overlaps, (std::vector<int>{1, 2}));
    EXPECT_EQ(report.records[1].overlaps, (std::vector<int>{0, 2}));
    EXPECT_EQ(report.records[3].overlaps, (std::vector<int>{4}));
    EXPECT_EQ(report.records[5].overlaps, (std::vector<int>{}));  // outside the image: no bytes to share
    EXPECT_EQ(report.coveredBytes, 15 + 11);
    EXPECT_EQ(report.gapBytes, 50 - 26);
    EXPECT_EQ(report.overlappingBytes, 10 + 1);  // [5,15) by two or three, [39,40) by two
    EXPECT_EQ(report.stopsAt, 5);
    EXPECT_EQ(report.records[5].stopReason, "past the end by 15 bytes");
}

TEST(ArchiveReport, ACleanArchiveCompletes) {
    const ArchiveReport report = analyseArchive(tableOf("50 0 A\n50 50 B.DIG\n"), 100, NameRules::windows);
    EXPECT_EQ(report.stopsAt, -1);
    EXPECT_EQ(report.coveredBytes, 100);
    EXPECT_EQ(report.gapBytes, 0);
    EXPECT_EQ(report.overlappingBytes, 0);
}

TEST(SameOutputPath, FollowsEachHostsRules) {
    EXPECT_TRUE(sameOutputPath("SFX\\A", "SFX/A", NameRules::posix));
    EXPECT_FALSE(sameOutputPath("SFX\\A", "sfx\\a", NameRules::posix));
    EXPECT_TRUE(sameOutputPath("SFX\\A", "sfx/a", NameRules::windows));
    EXPECT_FALSE(sameOutputPath("\xe4", "\xc4", NameRules::windows));  // only ASCII letters fold
    EXPECT_FALSE(sameOutputPath("A", "AB", NameRules::windows));
}

}  // namespace
}  // namespace quill::pack
