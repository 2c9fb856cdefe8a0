// quillpack's command line: commands and options in any letter case and
// order, help wherever it is asked for, and a hint for a mistyped word.
#include <gtest/gtest.h>

#include "pack/command_line.h"
#include "pack/pack.h"
#include "support/memory_host.h"
#include "support/pack_run.h"

namespace quill::pack {
namespace {

using testing::toBytes;

using Result = testing::PackResult;

class CommandLine : public ::testing::Test {
protected:
    testing::MemoryHost host;

    void SetUp() override {
        host.directories = {"G", "G\\data"};
        host.files["G\\S.RD"] = toBytes("5 0 A\n");
        host.files["G\\S.RES"] = toBytes("0123456789");
    }
    Result run(std::vector<const char*> arguments) { return testing::runQuillpack(host, std::move(arguments)); }
};

TEST_F(CommandLine, BadWordsAreNamedWithTheNearestGoodOne) {
    struct Case {
        std::vector<const char*> arguments;
        std::string err;  // the first line
    };
    const std::vector<Case> cases = {
        {{"updat", "G\\S.RD"}, "quillpack: unknown command 'updat'; did you mean 'update'?\n"},
        {{"xyzzy"}, "quillpack: unknown command 'xyzzy'\n"},
        {{"update", "G\\S.RD", "-wav2wav"}, "quillpack: unknown option '-wav2wav' for update; did you mean '-wav2dig'?\n"},
        {{"update", "G\\S.RD", "--dry-rum"}, "quillpack: unknown option '--dry-rum' for update; did you mean '--dry-run'?\n"},
        {{"remove", "G\\S.RD", "A.BIN", "-v"}, "quillpack: unknown option '-v' for remove (it takes none)\n"},
        {{"list", "G\\S.RD", "--jsno"}, "quillpack: unknown option '--jsno' for list; did you mean '--json'?\n"},
        {{"update", "G\\S.RD", "-n", "--dry-run"}, "quillpack: '-n' is given twice\n"},
        {{"update", "G\\S.RD", "-wav2dig", "-WAV2DIG"}, "quillpack: '-wav2dig' is given twice\n"},
        {{"update"}, "quillpack: too few arguments for update\n"},
        {{"list", "A.RD", "B.RD"}, "quillpack: too many arguments for list\n"},
        {{"compact", "G\\S.RD"}, "quillpack: too few arguments for compact\n"},
        {{"extract", "G\\S.RD", "-C"}, "quillpack: '-C' needs a value after it\n"},
        {{"help", "nothing"}, "quillpack: help takes one command name\n"},
    };
    for (const Case& c : cases) {
        const Result result = run(c.arguments);
        EXPECT_EQ(result.status, PackStatus::badCommandLine) << c.err;
        EXPECT_EQ(result.err.substr(0, result.err.find('\n') + 1), c.err);
        EXPECT_EQ(result.out, "") << c.err;
        EXPECT_EQ(host.files.at("G\\S.RD"), toBytes("5 0 A\n"));
    }
}

TEST_F(CommandLine, OptionsStandAnywhereInAnyLetterCase) {
    for (const auto& arguments : std::vector<std::vector<const char*>>{{"update", "G\\S.RD", "-n", "-Wav2Dig"},
                                                                        {"update", "-N", "G\\S.RD"},
                                                                        {"UPDATE", "--DRY-RUN", "G\\S.RD", "-V"},
                                                                        {"Update", "G\\S.RD", "-WAV2DIG"}}) {
        const Result result = run(arguments);
        EXPECT_EQ(result.status, PackStatus::done) << arguments[1] << result.err;
    }
    // After "--", "--help" is a name like any other.
    EXPECT_EQ(run({"remove", "G\\S.RD", "--", "--help"}).err, "--help: not in G/S.RD\nnothing written\n");
    // "--" ends the options: a pattern may start with '-'.
    const Result result = run({"extract", "G\\S.RD", "--", "-*"});
    EXPECT_EQ(result.err, "'-*': matches no entry of G/S.RD\n");
    EXPECT_EQ(result.status, PackStatus::badCommandLine);
}

TEST_F(CommandLine, HelpIsAskedForManyWaysAndFitsEightyColumns) {
    const std::vector<std::vector<const char*>> asked = {{"-h"}, {"--help"}, {"help"}, {"HELP"}};
    for (const auto& arguments : asked) {
        const Result result = run(arguments);
        EXPECT_EQ(result.status, PackStatus::done) << arguments[0];
        EXPECT_NE(result.out.find("quillpack update GAME.RD -wav2dig"), std::string::npos) << arguments[0];
        EXPECT_EQ(result.err, "");
    }
    for (const CommandInfo& info : commandTable()) {
        for (const auto& arguments : std::vector<std::vector<const char*>>{{"help", info.name.data()},
                                                                            {info.name.data(), "--help"}}) {
            const Result result = run(arguments);
            EXPECT_EQ(result.status, PackStatus::done) << info.name;
            EXPECT_TRUE(result.out.starts_with("usage: quillpack " + std::string(info.synopsis) + "\n")) << result.out;
        }
    }
    std::string all = run({"help"}).out;
    for (const CommandInfo& info : commandTable()) all += run({"help", info.name.data()}).out;
    std::size_t start = 0;
    for (std::size_t end = all.find('\n'); end != std::string::npos; start = end + 1, end = all.find('\n', start)) {
        EXPECT_LE(end - start, 80u) << all.substr(start, end - start);
    }
    // "/?" is help on Windows only; on Linux it is a word like any other.
    EXPECT_EQ(run({"/?"}).status, PackStatus::badCommandLine);
    host.rules = NameRules::windows;
    EXPECT_EQ(run({"/?"}).status, PackStatus::done);
    EXPECT_EQ(run({"update", "/?"}).status, PackStatus::done);
}

TEST_F(CommandLine, NoWordsPrintTheHelpAsAnError) {
    const Result result = run({});
    EXPECT_EQ(result.status, PackStatus::badCommandLine);
    EXPECT_NE(result.err.find("usage: quillpack COMMAND"), std::string::npos);
    EXPECT_EQ(run({"--version"}).out, std::string("quillpack ") + QUILL_VERSION + "\n");
}

// A good list dropped on Windows opens the workbench, a server: that is
// checked by tests/web/wine.test.mjs under Wine. Here only a list whose
// resource is missing is dropped: it is taken as an archive and refused for
// what is wrong with it, not as an unknown command.
TEST_F(CommandLine, AListDroppedOntoTheExeOnWindowsIsTakenAsAnArchive) {
    host.files["G\\LONE.RD"] = toBytes("5 0 A\n");  // no LONE.RES beside it
    const Result posix = run({"G\\LONE.RD"});
    EXPECT_EQ(posix.status, PackStatus::badCommandLine);  // on Linux, an unknown command
    EXPECT_EQ(posix.err.rfind("quillpack: unknown command 'G\\LONE.RD'", 0), 0u) << posix.err;
    host.rules = NameRules::windows;
    // On Windows it goes to the workbench, which the entry point hands in.
    static std::vector<std::string> opened;
    opened.clear();
    const Workbench recording = [](Host&, Console&, Console&, const std::string& listPath, const ParsedCommand&) {
        opened.push_back(listPath);
        return PackStatus::done;
    };
    const char* dropped[] = {"quillpack", "G\\LONE.RD"};
    testing::CapturedConsole out;
    testing::CapturedConsole err;
    EXPECT_EQ(runPack(2, dropped, host, out, err, recording), PackStatus::done) << err.text;
    EXPECT_EQ(opened, std::vector<std::string>{"G\\LONE.RD"});
    // A build without one says so rather than taking it for an unknown command.
    const Result without = run({"G\\LONE.RD"});
    EXPECT_EQ(without.err, "quillpack: this build has no workbench\n");
    // A word that is no file stays an unknown command.
    const Result none = run({"G\\NONE.RD"});
    EXPECT_EQ(none.status, PackStatus::badCommandLine);
    EXPECT_EQ(none.err.rfind("quillpack: unknown command 'G\\NONE.RD'", 0), 0u) << none.err;
}

TEST(NearestWord, OnlyASlipIsCorrected) {
    const std::vector<std::string_view> words = {"list", "update", "compact", "extract", "add", "remove", "rename"};
    EXPECT_EQ(nearestWord("updat", words), "update");
    EXPECT_EQ(nearestWord("LSIT", words), "list");
    EXPECT_EQ(nearestWord("extarct", words), "extract");
    EXPECT_EQ(nearestWord("renmae", words), "rename");
    EXPECT_EQ(nearestWord("zzzzzz", words), "");
    EXPECT_EQ(nearestWord("q", words), "");
}

}  // namespace
}  // namespace quill::pack
