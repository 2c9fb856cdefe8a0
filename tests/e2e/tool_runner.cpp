#include "e2e/tool_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

const HostRules& hostRules() {
    static const HostRules rules = [] {
        HostRules r;
        const char* host = std::getenv("QUILLFANE_HOST");
        r.windows = host != nullptr && std::string(host) == "windows";
        return r;
    }();
    return rules;
}

ToolResult runTool(const fs::path& directory, const std::vector<std::string>& arguments) {
    const char* exe = std::getenv("QUILLFANE_EXE");
    if (exe == nullptr) throw std::runtime_error("QUILLFANE_EXE is not set");
    const char* runner = std::getenv("QUILLFANE_RUNNER");

    std::vector<std::string> command;
    if (runner != nullptr && *runner != '\0') command.emplace_back(runner);
    command.emplace_back(exe);
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDERR_FILENO);
        dup2(null, STDIN_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (chdir(directory.c_str()) != 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    ToolResult result;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
