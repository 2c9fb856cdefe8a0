// The tool as a process among others: a resource that changes under it,
// readers that go away, resource limits, how its output reaches a pipe or a terminal.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <thread>

#include "e2e/archive.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

// A list of count entries of size bytes each, back to back, named E000.ext on.
std::string evenList(int count, int size, const std::string& extension) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%d %d E%03d.%s\n", size, i * size, i, extension.c_str());
        list += line;
    }
    return list;
}

std::string entryName(int i, const std::string& extension) {
    char name[16];
    std::snprintf(name, sizeof name, "E%03d.", i);
    return name + extension;
}

// Reads a descriptor to its end.
std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

using ProcessRun = ArchiveRun;

class SnapshotRun : public ArchiveRun, public ::testing::WithParamInterface<bool> {};

TEST_P(SnapshotRun, FilesHoldTheResourceAsItStoodWhenLoaded) {
    const bool convert = GetParam();
    constexpr int kCount = 999;
    constexpr int kSize = 64;
    const std::string original = sampleResource(kCount * kSize);
    writeArchive(scratch.path(), "S", evenList(kCount, kSize, "DIG"), original);

    // Standard output is a pipe of one page that nobody reads yet: the tool
    // stops in the middle of its entries, long after loading the resource.
    // (Its last block may not fit in what the page has left.)
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const int capacity = fcntl(ends[0], F_SETPIPE_SZ, 4096);
    ASSERT_GT(capacity, 0);
    std::vector<std::string> arguments = {"S.RD"};
    if (convert) arguments.push_back("-dig2wav");
    const int pid = startTool(scratch.path(), arguments, ends[1]);
    close(ends[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int waiting = 0; ioctl(ends[0], FIONREAD, &waiting) == 0 && waiting < capacity - 1024;) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the tool never filled its output pipe";
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    // Overwritten in place, then cut short, while the tool waits.
    std::string changed = original;
    for (char& c : changed) c = static_cast<char>(~c);
    {
        const int fd = open(at("S.RES").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, changed.data(), changed.size()), static_cast<ssize_t>(changed.size()));
        ASSERT_EQ(fsync(fd), 0);
        ASSERT_EQ(ftruncate(fd, 100), 0);
        close(fd);
    }
    const std::string output = drain(ends[0]);
    close(ends[0]);
    ASSERT_EQ(waitForTool(pid), 0) << output.substr(output.size() > 200 ? output.size() - 200 : 0);
    EXPECT_TRUE(output.ends_with(console("\nAll done!\n\n")));
    for (int i = 0; i < kCount; ++i) {
        const std::string bytes = slice(original, static_cast<std::size_t>(i * kSize), kSize);
        ASSERT_EQ(readFile(at("data/" + entryName(i, "DIG"))), bytes) << i;
        if (convert) {
            ASSERT_EQ(readFile(at("data/" + entryName(i, "WAV"))), expectedWav(bytes)) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Conversion, SnapshotRun, ::testing::Bool(),
                         [](const auto& test) { return test.param ? "dig2wav" : "plain"; });

TEST_F(ProcessRun, AReaderThatGoesAwayDoesNotStopTheRun) {
    // quillfane S.RD | head -c 5
    constexpr int kCount = 999;
    writeArchive(scratch.path(), "S", evenList(kCount, 4, "BIN"), resource);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const int pid = startTool(scratch.path(), {"S.RD"}, ends[1]);
    close(ends[1]);
    char first[5];
    ASSERT_EQ(read(ends[0], first, sizeof first), 5);
    close(ends[0]);
    EXPECT_EQ(waitForTool(pid), 0);
    ASSERT_EQ(filesBelow(at("data")).size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(readFile(at("data/" + entryName(i, "BIN"))), slice(resource, static_cast<std::size_t>(i * 4), 4));
    }
}

struct LimitCase {
    const char* what;
    std::string list;
    std::vector<std::string> arguments;
    int status;
};

TEST_F(ProcessRun, AFileSizeLimitIsAFailedWriteWithTheEntrysStatus) {
    if (rules.windows) GTEST_SKIP() << "the file-size limit would bind Wine's own process, not only the program";
    constexpr std::uint64_t kLimit = 100 * 1024;
    const std::string big = sampleResource(200 * 1000);
    const std::vector<LimitCase> cases = {
        {"entry over the limit", "200000 0 BIG.BIN\n5 0 AFTER\n", {"S.RD"}, 6},
        // The sound itself fits exactly; its companion, 44 bytes longer, does not.
        {"companion over the limit", "102400 0 S.DIG\n5 0 AFTER\n", {"S.RD", "-dig2wav"}, 7},
    };
    for (const auto& c : cases) {
        ScratchDirectory own;
        writeArchive(own.path(), "S", c.list, big);
        const auto result = runTool(own.path(), c.arguments, {.limits = {{RLIMIT_FSIZE, kLimit}}});
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.output.find("All done!"), std::string::npos) << c.what;
        EXPECT_FALSE(fs::exists(own.path() / "data/AFTER")) << c.what;
    }
}

TEST_F(ProcessRun, ASoundLargerThanTheSampleBufferUnderASmallStack) {
    if (rules.windows) GTEST_SKIP() << "the stack limit would bind Wine's own process, not only the program";
    const std::string samples = sampleResource(2 * 196608 + 777);
    writeArchive(scratch.path(), "S", std::to_string(samples.size()) + " 0 BIG.DIG\n", samples);
    const auto result = runTool(scratch.path(), {"S.RD", "-dig2wav"}, {.limits = {{RLIMIT_STACK, 200 * 1024}}});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readFile(at("data/BIG.DIG")), samples);
    EXPECT_EQ(readFile(at("data/BIG.WAV")), expectedWav(samples));
}

TEST_F(ProcessRun, RedirectedOutputGoesOutIn512ByteBlocks) {
    if (rules.windows) GTEST_SKIP() << "the Windows C runtime's text mode turns each block's line feeds into CR LF as it writes";
    writeArchive(scratch.path(), "S", evenList(100, 4, "BIN"), resource);
    // A packet pipe: every read returns exactly one of the tool's writes.
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_DIRECT), 0);
    const int pid = startTool(scratch.path(), {"S.RD"}, ends[1]);
    close(ends[1]);
    std::vector<std::size_t> writes;
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;) {
        writes.push_back(static_cast<std::size_t>(got));
        output.append(buffer, static_cast<std::size_t>(got));
    }
    close(ends[0]);
    ASSERT_EQ(waitForTool(pid), 0);
    ASSERT_GT(output.size(), 2048u);
    EXPECT_TRUE(output.ends_with("\nAll done!\n\n"));
    ASSERT_FALSE(writes.empty());
    for (std::size_t i = 0; i + 1 < writes.size(); ++i) EXPECT_EQ(writes[i], 512u) << "write " << i;
    EXPECT_LE(writes.back(), 512u);
}

TEST_F(ProcessRun, ControlBytesInANameReachATerminalAsQuestionMarks) {
    if (rules.windows) GTEST_SKIP() << "Windows refuses control bytes in file names, so no such entry is written or shown";
    // C0 controls, and a CSI in its UTF-8 form, which a UTF-8 terminal obeys too.
    const std::string name = "\x1b]0;T\x07\xc2\x9bZ";
    writeArchive(scratch.path(), "S", "3 1 " + name + "\n", resource);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) GTEST_SKIP() << "this machine gives no pseudo-terminal: " << std::strerror(errno);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    termios raw{};
    ASSERT_EQ(tcgetattr(terminal, &raw), 0);
    cfmakeraw(&raw);  // the bytes as the tool wrote them, no line-feed translation
    ASSERT_EQ(tcsetattr(terminal, TCSANOW, &raw), 0);
    const int pid = startTool(scratch.path(), {"S.RD"}, terminal);
    close(terminal);
    const std::string output = drain(master);  // ends with EIO once the tool has gone
    close(master);
    EXPECT_EQ(waitForTool(pid), 0);
    EXPECT_EQ(output, kBanner + "\n" + progress(1, 1, "?]0;T???Z") + "\nAll done!\n\n");
    EXPECT_EQ(readFile(at("data/" + name)), slice(resource, 1, 3));
}

}  // namespace
}  // namespace quill::e2e
