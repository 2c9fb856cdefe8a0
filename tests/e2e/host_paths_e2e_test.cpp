// How the typed list path maps to files on each host. This table is the one
// place where the Linux and the Windows builds are expected to differ.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "e2e/archive.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

// What a run should leave: its status and, on success, the directory (relative
// to the scratch directory) that received the entry.
struct Expectation {
    int status;
    std::string outputDirectory;
};

struct HostPathCase {
    const char* what;
    std::string archiveStem;  // where the archive lies, relative, with '/'
    // The path as typed; "<abs>" stands for the scratch directory as this host
    // writes an absolute path (Z:\... under Wine).
    std::string linuxTyped;
    std::string windowsTyped;
    std::optional<Expectation> onLinux;
    std::optional<Expectation> onWindows;
};

void PrintTo(const HostPathCase& c, std::ostream* out) { *out << c.what; }

std::string expand(std::string typed, const std::string& abs) {
    if (const auto at = typed.find("<abs>"); at != std::string::npos) typed.replace(at, 5, abs);
    return typed;
}

std::string windowsForm(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

const std::string kDeep = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(60, 'f');

class HostPathTest : public ::testing::TestWithParam<HostPathCase> {};

TEST_P(HostPathTest, TheTypedPathFindsTheArchiveAndTheOutputDirectory) {
    const auto& c = GetParam();
    const bool windows = hostRules().windows;
    const auto& expectation = windows ? c.onWindows : c.onLinux;
    if (!expectation) GTEST_SKIP() << "not a path of this host";
    ScratchDirectory scratch;
    const std::string resource = sampleResource();
    writeArchive(scratch.path(), c.archiveStem, "9 3 ENTRY.BIN\n", resource);

    const std::string typed = expand(windows ? c.windowsTyped : c.linuxTyped, hostRules().absolutePath(scratch.path()));
    const auto result = runTool(scratch.path(), {typed});
    EXPECT_EQ(result.status, expectation->status) << result.output << result.error;
    if (expectation->status == 0) {
        EXPECT_EQ(readFile(scratch.path() / expectation->outputDirectory / "ENTRY.BIN"), slice(resource, 3, 9));
        EXPECT_EQ(filesBelow(scratch.path()).size(), 3u);  // the archive and the one entry, nothing else
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HostPathTest,
    ::testing::Values(
        HostPathCase{"forward slashes", "game/S", "game/S.RD", "game/S.RD", Expectation{0, "game/data"},
                     Expectation{0, "data"}},
        HostPathCase{"backslashes", "game/S", "", "game\\S.RD", std::nullopt, Expectation{0, "game/data"}},
        HostPathCase{"mixed separators", "x/game/S", "x/game/S.RD", "x/game\\S.RD", Expectation{0, "x/game/data"},
                     Expectation{0, "x/game/data"}},
        HostPathCase{"absolute path", "game/S", "<abs>/game/S.RD", "<abs>\\game\\S.RD", Expectation{0, "game/data"},
                     Expectation{0, "game/data"}},
        // The last backslash comes before "game/": the output goes beside "game", not into it.
        HostPathCase{"drive letter with forward slashes", "game/S", "", "<abs>\\game/S.RD", std::nullopt,
                     Expectation{0, "data"}},
        HostPathCase{"directory and list in another case", "game/S", "", "GAME\\s.rd", std::nullopt,
                     Expectation{0, "game/data"}},
        // Longer than Windows' 260-byte paths: Linux has room, Windows refuses the list.
        HostPathCase{"long list path", kDeep + "/S", kDeep + "/S.RD", "", Expectation{0, kDeep + "/data"},
                     std::nullopt},
        HostPathCase{"long list path, Windows", kDeep + "/S", "", windowsForm(kDeep) + "\\S.RD", std::nullopt,
                     Expectation{2, ""}}));

TEST(HostPaths, AnEntryPathTheSystemRefusesIsStatusSix) {
    ScratchDirectory scratch;
    const bool windows = hostRules().windows;
    // A list path of 250 bytes: Windows opens the list and the resource but
    // cannot make the output directory and entry paths beyond its limit.
    const std::string prefix = hostRules().absolutePath(scratch.path()) + (windows ? "\\" : "/");
    const std::string directory(250 - prefix.size() - 5, 'g');
    const std::string resource = sampleResource();
    writeArchive(scratch.path(), directory + "/S", "5 0 A\n5 5 ENTRYNAME.BI\n", resource);
    const auto result = runTool(scratch.path(), {prefix + directory + (windows ? "\\S.RD" : "/S.RD")});
    EXPECT_EQ(result.status, windows ? 6 : 0) << result.output;
    if (!windows) {
        EXPECT_EQ(readFile(scratch.path() / directory / "data/ENTRYNAME.BI"), slice(resource, 5, 5));
    }
}

TEST(HostPaths, ComponentsLongerThanTheFileSystemAllowsAreRefused) {
    ScratchDirectory scratch;
    const std::string resource = sampleResource();
    writeArchive(scratch.path(), "S", "5 0 A\n", resource);
    EXPECT_EQ(runTool(scratch.path(), {std::string(300, 'L') + ".RD"}).status, 2);
}

TEST(HostPaths, TheCaseBlindResourceLookupTakesOnlyRegularFiles) {
    if (hostRules().windows) GTEST_SKIP() << "Windows looks names up without case by itself";
    ScratchDirectory scratch;
    const std::string resource = sampleResource();
    writeFile(scratch.path() / "S.RD", "5 7 A\n");
    // In byte order before the real file: a directory, a dangling link, a FIFO.
    fs::create_directories(scratch.path() / "S.REs");
    fs::create_symlink("missing", scratch.path() / "S.ReS");
    ASSERT_EQ(mkfifo((scratch.path() / "S.Res").c_str(), 0666), 0);
    writeFile(scratch.path() / "S.res", resource);
    writeFile(scratch.path() / "s.RES", "later in byte order");
    const auto result = runTool(scratch.path(), {"S.RD"});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readFile(scratch.path() / "data/A"), slice(resource, 7, 5));
}

}  // namespace
}  // namespace quill::e2e
