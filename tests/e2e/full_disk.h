#pragma once

#include <filesystem>
#include <string>

namespace quill::e2e {

// A file system that runs out of room, mounted at a directory for one test: a
// tmpfs of a few pages, one of them taken by a filler file, so that exactly
// `filesThatFit` files of at most a page each can still be written and every
// write after that fails with ENOSPC. Both builds see it (Wine's server opens
// files in the same mount namespace). Mounting needs root; without it
// mounted() is false and why() says so. Unmounted when the object goes.
class FullFileSystem {
public:
    FullFileSystem(const std::filesystem::path& mountPoint, int filesThatFit);
    ~FullFileSystem();
    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;

    bool mounted() const { return why_.empty(); }
    const std::string& why() const { return why_; }

private:
    std::filesystem::path mountPoint_;
    std::string why_;
};

}  // namespace quill::e2e
