#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "host/host.h"

// A resource as quillpack reads it: opened once, measured, and read a range at
// a time when a record's bytes are needed, never held whole, so a command's
// memory does not grow with the resource. Ranges are read through the one open
// file, so a list or resource renamed over meanwhile is not mixed in; another
// program writing into the same file is caught by `changedSince`.
namespace quill {

class ResourceFile {
public:
    std::int64_t size = 0;

    // Opens and measures; nothing is read yet.
    LoadStatus open(Host& host, const std::string& path, NameCase nameCase, std::int64_t maxSize);

    // Fills `into` with the range's bytes. A range that cannot be read leaves
    // zeros and marks the whole file failed: a command checks `failed` before
    // it writes anything that depends on what it read.
    // False when it could not.
    bool read(std::int64_t offset, std::span<std::byte> into) const;
    // The same, into a buffer sized to the range (its memory reused).
    bool read(std::int64_t offset, std::int64_t length, std::vector<std::byte>& into) const;
    std::vector<std::byte> bytes(std::int64_t offset, std::int64_t length) const;

    bool failed() const { return state_ && state_->failed.load(); }
    // Its last change when it was opened; false when the system did not say.
    bool openedAt(FileTime& time) const {
        if (!state_ || !state_->timed) return false;
        time = state_->time;
        return true;
    }
    // The system's words for the first failed read.
    std::string failure() const;

    // Lets the file go, keeping what was learnt of it (its size and last
    // change): a server that keeps a snapshot for long opens the resource
    // afresh for each reply instead, so no other program finds it held open.
    // Reads fail from then on.
    void close();
    // Whether `other` (opened later) found the file as this one did: the
    // same size and last change.
    bool sameAs(const ResourceFile& other) const;

    // Whether the file's size or last change differs from when it was
    // opened: another program wrote into it, and ranges read before and
    // after may not belong together.
    bool changedSince(Host& host, const std::string& path, NameCase nameCase) const;

private:
    // Shared, so an archive can move while the server's threads read it.
    struct State {
        Host* host = nullptr;
        std::unique_ptr<ReadFile> file;
        FileTime time;
        bool timed = false;
        std::atomic<bool> failed{false};
        std::mutex reasonLock;
        std::string reason;
    };
    std::shared_ptr<State> state_;
};

}  // namespace quill
