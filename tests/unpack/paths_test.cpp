#include <gtest/gtest.h>

#include "support/memory_host.h"
#include "unpack/unpack.h"

namespace quill {
namespace {

struct DerivationCase {
    std::string listPath;
    std::string resourcePath;
    std::string outputDirectory;
};

class PathDerivationTest : public ::testing::TestWithParam<DerivationCase> {};

TEST_P(PathDerivationTest, ResourceAndOutputDirectoryFollowFromTheListPath) {
    const auto& c = GetParam();
    std::string path = deriveResourcePath(c.listPath);
    EXPECT_EQ(path, c.resourcePath);
    deriveOutputDirectory(path);
    EXPECT_EQ(path, c.outputDirectory);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathDerivationTest,
    ::testing::Values(DerivationCase{"C:\\GAME\\SOUNDS.RD", "C:\\GAME\\SOUNDS.RES", "C:\\GAME\\data\\"},
                      DerivationCase{"sounds.rd", "sounds.RES", "data\\"},
                      DerivationCase{"SOUNDS.RD", "SOUNDS.RES", "data\\"},
                      DerivationCase{"A.LONGEXTENSION", "A.RES", "data\\"},
                      DerivationCase{"A.", "A.RES", "data\\"},
                      DerivationCase{"C:\\GAME\\SOUNDS", "C:\\GAME\\SOUNDS", "C:\\GAME\\data\\"},
                      DerivationCase{"C:\\V1.2\\SOUNDS", "C:\\V1.RES", "C:\\data\\"},
                      DerivationCase{"GAME/SOUNDS.RD", "GAME/SOUNDS.RES", "data\\"},
                      DerivationCase{"C:/GAME\\SOUNDS.RD", "C:/GAME\\SOUNDS.RES", "C:/GAME\\data\\"},
                      DerivationCase{"\\SOUNDS.RD", "\\SOUNDS.RES", "\\data\\"},
                      DerivationCase{"..\\SOUNDS", "..RES", "data\\"}));

struct MakerCase {
    std::string path;
    std::vector<std::string> attempts;
};

class DirectoryMakerTest : public ::testing::TestWithParam<MakerCase> {};

TEST_P(DirectoryMakerTest, TriesEveryLevelFromShortestToLongest) {
    const auto& c = GetParam();
    testing::MemoryHost host;
    EXPECT_EQ(makeDirectoryPath(host, &c.path), 0);
    EXPECT_EQ(host.directoryAttempts, c.attempts);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, DirectoryMakerTest,
    ::testing::Values(MakerCase{"C:\\GAME\\data\\", {"C:", "C:\\GAME", "C:\\GAME\\data"}},
                      MakerCase{"C:/GAME\\data\\", {"C:", "C:\\GAME", "C:\\GAME\\data"}},
                      MakerCase{"\\data\\", {"", "\\data"}},
                      MakerCase{"data\\", {"data"}},
                      MakerCase{"a\\b", {"a", "a\\b"}},
                      MakerCase{"", {""}}));

TEST(DirectoryMaker, NoPathGivenReturnsOne) {
    testing::MemoryHost host;
    EXPECT_EQ(makeDirectoryPath(host, nullptr), 1);
    EXPECT_TRUE(host.directoryAttempts.empty());
}

TEST(DirectoryMaker, CreatesMissingParentsInOrder) {
    testing::MemoryHost host;
    const std::string path = "a\\b\\c\\";
    makeDirectoryPath(host, &path);
    EXPECT_EQ(host.directories, (std::set<std::string>{"a", "a\\b", "a\\b\\c"}));
}

TEST(EntryOutputPath, JoinsWithoutAddingASeparator) {
    EXPECT_EQ(entryOutputPath("C:\\GAME\\data\\", "SHOT.DIG"), "C:\\GAME\\data\\SHOT.DIG");
    EXPECT_EQ(entryOutputPath("data\\", "SFX\\A.BIN"), "data\\SFX\\A.BIN");
}

TEST(UnsafeEntryName, RefusesComponentsMadeOnlyOfTwoOrMoreDots) {
    for (const auto rules : {NameRules::posix, NameRules::windows}) {
        for (const char* name : {"..", "...", "..\\A", "A\\..", "A\\..\\B", "../A", "A/../B", "A/..", "A\\...\\B",
                                 "....", "\\..\\A", "A\\/..", "A/\\.."}) {
            EXPECT_TRUE(isUnsafeEntryName(name, rules)) << name;
        }
        for (const char* name : {"A", ".", "A.", ".A", "..A", "A..", "A..B", "SFX\\A.BIN", ".\\A", "A/./B", ".A.",
                                 "\\A", "A\\", "\xe4..\xf6"}) {
            EXPECT_FALSE(isUnsafeEntryName(name, rules)) << name;
        }
    }
}

TEST(UnsafeEntryName, WindowsRefusesDeviceNamesAndColonsThatLinuxAllows) {
    // Devices in any case, with any extension, trailing spaces or dots, in any component.
    for (const char* name : {"NUL", "nul.bin", "AUX", "COM1", "NUL.DIG", "con", "Prn.txt", "LPT9", "com9.a.b",
                             "CONIN$", "conout$.x", "NUL.", "NUL...", "NUL ", "NUL  .TXT", "SFX\\CON",
                             "SFX/aux.wav", "CON\\A", "A:B", "C:X", "A.BIN:S", ":", "COM\xb9", "lpt\xb3.bin"}) {
        EXPECT_TRUE(isUnsafeEntryName(name, NameRules::windows)) << name;
        EXPECT_FALSE(isUnsafeEntryName(name, NameRules::posix)) << name;
    }
    // Names that only look like devices are files on Windows too.
    for (const char* name : {"NULL", "CONX", "COM0", "COM10", "LPT", "COM", "XCON", " NUL", "A.NUL", "CONIN",
                             "NUL_", "SFX\\CONSOLE.DIG", "COM\xb4", "COM\xb9\xb9"}) {
        EXPECT_FALSE(isUnsafeEntryName(name, NameRules::windows)) << name;
    }
}

struct CheckCase {
    std::int32_t offset;
    std::int32_t length;
    std::int32_t size;
    bool valid;
};

void PrintTo(const CheckCase& c, std::ostream* out) {
    *out << "offset " << c.offset << " length " << c.length << " size " << c.size;
}
void PrintTo(const DerivationCase& c, std::ostream* out) { *out << "list path [" << c.listPath << "]"; }
void PrintTo(const MakerCase& c, std::ostream* out) { *out << "path [" << c.path << "]"; }

class EntryCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(EntryCheckTest, AcceptsOnlyEntriesWhollyInsideTheImage) {
    const auto& c = GetParam();
    ListEntry entry{"X", c.offset, c.length, {}, {}, {}};
    EXPECT_EQ(checkEntry(entry, c.size), c.valid) << c.offset << " " << c.length << " " << c.size;
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, EntryCheckTest,
    ::testing::Values(CheckCase{0, 1, 1, true}, CheckCase{0, 10, 10, true}, CheckCase{9, 1, 10, true},
                      CheckCase{9, 2, 10, false}, CheckCase{10, 1, 10, false}, CheckCase{0, 0, 10, false},
                      CheckCase{-1, 1, 10, false}, CheckCase{0, -1, 10, false}, CheckCase{0, 11, 10, false},
                      CheckCase{5, INT32_MAX, 10, false}, CheckCase{INT32_MAX - 1, 1, INT32_MAX, true},
                      CheckCase{INT32_MAX - 1, 2, INT32_MAX, false}, CheckCase{1, INT32_MAX, INT32_MAX, false},
                      CheckCase{INT32_MIN, INT32_MAX, 10, false}));

}  // namespace
}  // namespace quill
