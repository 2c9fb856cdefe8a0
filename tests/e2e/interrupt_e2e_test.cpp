// Ctrl+C (or a request to terminate) while quillpack appends to the
// resource: the archive is left exactly as it was, the bytes appended so far
// cut back, no temporary file left, and a status of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "e2e/archive.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

using InterruptRun = ArchiveRun;

constexpr int kInterruptedStatus = 7;

TEST_F(InterruptRun, AnInterruptedAddLeavesTheArchiveAsItWas) {
    if (rules.windows) GTEST_SKIP() << "a POSIX signal does not reach a program under Wine as Ctrl+C does";
    const std::string list = "5 0 A.BIN\r\n";
    fs::create_directories(at("data"));
    std::vector<std::string> arguments = {"add", "S.RD"};
    const std::string big(16 << 20, 'x');
    for (int i = 0; i < 16; ++i) {
        const std::string name = "data/F" + std::to_string(i) + ".BIN";
        writeFile(at(name), big);
        arguments.push_back(name);
    }
    for (const int signal : {SIGINT, SIGTERM}) {
        bool seen = false;
        // The signal must land while the bytes go out; a machine fast enough
        // to finish first gets another try.
        for (int attempt = 0; attempt < 3 && !seen; ++attempt) {
            writeFile(at("S.RD"), list);
            writeFile(at("S.RES"), "aaaaa");
            RunOptions options;
            options.packer = true;
            const int pid = startTool(scratch.path(), arguments, -1, options);
            ASSERT_GT(pid, 0);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (fs::file_size(at("S.RES")) <= 5 && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            ::kill(pid, signal);
            const int status = waitForTool(pid);
            if (status == 0) {
                EXPECT_NE(readFile(at("S.RD")), list);  // it finished first: the new archive
                continue;
            }
            seen = true;
            EXPECT_EQ(status, kInterruptedStatus) << signal;
            EXPECT_EQ(readFile(at("S.RD")), list) << signal;
            EXPECT_EQ(readFile(at("S.RES")), "aaaaa") << signal;
            for (const std::string& name : filesBelow(scratch.path())) {
                EXPECT_EQ(name.find("quillpack-"), std::string::npos) << name;
            }
        }
        EXPECT_TRUE(seen) << "the signal never arrived while the bytes were appended";
    }
}

// A signal the caller set to be ignored (nohup for a hang-up, a script's
// background job for Ctrl+C) stays ignored: the change goes through.
TEST_F(InterruptRun, ASignalTheCallerIgnoresDoesNotStopTheChange) {
    if (rules.windows) GTEST_SKIP() << "POSIX signal dispositions";
    fs::create_directories(at("data"));
    writeFile(at("data/F.BIN"), std::string(64 << 20, 'x'));
    writeFile(at("S.RD"), "5 0 A.BIN\r\n");
    writeFile(at("S.RES"), "aaaaa");
    RunOptions options;
    options.packer = true;
    struct sigaction previous {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &ignore, &previous);  // inherited by the tool, as under nohup
    const int pid = startTool(scratch.path(), {"add", "S.RD", "data/F.BIN"}, -1, options);
    ::sigaction(SIGHUP, &previous, nullptr);
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, SIGHUP);
    EXPECT_EQ(waitForTool(pid), 0);
    EXPECT_EQ(readFile(at("S.RD")), "5 0 A.BIN\r\n67108864 5 F.BIN\r\n");
}

}  // namespace
}  // namespace quill::e2e
