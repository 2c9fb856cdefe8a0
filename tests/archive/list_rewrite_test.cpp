// Numbers rewritten where they stand: every list the unpacker reads reads back
// with the new values, and every byte that is not a digit stays.
#include <gtest/gtest.h>

#include "archive/list_rewrite.h"
#include "support/memory_host.h"

namespace quill {
namespace {

EntryTable tableOf(const testing::Bytes& list) {
    testing::MemoryReadFile file(list);
    EntryTable table;
    readListRecords(file, table);
    return table;
}

TEST(ListRewrite, NewNumbersReadBackAndOtherBytesStay) {
    struct Case {
        const char* list;
        const char* expected;  // with the first record's length 7 and offset 4096
    };
    const Case cases[] = {
        {"10 5 A.BIN\n", "7 4096 A.BIN\n"},
        {"10+5 A.BIN\n", "7+4096 A.BIN\n"},      // a sign glued to the number before stays
        {"10-0 A.BIN\n", "7+4096 A.BIN\n"},      // '-' becomes '+': still two numbers, and positive
        {"+10 -0 A.BIN\n", "+7 +4096 A.BIN\n"},
        {"1\r0 5 A.BIN\r\n", "7\r 4096 A.BIN\r\n"},  // a CR inside a number stays, after the digits
        {"  10\t\t5A.BIN\x1a junk", "  7\t\t4096A.BIN\x1a junk"},
        {"0010 0005 A.BIN\n", "7 4096 A.BIN\n"},
    };
    for (const Case& c : cases) {
        const testing::Bytes list = testing::toBytes(c.list);
        const EntryTable before = tableOf(list);
        ASSERT_EQ(before.count, 1) << c.list;
        const ListEntry& entry = before.entries[0];
        const auto rewritten = rewriteNumbers(list, {{entry.offsetText, 4096}, {entry.lengthText, 7}});
        EXPECT_EQ(testing::toText(rewritten), c.expected) << c.list;
        const EntryTable after = tableOf(rewritten);
        ASSERT_EQ(after.count, 1) << c.list;
        EXPECT_EQ(after.entries[0].length, 7) << c.list;
        EXPECT_EQ(after.entries[0].offset, 4096) << c.list;
        EXPECT_EQ(after.entries[0].name, "A.BIN") << c.list;
    }
}

TEST(ListRewrite, AFreshLineReadsBack) {
    const EntryTable table = tableOf(testing::toBytes(listLine(5, 0, "A.BIN") + listLine(12, 5, "SFX\\B.DIG")));
    ASSERT_EQ(table.count, 2);
    EXPECT_EQ(table.entries[1].length, 12);
    EXPECT_EQ(table.entries[1].offset, 5);
    EXPECT_EQ(table.entries[1].name, "SFX\\B.DIG");
}

}  // namespace
}  // namespace quill
