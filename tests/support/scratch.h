#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quill::testing {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& bytes);

// A scratch directory removed after the test.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// A path in the tool's own form: backslash separators.
std::string toolForm(const fs::path& path);

// Names of every file below a directory (not the directories), relative, sorted.
std::vector<std::string> filesBelow(const fs::path& directory);

}  // namespace quill::testing
