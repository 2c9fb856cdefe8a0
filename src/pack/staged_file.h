#pragma once

#include <memory>
#include <span>
#include <string>

#include "host/console.h"
#include "host/host.h"

// A file's new content written under a temporary name beside it, made
// durable, then renamed over it in one step. The temporary is removed unless
// it was put in place, and a temporary that cannot be removed is reported.
namespace quill::pack {

class StagedFile {
public:
    // `tag` keeps the temporaries of different commands apart.
    StagedFile(Host& host, Console& err, std::string target, const std::string& tag);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the temporary; false, with the reason in `problem`, on failure.
    bool create(std::string& problem);
    bool write(std::span<const std::byte> bytes, std::string& problem);
    // Everything written reaches the disk, and the temporary is closed.
    bool finish(std::string& problem);
    // Renames the finished temporary over the target.
    ReplaceResult publish(std::string& problem);
    // Removes the temporary now; reports one that stays.
    void discard();

    const std::string& target() const { return target_; }
    const std::string& temporary() const { return temporary_; }

private:
    Host& host_;
    Console& err_;
    std::string target_;
    std::string temporary_;
    std::unique_ptr<WriteFile> file_;
    bool exists_ = false;
};

}  // namespace quill::pack
