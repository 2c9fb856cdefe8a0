// quillpack list on the built executable: its table, its statuses, its messages.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quill::e2e
