// The plan of an unpack: what it does with each record, worked out without writing anything.
#include <gtest/gtest.h>

#include "archive/output_path.h"
#include "archive/unpack_plan.h"
#include "support/memory_host.h"

namespace quill {
namespace {

EntryTable tableOf(const std::string& list) {
    testing::MemoryReadFile file(testing::toBytes(list));
    EntryTable table;
    readListRecords(file, table);
    return table;
}

TEST(UnpackPlan, SaysWhatAnUnpackDoesWithEachRecord) {
    const EntryTable table = tableOf(
        "5 0 A\n"          // 1: replaced by 4
        "10 3 SHOT.dig\n"  // 2: a sound
        "5 20 a\n"         // 3: another file on Linux, the same as A on Windows
        "5 0 A\n"          // 4
        "-1 0 NEG\n"       // 5: negative length
        "1 -2 NEGOFF\n"    // 6
        "0 1 Z\n"          // 7
        "100 90 PAST\n"    // 8: ninety bytes past the end
        "5 5 ..\\X\n"      // 9: refused name
        "5 95 NUL\n");     // 10: refused on Windows only
    const UnpackPlan linux = planUnpack(table, 100, NameRules::posix, true);
    ASSERT_EQ(linux.steps.size(), 10u);
    const std::vector<StepKind> kinds = {
        StepKind::write,        StepKind::write,        StepKind::write,        StepKind::write,
        StepKind::invalidEntry, StepKind::invalidEntry, StepKind::invalidEntry, StepKind::invalidEntry,
        StepKind::refusedName,  StepKind::write};
    for (std::size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(linux.steps[i].kind, kinds[i]) << i + 1;
    EXPECT_EQ(linux.steps[1].companion, "SHOT.WAV");
    EXPECT_EQ(linux.steps[0].companion, "");
    EXPECT_EQ(linux.steps[4].stopReason, "negative length");
    EXPECT_EQ(linux.steps[5].stopReason, "negative offset");
    EXPECT_EQ(linux.steps[6].stopReason, "zero length");
    EXPECT_EQ(linux.steps[7].stopReason, "past the end by 90 bytes");
    EXPECT_EQ(linux.steps[0].fileReplacedBy.step, 3);
    EXPECT_EQ(linux.steps[2].fileReplacedBy.step, -1);
    EXPECT_EQ(linux.steps[3].fileReplacedBy.step, -1);
    EXPECT_EQ(linux.stopsAt, 4);
    EXPECT_EQ(linux.stopStatus, 5);

    const UnpackPlan windows = planUnpack(table, 100, NameRules::windows, true);
    EXPECT_EQ(windows.steps[0].fileReplacedBy.step, 2);  // "a" is "A" there
    EXPECT_EQ(windows.steps[2].fileReplacedBy.step, 3);
    EXPECT_EQ(windows.steps[9].kind, StepKind::refusedName);
}

TEST(UnpackPlan, ACompanionReplacesAFileOnlyWithCompanions) {
    // Record 1 is A.WAV; record 2's sound A.DIG makes A.WAV again with -dig2wav.
    const EntryTable table = tableOf("4 0 A.WAV\n4 4 A.DIG\n4 0 B.DIG\n4 4 B.WAV\n");
    const UnpackPlan withWav = planUnpack(table, 8, NameRules::posix, true);
    EXPECT_EQ(withWav.steps[0].fileReplacedBy.step, 1);
    EXPECT_TRUE(withWav.steps[0].fileReplacedBy.byCompanion);
    EXPECT_EQ(withWav.steps[2].companionReplacedBy.step, 3);  // B.WAV the record replaces B.DIG's companion
    EXPECT_FALSE(withWav.steps[2].companionReplacedBy.byCompanion);
    EXPECT_EQ(finalWriter(withWav, "A.WAV").step, 1);
    EXPECT_TRUE(finalWriter(withWav, "A.WAV").byCompanion);
    EXPECT_EQ(finalWriter(withWav, "NONE").step, -1);

    const UnpackPlan plain = planUnpack(table, 8, NameRules::posix, false);
    EXPECT_EQ(plain.steps[0].fileReplacedBy.step, -1);
    EXPECT_EQ(plain.steps[1].companion, "");
    EXPECT_EQ(finalWriter(plain, "A.WAV").step, 0);
}

TEST(UnpackPlan, StepsPastTheStopReplaceNothing) {
    const UnpackPlan plan = planUnpack(tableOf("1 0 A\n0 0 BAD\n1 0 A\n"), 4, NameRules::posix, true);
    EXPECT_EQ(plan.stopsAt, 1);
    EXPECT_EQ(plan.stepsTaken(), 1);
    EXPECT_EQ(plan.steps[0].fileReplacedBy.step, -1);
}

TEST(UnpackPlan, OverlapsAndCoverageCountBytes) {
    // Ranges [0,10) [5,15) [5,15) [30,40) [39,41) and one past the end of a 50-byte resource.
    const EntryTable table = tableOf("10 0 A\n10 5 B\n10 5 C\n10 30 D\n2 39 E\n20 45 F\n");
    const UnpackPlan plan = planUnpack(table, 50, NameRules::posix, false);
    EXPECT_EQ(plan.steps[0].overlaps, (std::vector<int>{1, 2}));
    EXPECT_EQ(plan.steps[1].overlaps, (std::vector<int>{0, 2}));
    EXPECT_EQ(plan.steps[3].overlaps, (std::vector<int>{4}));
    EXPECT_EQ(plan.steps[5].overlaps, (std::vector<int>{}));  // outside the image: no bytes to share
    EXPECT_EQ(plan.coveredBytes, 15 + 11);
    EXPECT_EQ(plan.gapBytes, 50 - 26);
    EXPECT_EQ(plan.overlappingBytes, 10 + 1);  // [5,15) by two or three, [39,40) by two
    EXPECT_EQ(plan.stopsAt, 5);
    EXPECT_EQ(plan.steps[5].stopReason, "past the end by 15 bytes");
}

TEST(UnpackPlan, ACleanArchiveCompletes) {
    const UnpackPlan plan = planUnpack(tableOf("50 0 A\n50 50 B.DIG\n"), 100, NameRules::windows, true);
    EXPECT_TRUE(plan.completes());
    EXPECT_EQ(plan.coveredBytes, 100);
    EXPECT_EQ(plan.gapBytes, 0);
    EXPECT_EQ(plan.overlappingBytes, 0);
}

TEST(OutputPath, OneSpellingPerFileOnEachHost) {
    struct Case {
        const char* a;
        const char* b;
        NameRules rules;
        bool same;
    };
    const Case cases[] = {
        {"SFX\\A", "SFX/A", NameRules::posix, true},
        {"SFX\\A", "sfx\\a", NameRules::posix, false},
        {"SFX\\A", "sfx/a", NameRules::windows, true},
        {"\xe4", "\xc4", NameRules::windows, false},  // only ASCII letters fold
        {"A", "AB", NameRules::windows, false},
        {"A.BIN", "A.BIN.", NameRules::windows, true},  // Windows drops trailing dots and spaces
        {"A.BIN", "A.BIN. .", NameRules::windows, true},
        {"DIR. \\A", "DIR\\A", NameRules::windows, true},
        {"A.BIN", "A.BIN.", NameRules::posix, false},
        {"A.BIN", " A.BIN", NameRules::windows, false},  // leading spaces stay
        {"SFX\\\\A", "SFX\\A", NameRules::posix, true},
        {".\\A", "A", NameRules::posix, true},
    };
    for (const Case& c : cases) EXPECT_EQ(sameEntryPath(c.a, c.b, c.rules), c.same) << c.a << " | " << c.b;
    EXPECT_TRUE(sameEntryPath("\\A", "A", NameRules::posix));  // joined to the data directory
    EXPECT_FALSE(sameOutputPath("\\A", "A", NameRules::posix));  // a rooted path is another file
}

}  // namespace
}  // namespace quill
