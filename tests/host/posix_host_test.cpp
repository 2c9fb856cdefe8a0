// What the Linux host adds to the packer's operations: the Windows letter-case
// rule, only regular files, and a replace that is one rename.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "host/host.h"
#include "support/scratch.h"

namespace quill {
namespace {

using testing::ScratchDirectory;

using testing::toolForm;

// Each operation that takes an existing file, as one yes-or-no outcome.
struct FileOperation {
    const char* what;
    std::function<bool(const std::string& path, NameCase nameCase)> succeeds;
};

std::vector<FileOperation> operationsOnExistingFiles() {
    Host& host = systemHost();
    return {
        {"open for appending",
         [&host](const std::string& path, NameCase nameCase) {
             std::int64_t size = 0;
             return host.openForAppending(path, nameCase, size) != nullptr;
         }},
        {"lock",
         [&host](const std::string& path, NameCase nameCase) {
             return host.lockExclusive(path, nameCase, LockWait::no) != nullptr;
         }},
        {"cut back", [&host](const std::string& path, NameCase nameCase) { return host.cutBack(path, nameCase, 0); }},
        {"read modification time",
         [&host](const std::string& path, NameCase nameCase) {
             FileTime time;
             return host.readModificationTime(path, nameCase, time);
         }},
    };
}

TEST(PosixHost, AFileInAnotherLetterCaseIsFoundOnlyWhenAsked) {
    for (const auto& operation : operationsOnExistingFiles()) {
        ScratchDirectory scratch;
        testing::writeFile(scratch.path() / "sounds.res", "bytes");
        const std::string typed = toolForm(scratch.path() / "SOUNDS.RES");
        EXPECT_FALSE(operation.succeeds(typed, NameCase::exact)) << operation.what;
        EXPECT_TRUE(operation.succeeds(typed, NameCase::ignoreWhenMissing)) << operation.what;
        EXPECT_EQ(testing::filesBelow(scratch.path()), std::vector<std::string>{"sounds.res"}) << operation.what;
    }
}

TEST(PosixHost, OnlyRegularFilesAreTakenForExistingFiles) {
    struct Thing {
        const char* what;
        std::function<void(const testing::fs::path&)> make;
    };
    // A FIFO with no writer would block an ordinary open for reading.
    const std::vector<Thing> things = {
        {"FIFO", [](const testing::fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0666), 0); }},
        {"directory", [](const testing::fs::path& at) { testing::fs::create_directory(at); }},
    };
    for (const auto& thing : things) {
        for (const auto& operation : operationsOnExistingFiles()) {
            ScratchDirectory scratch;
            thing.make(scratch.path() / "S.RES");
            EXPECT_FALSE(operation.succeeds(toolForm(scratch.path() / "S.RES"), NameCase::exact))
                << operation.what << " of a " << thing.what;
        }
    }
}

TEST(PosixHost, ReplacingSwapsTheNameNotTheBytes) {
    ScratchDirectory scratch;
    testing::writeFile(scratch.path() / "L.RD", "old");
    testing::writeFile(scratch.path() / "L.NEW", "new");
    struct stat source {};
    ASSERT_EQ(::stat((scratch.path() / "L.NEW").c_str(), &source), 0);
    // A reader that had the old list open goes on reading the old list whole.
    const int reader = ::open((scratch.path() / "L.RD").c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);

    EXPECT_EQ(systemHost().replaceFile(toolForm(scratch.path() / "L.NEW"), toolForm(scratch.path() / "L.RD")),
              ReplaceResult::replaced);
    struct stat target {};
    ASSERT_EQ(::stat((scratch.path() / "L.RD").c_str(), &target), 0);
    EXPECT_EQ(target.st_ino, source.st_ino);
    char old[8] = {};
    EXPECT_EQ(::read(reader, old, sizeof old), 3);
    EXPECT_EQ(std::string(old), "old");
    ::close(reader);
}

// Runs `body` as an unprivileged user (nobody) when the tests run as root, so
// that permissions bind; `owned` is handed to that user first. The body's
// return value is the outcome: 0 for success.
int asUnprivileged(const testing::fs::path& owned, const std::function<int()>& body) {
    if (::geteuid() != 0) return body();
    constexpr uid_t kNobody = 65534;
    for (const auto& item : testing::fs::recursive_directory_iterator(owned)) {
        if (::chown(item.path().c_str(), kNobody, kNobody) != 0) return 100;
    }
    if (::chown(owned.c_str(), kNobody, kNobody) != 0) return 101;
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(102);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 103;
    return WEXITSTATUS(status);
}

TEST(PosixHost, ADirectoryThatCannotBeSyncedStopsTheReplaceBeforeAnythingChanges) {
    ScratchDirectory scratch;
    const testing::fs::path directory = scratch.path() / "game";
    testing::writeFile(directory / "L.RD", "old");
    testing::writeFile(directory / "L.NEW", "new");
    testing::fs::permissions(scratch.path(), testing::fs::perms::all);  // nobody may pass through
    const std::string from = toolForm(directory / "L.NEW");
    const std::string to = toolForm(directory / "L.RD");
    // Writable and searchable, so a rename would work; not readable, so it cannot be opened to sync.
    const int outcome = asUnprivileged(directory, [&] {
        if (::chmod(directory.c_str(), 0300) != 0) return 1;
        const ReplaceResult result = systemHost().replaceFile(from, to);
        if (::chmod(directory.c_str(), 0700) != 0) return 2;
        return result == ReplaceResult::notReplaced ? 0 : 3;
    });
    EXPECT_EQ(outcome, 0);
    EXPECT_EQ(testing::readFile(directory / "L.RD"), "old");
    EXPECT_EQ(testing::readFile(directory / "L.NEW"), "new");
}

}  // namespace
}  // namespace quill
