// quillpack list on the built executable: its table, its statuses, its messages.
#include <gtest/gtest.h>

#include <map>

#include "e2e/archive.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

class PackList : public ArchiveRun {
protected:
    ToolResult list(const std::string& typedList) const {
        return runTool(scratch.path(), {"list", typedList}, {.limits = {}, .unprivileged = false, .packer = true});
    }
};

TEST_F(PackList, PrintsEveryRecordAndWhetherAnUnpackCompletes) {
    writeArchive(scratch.path(), "game/S", "100 0 A.BIN\n300 50 SHOT.DIG\n100 0 A.BIN\n", resource);
    const auto result = list(rules.typedPath("game/S.RD"));
    EXPECT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.output,
              console("    #  name                offset      length  unpack\n"
                      "    1  A.BIN                    0         100  write; replaced by record 3; overlaps records "
                      "2, 3\n"
                      "    2  SHOT.DIG                50         300  write, and SHOT.WAV (sound, 0.027 s); overlaps records "
                      "1, 3\n"
                      "    3  A.BIN                    0         100  write; overlaps records 1, 2\n"
                      "\n"
                      "records      3\n"
                      "resource     4096 bytes (" + rules.typedPath("game/S.RES") + ")\n"
                      "covered      350 bytes\n"
                      "gaps         3746 bytes\n"
                      "overlapping  100 bytes\n"
                      "unpack       completes\n"));
}

TEST_F(PackList, StatusThreeWhereAnUnpackStopsAndTwoWithoutAList) {
    writeArchive(scratch.path(), "S", "5 0 A\n5 4094 B\n", resource);
    const auto stops = list("S.RD");
    EXPECT_EQ(stops.status, 3);
    EXPECT_NE(stops.output.find("unpack stops here: past the end by 3 bytes (status 5)"), std::string::npos);
    EXPECT_TRUE(stops.output.ends_with(console("unpack       stops at record 2 with status 5\n")));

    const auto missing = list("NONE.RD");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.output, "");
    EXPECT_EQ(missing.error, console("NONE.RD: cannot be read: No such file or directory\n"));
    // Listing writes nothing.
    EXPECT_EQ(filesBelow(scratch.path()), (std::vector<std::string>{"S.RD", "S.RES"}));
}

// list's verdict (completes, or stops at record N with status S) is what
// quillfane then does, on random archives whose names hold either slash,
// leading and doubled separators, dot components and directories that data/
// may or may not have.
TEST_F(PackList, ItsVerdictIsWhatAnUnpackDoesOnRandomArchives) {
    const std::vector<std::string> parts = {"SFX", "A", "b.bin", ".", "..", "", "SUB", "c.DIG"};
    const std::vector<std::string> separators = {"\\", "/"};
    std::uint32_t seed = 20261211;
    const auto next = [&](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    int stopped = 0;
    for (int round = 0; round < 60; ++round) {
        ScratchDirectory where;
        std::string listText;
        const int records = 1 + static_cast<int>(next(4));
        for (int r = 0; r < records; ++r) {
            std::string name = next(4) == 0 ? separators[next(2)] : "";
            const int depth = 1 + static_cast<int>(next(3));
            for (int d = 0; d < depth; ++d) {
                if (d > 0) name += separators[next(2)];
                name += parts[next(static_cast<std::uint32_t>(parts.size()))];
            }
            // Windows drops a trailing "." component, which Wine's file system
            // and extract's lookups do not agree on: left out there.
            if (rules.windows && (name.ends_with(".") || name.ends_with(".\\") || name.ends_with("./"))) name += "X";
            if (name.size() > 12 || name.empty()) name = "E" + std::to_string(r) + ".BIN";
            listText += "3 " + std::to_string(r * 3) + " " + name + "\r\n";
        }
        writeArchive(where.path(), "S", listText, resource);
        fs::create_directories(where.path() / "data");
        if (next(2) == 0) fs::create_directories(where.path() / "data" / "SFX");
        if (next(3) == 0) fs::create_directories(where.path() / "data" / "A" / "SUB");
        const ToolResult listed = runTool(where.path(), {"list", "S.RD"}, {.limits = {}, .unprivileged = false, .packer = true});
        const ToolResult unpacked = runTool(where.path(), {"S.RD"});
        const std::string context = "list:\n" + listText + listed.output + listed.error;
        if (unpacked.status == 0) {
            EXPECT_EQ(listed.status, 0) << context;
            EXPECT_NE(listed.output.find("unpack       completes"), std::string::npos) << context;
            // extract, making the directories itself, writes the same files.
            ScratchDirectory other;
            writeArchive(other.path(), "S", listText, resource);
            const ToolResult extracted =
                runTool(other.path(), {"extract", "S.RD"}, {.limits = {}, .unprivileged = false, .packer = true});
            EXPECT_EQ(extracted.status, 0) << context << extracted.error;
            std::map<std::string, std::string> expected;
            std::map<std::string, std::string> got;
            for (const auto& file : filesBelow(where.path() / "data")) expected[file] = readFile(where.path() / "data" / file);
            for (const auto& file : filesBelow(other.path() / "data")) got[file] = readFile(other.path() / "data" / file);
            EXPECT_EQ(got, expected) << context;
            continue;
        }
        ++stopped;
        EXPECT_EQ(listed.status, 3) << context << "quillfane: " << unpacked.status;
        EXPECT_NE(listed.output.find("with status " + std::to_string(unpacked.status)), std::string::npos)
            << context << "quillfane: " << unpacked.status;
    }
    EXPECT_GT(stopped, 0);
}

}  // namespace
}  // namespace quill::e2e
