// quillpack status on the real disk of each system: what differs, then
// nothing once update has taken it; and its JSON read back.
#include <nlohmann/json.hpp>

#include "e2e/archive.h"

namespace quill::e2e {
namespace {

class StatusCommand : public ArchiveRun {
protected:
    const std::string list = "100 0 A.BIN\r\n600 100 SFX\\SHOT.DIG\r\n50 1000 SFX\\D\\B.TXT\r\n";

    void SetUp() override { writeArchive(scratch.path(), "S", list, resource); }
    ToolResult pack(const std::vector<std::string>& arguments) const {
        return runTool(scratch.path(), arguments, {.limits = {}, .unprivileged = false, .packer = true});
    }
};

TEST_F(StatusCommand, DiffersUntilUpdateTakesTheEditAndTheExtraFileGoes) {
    ASSERT_EQ(pack({"extract", "S.RD", "-dig2wav"}).status, 0);
    const auto clean = pack({"status", "S.RD"});
    EXPECT_EQ(clean.status, 0) << clean.output << clean.error;
    EXPECT_NE(clean.output.find(rules.typedPath("data/") + " is what an unpack of the archive leaves"),
              std::string::npos)
        << clean.output;

    writeFile(at("data/A.BIN"), "an edit not put back yet");
    writeFile(at("data/SFX/NEW.TXT"), "no record writes this");
    const auto edited = pack({"status", "S.RD"});
    EXPECT_EQ(edited.status, 8) << edited.error;
    EXPECT_NE(edited.output.find("modified        " + rules.typedPath("data/A.BIN") + " (record 1; update takes it)"),
              std::string::npos)
        << edited.output;
    EXPECT_NE(edited.output.find("not in archive  " + rules.typedPath("data/SFX/NEW.TXT")), std::string::npos)
        << edited.output;
    const auto json = pack({"status", "S.RD", "--json"});
    EXPECT_EQ(json.status, 8);
    const auto document = nlohmann::json::parse(json.output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << json.output;
    EXPECT_EQ(document.at("counts").at("modified"), 1);
    EXPECT_EQ(document.at("counts").at("notInArchive"), 1);

    ASSERT_EQ(pack({"update", "S.RD"}).status, 0);
    const auto updated = pack({"status", "S.RD"});
    EXPECT_EQ(updated.status, 8);
    EXPECT_EQ(updated.output.find("modified "), std::string::npos) << updated.output;
    fs::remove(at("data/SFX/NEW.TXT"));
    const auto after = pack({"status", "S.RD"});
    EXPECT_EQ(after.status, 0) << after.output;
    EXPECT_EQ(readFile(at("data/A.BIN")), "an edit not put back yet");
}

TEST_F(StatusCommand, ListJsonReadsBack) {
    const auto listed = pack({"list", "S.RD", "--json"});
    EXPECT_EQ(listed.status, 3);  // data/SFX is not there yet
    const auto document = nlohmann::json::parse(listed.output, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << listed.output;
    EXPECT_EQ(document.at("records").size(), 3u);
    EXPECT_EQ(document.at("records")[1].at("name"), "SFX\\SHOT.DIG");
    EXPECT_EQ(document.at("records")[1].at("unpack").at("action"), "missingDirectory");
    EXPECT_EQ(document.at("summary").at("stopsAt"), 2);
}

}  // namespace
}  // namespace quill::e2e
