// Files other programs hold open while the tool runs. Windows enforces share
// modes, so the tool must share as fopen does: the game or an editor holding
// the resource open for writing, a player holding the .WAV open for reading.
#include <gtest/gtest.h>

#include "e2e/archive.h"
#include "e2e/held_file.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

class SharedOpenRun : public ArchiveRun {
protected:
    void SetUp() override {
        if (!rules.windows) GTEST_SKIP() << "share modes are a Windows matter: Linux opens a file whoever holds it";
    }
};

TEST_F(SharedOpenRun, AResourceHeldOpenForWritingIsStillRead) {
    writeArchive(scratch.path(), "S", "5 0 A\n100 7 B\n", resource);
    const HeldFile held(scratch.path(), "readwrite", "S.RES");
    ASSERT_TRUE(held.ready()) << held.said();

    const auto result = run({"S.RD"});

    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readFile(at("data/A")), slice(resource, 0, 5));
    EXPECT_EQ(readFile(at("data/B")), slice(resource, 7, 100));
}

TEST_F(SharedOpenRun, AWavHeldOpenByAPlayerIsStillRewritten) {
    const std::string list = "300 5 X.DIG\n";
    ScratchDirectory reference;
    writeArchive(reference.path(), "S", list, resource);
    ASSERT_EQ(runTool(reference.path(), {"S.RD", "-dig2wav"}).status, 0);

    writeArchive(scratch.path(), "S", list, resource);
    writeFile(at("data/X.WAV"), std::string(1000, 'o'));  // an older, longer recording
    const HeldFile held(scratch.path(), "read", "data\\X.WAV");
    ASSERT_TRUE(held.ready()) << held.said();

    const auto result = run({"S.RD", "-dig2wav"});

    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readFile(at("data/X.WAV")), readFile(reference.path() / "data/X.WAV"));
}

}  // namespace
}  // namespace quill::e2e
