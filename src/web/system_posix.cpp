// The workbench's system calls on Linux.
#include <fcntl.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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

BrowserResult openBrowser(const std::string& address) {
    if (!onPath("xdg-open")) return BrowserResult::noOpener;
    // The browser's chatter would mix with ours on the terminal.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = "xdg-open";
    std::string argument = address;
    char* arguments[] = {program.data(), argument.data(), nullptr};
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, "xdg-open", &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return BrowserResult::failed;
    // Reaped when it ends, so it leaves no zombie while we serve.
    std::thread([child] {
        int status = 0;
        ::waitpid(child, &status, 0);
    }).detach();
    return BrowserResult::opened;
}

}  // namespace quill::web
