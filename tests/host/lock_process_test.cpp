// The archive's lock between processes: another process holding it keeps us
// out, and its death, however sudden, lets us in.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "host/host.h"
#include "support/scratch.h"

namespace quill {
namespace {

using testing::ScratchDirectory;

using testing::toolForm;

class Pipe {
public:
    Pipe() { EXPECT_EQ(::pipe(ends_), 0); }
    ~Pipe() {
        closeReading();
        closeWriting();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void closeReading() { closeEnd(ends_[0]); }
    void closeWriting() { closeEnd(ends_[1]); }
    void send(char c) const { (void)!::write(ends_[1], &c, 1); }
    // The next byte, or 0 once every writer has gone.
    char receive() const {
        char c = 0;
        return ::read(ends_[0], &c, 1) == 1 ? c : '\0';
    }

private:
    static void closeEnd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int ends_[2] = {-1, -1};
};

// Runs `body` in a child process; its return value is the child's exit status.
template <typename Body>
pid_t inChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    EXPECT_GT(child, 0);
    return child;
}

int exitStatusOf(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ArchiveLock, AnotherProcessHoldingItKeepsUsOutUntilItIsKilled) {
    ScratchDirectory scratch;
    testing::writeFile(scratch.path() / "S.RES", "bytes");
    const std::string path = toolForm(scratch.path() / "S.RES");
    Pipe ready;
    const pid_t holder = inChild([&] {
        ready.closeReading();
        auto lock = systemHost().lockExclusive(path, NameCase::exact, LockWait::no);
        ready.send(lock ? 'L' : 'F');
        ::pause();  // held until killed
        return 0;
    });
    ready.closeWriting();
    ASSERT_EQ(ready.receive(), 'L');

    EXPECT_EQ(systemHost().lockExclusive(path, NameCase::exact, LockWait::no), nullptr);
    ASSERT_EQ(::kill(holder, SIGKILL), 0);
    EXPECT_EQ(exitStatusOf(holder), 128 + SIGKILL);
    EXPECT_NE(systemHost().lockExclusive(path, NameCase::exact, LockWait::no), nullptr);
}

// True once the kernel lists `pid` as waiting for a lock on the file.
bool waitsForLock(pid_t pid, const testing::fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return false;
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        // "2: -> FLOCK  ADVISORY  WRITE 1234 00:2c:5678 0 EOF"
        std::istringstream fields(line);
        std::string number, arrow, kind, advisory, mode, owner, device;
        fields >> number >> arrow >> kind >> advisory >> mode >> owner >> device;
        if (arrow == "->" && kind == "FLOCK" && owner == std::to_string(pid) &&
            device.ends_with(":" + std::to_string(info.st_ino))) {
            return true;
        }
    }
    return false;
}

TEST(ArchiveLock, AWaitingLockerIsLetInWhenTheHolderLetsGo) {
    ScratchDirectory scratch;
    testing::writeFile(scratch.path() / "S.RES", "bytes");
    const std::string path = toolForm(scratch.path() / "S.RES");
    // The waiter is forked before the lock is taken: a child forked later
    // would share the locked descriptor and hold the lock itself.
    Pipe go;
    Pipe granted;
    const pid_t waiter = inChild([&] {
        go.closeWriting();
        granted.closeReading();
        if (go.receive() != 'G') return 1;
        const auto lock = systemHost().lockExclusive(path, NameCase::exact, LockWait::yes);
        granted.send(lock ? 'L' : 'F');
        return 0;
    });
    go.closeReading();
    granted.closeWriting();
    auto held = systemHost().lockExclusive(path, NameCase::exact, LockWait::no);
    ASSERT_NE(held, nullptr);
    go.send('G');
    // Not a timing: the loop ends as soon as the kernel shows the child
    // blocked on our lock; the bound only keeps a broken host from hanging CI.
    bool blocked = false;
    for (int tries = 0; tries < 6000 && !blocked; ++tries) {
        blocked = waitsForLock(waiter, scratch.path() / "S.RES");
        if (!blocked) ::usleep(5000);
    }
    EXPECT_TRUE(blocked) << "the waiting locker never showed as blocked";
    EXPECT_EQ(::waitpid(waiter, nullptr, WNOHANG), 0) << "the waiting locker did not wait";

    held.reset();
    EXPECT_EQ(granted.receive(), 'L');
    EXPECT_EQ(exitStatusOf(waiter), 0);
}

}  // namespace
}  // namespace quill
