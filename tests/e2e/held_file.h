#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace quill::e2e {

// Another Windows program holding a file open: hold_open.exe (--holder=) run
// under Wine in the suite's prefix, so the tool meets its share modes. Held
// from construction until the object goes.
class HeldFile {
public:
    // mode is "readwrite" or "read"; path is as the helper types it, relative
    // to directory.
    HeldFile(const std::filesystem::path& directory, const std::string& mode, const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool ready() const { return said_ == "ready\n"; }
    // What the helper printed, or why it could not be started.
    const std::string& said() const { return said_; }

private:
    pid_t child_ = -1;
    int input_ = -1;
    std::string said_;
};

}  // namespace quill::e2e
