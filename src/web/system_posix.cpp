// The workbench's system calls on Linux.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/random.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <thread>

#include "web/system.h"

extern char** environ;

namespace quill::web {
namespace {

bool onPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string directory(rest.substr(0, colon));
        if (!directory.empty() && ::access((directory + "/" + std::string(program)).c_str(), X_OK) == 0) return true;
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

std::string temporaryDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t wrote = ::write(fd, text.data(), text.size());
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

sigset_t interruptSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

struct InterruptWatch {
    std::atomic<bool> stopping{false};
    std::thread waiter;
    sigset_t previousMask{};
};
InterruptWatch interruptWatch;

}  // namespace

bool fillRandom(std::span<unsigned char> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = ::getrandom(buffer.data() + filled, buffer.size() - filled, 0);
        if (got <= 0) return false;
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

bool writePrivateFile(std::string_view text, PrivateFile& file) {
    // mkdtemp makes the directory 0700 under a name nobody could create first.
    std::string pattern = temporaryDirectory() + "/quillpack-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return false;
    file.directory = pattern;
    file.path = pattern + "/open.html";
    const int fd = ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool written = fd >= 0 && ::fchmod(fd, 0600) == 0 && writeAll(fd, text);
    if (fd >= 0 && ::close(fd) != 0) written = false;
    if (!written) removePrivateFile(file);
    return written;
}

void removePrivateFile(const PrivateFile& file) {
    if (!file.path.empty()) ::unlink(file.path.c_str());
    if (!file.directory.empty()) ::rmdir(file.directory.c_str());
}

BrowserResult openBrowser(const std::string& filePath) {
    if (!onPath("xdg-open")) return BrowserResult::noOpener;
    // The browser's chatter would mix with ours on the terminal.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The browser must not inherit the signals held back for the server.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::string program = "xdg-open";
    std::string argument = filePath;
    char* arguments[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, "xdg-open", &actions, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return BrowserResult::failed;
    // Reaped when it ends, so it leaves no zombie while we serve.
    std::thread([child] {
        int status = 0;
        ::waitpid(child, &status, 0);
    }).detach();
    return BrowserResult::opened;
}

void claimPortAlone(std::uintptr_t socket) {
    // SO_REUSEADDR only, for a port whose last connections linger in
    // TIME_WAIT; never SO_REUSEPORT, under which a second server would share
    // the port and the kernel split the connections between the two.
    const int yes = 1;
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

Ipv6Hold holdIpv6Loopback(int port, Ipv6Loopback& hold) {
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Ipv6Hold::noIpv6;
    // Only ::1 itself; no SO_REUSEADDR, so no other socket may bind it beside this one.
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    address.sin6_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int why = errno;
        ::close(fd);
        return why == EADDRINUSE || why == EACCES ? Ipv6Hold::taken : Ipv6Hold::noIpv6;
    }
    hold.socket = fd;
    return Ipv6Hold::held;
}

void releaseIpv6Loopback(Ipv6Loopback& hold) {
    if (hold.socket >= 0) ::close(static_cast<int>(hold.socket));
    hold.socket = -1;
}

void watchInterrupts(std::function<void()> interrupted) {
    const sigset_t signals = interruptSignals();
    ::pthread_sigmask(SIG_BLOCK, &signals, &interruptWatch.previousMask);
    interruptWatch.stopping = false;
    interruptWatch.waiter = std::thread([signals, interrupted = std::move(interrupted)] {
        const timespec tick{0, 200'000'000};
        while (!interruptWatch.stopping) {
            if (::sigtimedwait(&signals, nullptr, &tick) > 0) interrupted();
        }
    });
}

void stopWatchingInterrupts() {
    if (!interruptWatch.waiter.joinable()) return;
    interruptWatch.stopping = true;
    interruptWatch.waiter.join();
    ::pthread_sigmask(SIG_SETMASK, &interruptWatch.previousMask, nullptr);
}

}  // namespace quill::web
