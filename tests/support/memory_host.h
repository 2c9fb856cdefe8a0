#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/console.h"
#include "host/host.h"

namespace quill::testing {

using Bytes = std::vector<std::byte>;

Bytes toBytes(std::string_view text);
std::string toText(const Bytes& bytes);

// A file system in memory, in the tool's own path form. A file can be made
// only where its parent directory exists, as on a real disk. Names are matched
// exactly, whatever NameCase asks.
class MemoryHost : public Host {
public:
    std::map<std::string, Bytes> files;
    std::set<std::string> directories;
    std::vector<std::string> directoryAttempts;
    std::set<std::string> unwritable;  // paths whose writes fail (a full disk)
    NameRules rules = NameRules::posix;
    // Files changed since they were last made durable: what a crash of the
    // machine could still take back.
    std::set<std::string> unsynced;
    // Each rename made while some file's bytes were not yet durable: "FROM ->
    // TO while X unsynced". A crash then could leave the new name over bytes
    // that never reached the disk.
    std::vector<std::string> renamesBeforeDurable;
    // Modification times: every change ticks a clock; a file put into `files`
    // directly reads as time 0 until it changes.
    std::map<std::string, std::int64_t> times;
    std::int64_t clock = 0;
    std::set<std::string> locked;  // a held lock refuses another even when asked to wait
    // Paths the system cannot look at, nor at anything under them (a
    // directory without search permission).
    std::set<std::string> unsearchable;
    std::map<std::string, int> readOpens;  // how often each path was opened for reading
    std::string failure;  // what lastFailure() says
    bool catching = false;        // catchInterrupts was called
    bool interruptNoted = false;  // set by a test: an interrupt arrived

    NameRules nameRules() const override { return rules; }

    std::string importArgumentPath(const std::string& typed) override { return typed; }
    void makeDirectory(const std::string& path) override;
    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override;
    std::unique_ptr<WriteFile> createForWriting(const std::string& path) override;
    std::unique_ptr<WriteFile> openForAppending(const std::string& path, NameCase nameCase,
                                                std::int64_t& size) override;
    ReplaceResult replaceFile(const std::string& from, const std::string& to) override;
    std::unique_ptr<FileLock> lockExclusive(const std::string& path, NameCase nameCase, LockWait wait) override;
    std::unique_ptr<FileLock> lockCreating(const std::string& path, bool& created) override;
    bool cutBack(const std::string& path, NameCase nameCase, std::int64_t length) override;
    bool readModificationTime(const std::string& path, NameCase nameCase, FileTime& time) override;
    bool removeFile(const std::string& path) override;
    // One spelling per file here.
    bool sameFile(const std::string& a, const std::string& b, NameCase) override {
        return a == b && (files.count(a) != 0 || directories.count(a) != 0);
    }

    std::string importListName(const std::string& name) const override { return name; }
    bool exportListName(const std::string& typed, std::string& name) const override {
        name = typed;
        return true;
    }
    PathState lookUp(const std::string& path, std::string& reason) override;
    std::string lastFailure() const override { return failure; }
    bool listDirectory(const std::string& path, std::vector<std::string>& names) override;
    std::string followedPath(const std::string& path) override { return path; }
    bool copyAccess(const std::string&, const std::string&) override { return true; }
    void catchInterrupts() override { catching = true; }
    bool interrupted() const override { return interruptNoted; }
    // A clock the test sets; each reading moves it one second on.
    std::int64_t secondsNow() const override { return seconds++; }
    mutable std::int64_t seconds = 1700000000;
    // Each reading moves this clock on by `tick` milliseconds.
    std::int64_t steadyMilliseconds() const override { return milliseconds += tick; }
    mutable std::int64_t milliseconds = 0;
    std::int64_t tick = 0;
    std::string foundPath(const std::string& path, NameCase) override { return path; }

    bool parentExists(const std::string& path) const;
    bool isUnsearchable(const std::string& path) const;
    // Records a change to a file: a new time, and not yet durable.
    void changed(const std::string& path);
};

class CapturedConsole : public Console {
public:
    std::string text;
    void print(std::string_view more) override { text.append(more); }
};

// A read-only stream over bytes, for feeding the list reader directly.
class MemoryReadFile : public ReadFile {
public:
    explicit MemoryReadFile(Bytes bytes, std::size_t maxChunk = SIZE_MAX)
        : bytes_(std::move(bytes)), maxChunk_(maxChunk) {}
    bool measure(std::int64_t& size) override;
    std::size_t read(std::span<std::byte> buffer) override;
    bool failed() const override { return false; }
    bool readAt(std::int64_t offset, std::span<std::byte> buffer) override;

private:
    Bytes bytes_;
    std::size_t position_ = 0;
    std::size_t maxChunk_;
};

}  // namespace quill::testing
