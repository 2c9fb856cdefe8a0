#include "e2e/held_file.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace quill::e2e {
namespace {

// Far beyond Wine's start-up, so only a helper that is stuck runs into it.
constexpr int kBoundMilliseconds = 60'000;

// Reads the helper's first line; "" when nothing came within the bound.
std::string firstLine(int fd) {
    std::string line;
    char c = 0;
    while (line.empty() || line.back() != '\n') {
        pollfd watch{fd, POLLIN, 0};
        const int ready = poll(&watch, 1, kBoundMilliseconds);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return line + "[no line from hold_open.exe within the bound]";
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return line + "[hold_open.exe ended]";
        if (c != '\r') line += c;  // Windows text mode ends lines with CR LF
    }
    return line;
}

}  // namespace

HeldFile::HeldFile(const std::filesystem::path& directory, const std::string& mode, const std::string& path) {
    const char* holder = std::getenv("QUILLFANE_HOLDER");
    const char* runner = std::getenv("QUILLFANE_RUNNER");
    if (holder == nullptr || *holder == '\0' || runner == nullptr || *runner == '\0') {
        said_ = "no --holder= and --runner= given to the suite";
        return;
    }
    std::vector<std::string> command = {runner, holder, mode, path};
    std::vector<char*> argv;
    for (auto& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);

    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0) {
        said_ = "pipe failed";
        return;
    }
    if (pipe(fromChild) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        said_ = "pipe failed";
        return;
    }
    child_ = fork();
    if (child_ == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        for (const int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1], null}) close(fd);
        if (chdir(directory.c_str()) != 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    input_ = toChild[1];
    said_ = child_ < 0 ? "fork failed" : firstLine(fromChild[0]);
    close(fromChild[0]);
}

HeldFile::~HeldFile() {
    if (input_ >= 0) close(input_);  // the helper's cue to let go
    if (child_ <= 0) return;
    for (int waited = 0; waited < kBoundMilliseconds; waited += 50) {
        if (waitpid(child_, nullptr, WNOHANG) != 0) return;
        usleep(50'000);
    }
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
}

}  // namespace quill::e2e
