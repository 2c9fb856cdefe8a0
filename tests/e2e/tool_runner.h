#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/scratch.h"

namespace quill::e2e {

namespace fs = std::filesystem;

// What differs between the Linux build and the Windows build run under Wine;
// everything else the suite expects is the same for both.
struct HostRules {
    bool windows = false;

    // Windows writes standard output in text mode: LF goes out as CR LF.
    std::string consoleText(const std::string& text) const;
    // A relative path as the user of this host types it.
    std::string typedPath(const std::string& slashPath) const;
    // An absolute path as this host's user types it: under Wine, the Linux
    // path on drive Z:.
    std::string absolutePath(const fs::path& path) const;
};

const HostRules& hostRules();

struct ToolResult {
    int status = -1;
    std::string output;
    std::string error;  // standard error
};

// How the tool's process is set up beyond its arguments.
struct RunOptions {
    std::vector<std::pair<int, std::uint64_t>> limits;  // setrlimit resource and value, soft and hard
    bool unprivileged = false;  // run as nobody when the tests run as root
    bool packer = false;        // quillpack rather than the unpacker
};

// Runs the tool under test in a directory, capturing its standard output.
ToolResult runTool(const fs::path& directory, const std::vector<std::string>& arguments,
                   const RunOptions& options = {});

// Starts the tool with standard output on the given descriptor; the caller
// waits for it with waitForTool.
// Standard error goes to errorFd, or nowhere when it is -1.
int startTool(const fs::path& directory, const std::vector<std::string>& arguments, int outputFd,
              const RunOptions& options = {}, int errorFd = -1);
// The exit status, or 128 plus the signal that ended it.
int waitForTool(int pid);

// Runs a shell command, returning its standard output (for soxi and friends).
std::string commandOutput(const std::string& command);

using testing::filesBelow;
using testing::readFile;
using testing::ScratchDirectory;
using testing::writeFile;

}  // namespace quill::e2e
