#include <gtest/gtest.h>

#include <string>

#include "support/memory_host.h"
#include "unpack/unpack.h"

namespace quill {
namespace {

using testing::MemoryReadFile;
using testing::toBytes;

// The records as "length offset name" lines, for compact expectations.
std::string describe(const EntryTable& table) {
    std::string text;
    for (int i = 0; i < table.count; ++i) {
        const auto& entry = table.entries[static_cast<std::size_t>(i)];
        text += std::to_string(entry.length) + " " + std::to_string(entry.offset) + " " + entry.name + "\n";
    }
    return text;
}

std::string readAll(const std::string& list, std::size_t chunk) {
    MemoryReadFile file(toBytes(list), chunk);
    EntryTable table;
    readListRecords(file, table);
    return describe(table);
}

struct ListCase {
    const char* what;
    std::string list;
    std::string records;
};

void PrintTo(const ListCase& c, std::ostream* out) { *out << c.what; }

class ListReaderTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListReaderTest, ReadsTheRecordsAStreamOfAnyChunkingGives) {
    const auto& c = GetParam();
    EXPECT_EQ(readAll(c.list, SIZE_MAX), c.records) << c.what;
    // One byte at a time: the reader must not depend on where its reads end.
    EXPECT_EQ(readAll(c.list, 1), c.records) << c.what;
}

TEST(ListReader, ReportsWhereEachNumberStandsInTheStoredBytes) {
    // Carriage returns are counted where they stand, also inside a number.
    const std::string list = "  100 -200 A\r\n1\r2\r\n+3\tB\n7 8";
    for (const std::size_t chunk : {SIZE_MAX, std::size_t{1}, std::size_t{5}}) {
        MemoryReadFile file(toBytes(list), chunk);
        EntryTable table;
        readListRecords(file, table);
        ASSERT_EQ(table.count, 2) << chunk;
        const auto& first = table.entries[0];
        const auto& second = table.entries[1];
        EXPECT_EQ(first.lengthText.position, 2u);
        EXPECT_EQ(first.lengthText.size, 3u);
        EXPECT_EQ(first.offsetText.position, 6u);
        EXPECT_EQ(first.offsetText.size, 4u);
        EXPECT_EQ(second.length, 12);
        EXPECT_EQ(second.lengthText.position, 14u);
        EXPECT_EQ(second.lengthText.size, 3u);
        EXPECT_EQ(second.offsetText.position, 19u);
        EXPECT_EQ(second.offsetText.size, 2u);
    }
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Records, ListReaderTest,
    ::testing::Values(
        ListCase{"one per line", "10 0 A.BIN\n20 10 B.DIG\n", "10 0 A.BIN\n20 10 B.DIG\n"},
        ListCase{"length comes before offset", "5 100 X\n", "5 100 X\n"},
        ListCase{"any white space, line structure meaningless", " \t7\v\f8\n\n  N1 9 10 N2", "7 8 N1\n9 10 N2\n"},
        ListCase{"a name may follow the offset directly", "100 200DRUM.DIG", "100 200 DRUM.DIG\n"},
        ListCase{"a minus sign ends a number", "100-200 X", "100 -200 X\n"},
        ListCase{"signs are read", "+3 -4 S", "3 -4 S\n"},
        ListCase{"empty list", "", ""},
        ListCase{"only white space", " \n\t ", ""},
        ListCase{"first record malformed ends everything", "NAME 1 2\n1 2 OK\n", ""},
        ListCase{"malformed record in the middle ends the list", "1 0 A\nx 0 B\n1 0 C\n", "1 0 A\n"},
        ListCase{"missing name at the end", "1 0 A\n2 3", "1 0 A\n"},
        ListCase{"a sign without digits", "1 0 A\n- 3 B", "1 0 A\n"},
        ListCase{"a name of 12 bytes is whole", "1 0 ABCDEFGHIJKL 2 0 B", "1 0 ABCDEFGHIJKL\n2 0 B\n"},
        ListCase{"13th byte is read as the next length", "1 0 ABCDEFGHIJKLM 2 0 B", "1 0 ABCDEFGHIJKL\n"},
        ListCase{"13th byte a digit starts the next record", "1 0 ABCDEFGHIJKL5 6 B", "1 0 ABCDEFGHIJKL\n5 6 B\n"},
        ListCase{"CR bytes vanish, even inside a name", "1 0 AB\rCD\r\n2 0 E\r\n", "1 0 ABCD\n2 0 E\n"},
        ListCase{"CR inside a number joins its digits", "1\r2 0 A", "12 0 A\n"},
        ListCase{"Ctrl-Z ends the text", "1 0 A\n\x1a" "2 0 B\n", "1 0 A\n"},
        ListCase{"Ctrl-Z ends a name", "1 0 AB\x1a" "CD", "1 0 AB\n"},
        ListCase{"a NUL ends a name and the next record fails", "1 0 AB\0CD 2 0 E\n"s, "1 0 AB\n"},
        ListCase{"a NUL where a name should start", "1 0 \0AB"s, ""},
        ListCase{"high bytes belong to names", "1 0 \xe4\xf6\xfc.DIG", "1 0 \xe4\xf6\xfc.DIG\n"},
        ListCase{"byte-order mark", "\xef\xbb\xbf" "1 0 A", ""},
        ListCase{"hexadecimal reads 0 then fails at x", "0x10 0 A", ""},
        ListCase{"largest and smallest 32-bit values", "2147483647 -2147483648 A", "2147483647 -2147483648 A\n"},
        ListCase{"one past the largest value ends the list", "1 0 A 2147483648 0 B", "1 0 A\n"},
        ListCase{"one past the smallest value ends the list", "1 0 A 1 -2147483649 B", "1 0 A\n"},
        ListCase{"2^32+1 does not wrap to 1", "4294967297 0 A", ""},
        ListCase{"leading zeros do not count against the range", "0000000000000000000007 0 A", "7 0 A\n"},
        ListCase{"beyond 64 bits", "99999999999999999999999999 0 A", ""}),
    [](const auto& param) { return "case" + std::to_string(param.index); });

TEST(ListReaderLimits, KeepsOnlyTheFirst999Records) {
    std::string list;
    for (int i = 0; i < 1005; ++i) list += "1 " + std::to_string(i) + " N" + std::to_string(i) + "\n";
    MemoryReadFile file(toBytes(list));
    EntryTable table;
    readListRecords(file, table);
    ASSERT_EQ(table.count, kMaxListEntries);
    EXPECT_EQ(table.entries[998].name, "N998");
    EXPECT_EQ(table.entries[998].offset, 998);
}

TEST(ListReaderLimits, TenMegabytesOfDigitsEndTheListWithoutHarm) {
    MemoryReadFile file(toBytes(std::string(10 * 1024 * 1024, '7')));
    EntryTable table;
    readListRecords(file, table);
    EXPECT_EQ(table.count, 0);
}

TEST(ListFile, ReportsAListThatCannotBeOpened) {
    testing::MemoryHost host;
    EntryTable table;
    EXPECT_EQ(readListFile(host, "MISSING.RD", table), ListReadResult::openFailed);
    host.files["L.RD"] = toBytes("3 4 X");
    ASSERT_EQ(readListFile(host, "L.RD", table), ListReadResult::ok);
    EXPECT_EQ(table.count, 1);
}

}  // namespace
}  // namespace quill
