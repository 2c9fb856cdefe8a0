#include "e2e/tool_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace quill::e2e {

std::string HostRules::consoleText(const std::string& text) const {
    if (!windows) return text;
    std::string result;
    for (char c : text) {
        if (c == '\n') result += '\r';
        result += c;
    }
    return result;
}

std::string HostRules::typedPath(const std::string& slashPath) const {
    std::string result = slashPath;
    if (windows) std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string HostRules::absolutePath(const fs::path& path) const {
    return windows ? "Z:" + typedPath(path.string()) : path.string();
}

const HostRules& hostRules() {
    static const HostRules rules = [] {
        HostRules r;
        const char* host = std::getenv("QUILLFANE_HOST");
        r.windows = host != nullptr && std::string(host) == "windows";
        return r;
    }();
    return rules;
}

namespace {

// Collects the child's standard output until it closes. A run that hangs (a
// FIFO opened for writing blocks for ever) is killed after a bound far beyond
// any run of the suite, so the test fails instead of stalling the whole suite.
void readOutputWithinBound(int fd, pid_t child, std::string& output) {
    constexpr int kBoundSeconds = 120;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kBoundSeconds);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd watch{fd, POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&watch, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            kill(child, SIGKILL);
            output += "[stopped: still running after " + std::to_string(kBoundSeconds) + " s]";
            return;
        }
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        output.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

int startTool(const fs::path& directory, const std::vector<std::string>& arguments, int outputFd,
              const RunOptions& options, int errorFd) {
    const char* variable = options.packer ? "QUILLPACK_EXE" : "QUILLFANE_EXE";
    const char* exe = std::getenv(variable);
    if (exe == nullptr) throw std::runtime_error(std::string(variable) + " is not set");
    const char* runner = std::getenv("QUILLFANE_RUNNER");

    std::string program = exe;
    if (options.unprivileged && geteuid() == 0) {
        // nobody may not reach the build tree (a clone under /root, say): run a copy from the scratch directory.
        const fs::path copy = directory / ".quillfane-as-nobody";
        fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        program = copy.string();
    }

    std::vector<std::string> command;
    if (runner != nullptr && *runner != '\0') command.emplace_back(runner);
    command.emplace_back(program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        dup2(outputFd, STDOUT_FILENO);
        const int null = open("/dev/null", O_RDWR);
        dup2(errorFd >= 0 ? errorFd : null, STDERR_FILENO);
        dup2(null, STDIN_FILENO);
        if (outputFd != STDOUT_FILENO) close(outputFd);
        // Descriptors the test holds (a pipe's read end) must not keep it open in the tool.
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        if (chdir(directory.c_str()) != 0) _exit(126);
        for (const auto& [resource, value] : options.limits) {
            const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
            if (setrlimit(resource, &limit) != 0) _exit(125);
        }
        if (options.unprivileged && geteuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(124);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0) throw std::runtime_error("fork failed");
    return child;
}

int waitForTool(int pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

namespace {

ToolResult runToolOnce(const fs::path& directory, const std::vector<std::string>& arguments,
                       const RunOptions& options) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    // Standard error goes to a file outside the scratch directory, read once the tool is done.
    char errorPath[] = "/tmp/quillfane-stderr-XXXXXX";
    const int errorFd = mkstemp(errorPath);
    if (errorFd < 0) throw std::runtime_error("mkstemp failed");
    unlink(errorPath);
    const int child = startTool(directory, arguments, pipeEnds[1], options, errorFd);
    close(pipeEnds[1]);
    ToolResult result;
    readOutputWithinBound(pipeEnds[0], child, result.output);
    close(pipeEnds[0]);
    result.status = waitForTool(child);
    char buffer[4096];
    lseek(errorFd, 0, SEEK_SET);
    for (ssize_t got; (got = read(errorFd, buffer, sizeof buffer)) > 0;) result.error.append(buffer, static_cast<std::size_t>(got));
    close(errorFd);
    return result;
}

// Wine, rarely and under load, fails to start a program at all: a failure
// status with nothing from the program (the unpacker always prints its
// banner; quillpack always says why it failed), at most Wine's own words.
// The program never ran, so nothing else changed: run it again. A failure
// of the tool itself repeats and still fails the test.
bool runnerFailedToStart(const ToolResult& result) {
    const char* runner = std::getenv("QUILLFANE_RUNNER");
    if (runner == nullptr || *runner == '\0' || result.status == 0 || !result.output.empty()) return false;
    return result.error.empty() || result.error.starts_with("wine");
}

}  // namespace

ToolResult runTool(const fs::path& directory, const std::vector<std::string>& arguments, const RunOptions& options) {
    constexpr int kAttempts = 3;
    ToolResult result = runToolOnce(directory, arguments, options);
    for (int attempt = 1; attempt < kAttempts && runnerFailedToStart(result); ++attempt) {
        std::fprintf(stderr, "the runner did not start the tool (status %d, stderr '%s'); running it again\n",
                     result.status, result.error.c_str());
        result = runToolOnce(directory, arguments, options);
    }
    return result;
}

std::string commandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[256];
    while (const std::size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
    pclose(pipe);
    return output;
}

}  // namespace quill::e2e
