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

TEST_F(HostileArchive, DeviceNamesAndColonsAreRefusedOnWindowsOnly) {
    for (const std::string name : {"NUL", "nul.bin", "AUX", "COM1", "NUL.DIG", "con", "LPT1.TXT", "CONOUT$", "A:B"}) {
        ScratchDirectory own;
        writeArchive(own.path(), "S", "5 0 OK\n5 5 " + name + "\n", resource);
        const auto result = runTool(own.path(), {"S.RD", "-dig2wav"});
        if (rules.windows) {
            EXPECT_EQ(result.status, 6) << name;
            EXPECT_EQ(result.output, console(kBanner + "\n" + progress(1, 2, "OK") +
                                             "\nError - can't create destination file!\n\n"))
                << name;
            EXPECT_EQ(filesBelow(own.path()), (std::vector<std::string>{"S.RD", "S.RES", "data/OK"})) << name;
        } else {
            EXPECT_EQ(result.status, 0) << name;
            EXPECT_EQ(readFile(own.path() / "data" / name), slice(resource, 5, 5)) << name;
        }
    }
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
    // Permissions do not bind root: as root (as in CI) the tool runs as nobody.
    const bool asNobody = geteuid() == 0;
    if (asNobody && rules.windows) GTEST_SKIP() << "Wine will not run as nobody in a prefix that root owns";
    writeArchive(scratch.path(), "S", "5 0 A\n", resource);
    fs::create_directories(at("data"));
    fs::permissions(at("data"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (asNobody) fs::permissions(scratch.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                                      fs::perms::others_read | fs::perms::others_exec);
    const auto result = runTool(scratch.path(), {"S.RD"}, {.limits = {}, .unprivileged = true});
    EXPECT_EQ(result.status, 6) << result.output;
    EXPECT_EQ(result.output, console(kBanner + "\n\nError - can't create destination file!\n\n"));
    EXPECT_FALSE(fs::exists(at("data/A")));
}

}  // namespace
}  // namespace quill::e2e
