// Archives made to hurt: climbing names, odd bytes, huge or endless lists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "e2e/archive.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

class HostileArchive : public ArchiveRun {
protected:
    ToolResult unpack(const std::string& list) {
        writeArchive(scratch.path(), "S", list, resource);
        return run({"S.RD"});
    }
};

TEST_F(HostileArchive, NamesThatClimbOutAreRefusedWithNothingWrittenOutside) {
    const std::vector<std::string> names = {"..",       "...",       "....",        "..\\A",     "...\\A",
                                            "A\\..",    "A\\..\\B",  "A\\...\\B",   "../A",      "A/..",
                                            "A/../B",   "A\\../B",   "..\\..\\..\\X", "\\..\\X", "SFX\\..\\..X"};
    for (const auto& name : names) {
        ScratchDirectory own;
        writeArchive(own.path(), "S", "5 0 OK\n5 5 " + name + "\n5 9 LAST\n", resource);
        fs::create_directories(own.path() / "data/A");
        fs::create_directories(own.path() / "data/SFX");
        const auto result = runTool(own.path(), {"S.RD"});
        EXPECT_EQ(result.status, 6) << name;
        EXPECT_EQ(filesBelow(own.path()), (std::vector<std::string>{"S.RD", "S.RES", "data/OK"})) << name;
    }
    std::printf("hostile names refused: %zu\n", names.size());
}

TEST_F(HostileArchive, NamesWithHighBytesAreWrittenAsListed) {
    const auto result = unpack("5 3 \xe4\xf6\xfc\xff.BIN\n");
    EXPECT_EQ(result.status, 0);
    const auto files = filesBelow(scratch.path() / "data");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(readFile(scratch.path() / "data" / files[0]), slice(resource, 3, 5));
    // Windows passes the bytes through its code page; Linux keeps them as they are.
    if (!hostRules().windows) {
        EXPECT_EQ(files[0], "\xe4\xf6\xfc\xff.BIN");
    }
}

TEST_F(HostileArchive, TenMegabytesOfDigitsAreNoRecord) {
    const auto result = unpack(std::string(10 * 1024 * 1024, '9'));
    EXPECT_EQ(result.status, 3);
    EXPECT_FALSE(fs::exists(scratch.path() / "data"));
}

TEST_F(HostileArchive, AMillionRecordsAreReadUpTo999) {
    std::string list;
    list.reserve(16 * 1000000);
    for (int i = 0; i < 1000000; ++i) list += "1 " + std::to_string(i % 4096) + " N" + std::to_string(i) + "\n";
    const auto result = unpack(list);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(filesBelow(scratch.path() / "data").size(), 999u);
}

TEST_F(HostileArchive, AnUnwritableOutputDirectoryIsStatusSix) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    fs::create_directories(scratch.path() / "data");
    fs::permissions(scratch.path() / "data", fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(unpack("5 0 A\n").status, 6);
}

}  // namespace
}  // namespace quill::e2e
