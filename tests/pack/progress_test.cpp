// The progress line of long work: shown on a terminal only once the work has
// taken a second, rewritten in place, cleared when done; never in redirected
// output, nor with -q.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/pack.h"
#include "pack/progress.h"
#include "support/memory_host.h"

namespace quill::pack {
namespace {

using testing::MemoryHost;
using testing::toBytes;

class TerminalConsole : public testing::CapturedConsole {
public:
    bool isTerminal() const override { return true; }
};

TEST(Progress, ShowsAfterASecondThenClearsItsLine) {
    MemoryHost host;
    host.tick = 500;  // every look at the clock: 0.5 s later
    TerminalConsole console;
    setProgressConsole(&console);
    {
        Progress progress(host, "appending to S.RES", 4 * 1024 * 1024, 4);
        progress.advance(1024 * 1024, 1);  // 0.5 s in: too soon
        EXPECT_EQ(console.text, "");
        progress.advance(1024 * 1024, 1);
        progress.advance(1024 * 1024, 1);
        EXPECT_NE(console.text.find("\rappending to S.RES: "), std::string::npos) << console.text;
        EXPECT_NE(console.text.find(" of 4 records, "), std::string::npos) << console.text;
        EXPECT_NE(console.text.find(" of 4.0 MiB, "), std::string::npos) << console.text;
        EXPECT_NE(console.text.find("MiB/s, "), std::string::npos) << console.text;
        EXPECT_NE(console.text.find(" s left"), std::string::npos) << console.text;
        EXPECT_EQ(console.text.find('\n'), std::string::npos) << "a progress line never ends a line";
    }
    // Cleared: the last thing printed blanks the line and returns to its start.
    ASSERT_GE(console.text.size(), 2u);
    EXPECT_EQ(console.text.back(), '\r');
    EXPECT_EQ(console.text.substr(console.text.rfind('\r', console.text.size() - 2) + 1).find_first_not_of(" \r"),
              std::string::npos);
    setProgressConsole(nullptr);
}

// A long add as the command line runs it: its progress only on a terminal, and not with -q.
TEST(Progress, OnlyOnATerminalAndNeverWithQuiet) {
    const struct {
        const char* what;
        bool terminal;
        bool quiet;
        bool shown;
    } cases[] = {
        {"a terminal", true, false, true},
        {"a terminal with -q", true, true, false},
        {"redirected", false, false, false},
    };
    for (const auto& c : cases) {
        MemoryHost host;
        host.tick = 400;
        host.directories = {"G", "G\\data"};
        host.files["G\\S.RD"] = toBytes("5 0 A.BIN\r\n");
        host.files["G\\S.RES"] = toBytes("aaaaa");
        host.files["G\\data\\BIG.BIN"] = toBytes(std::string(5 << 20, 'b'));
        TerminalConsole terminal;
        testing::CapturedConsole redirected;
        testing::CapturedConsole& out = c.terminal ? terminal : redirected;
        testing::CapturedConsole err;
        std::vector<const char*> arguments = {"quillpack", "add", "G\\S.RD", "G\\data\\BIG.BIN"};
        if (c.quiet) arguments.push_back("-q");
        EXPECT_EQ(runPack(static_cast<int>(arguments.size()), arguments.data(), host, out, err), PackStatus::done)
            << c.what << err.text;
        EXPECT_EQ(out.text.find("\rappending to") != std::string::npos, c.shown) << c.what << out.text;
        EXPECT_NE(out.text.find("added record 2 BIG.BIN"), std::string::npos) << c.what << out.text;
    }
    setProgressConsole(nullptr);
}

}  // namespace
}  // namespace quill::pack
