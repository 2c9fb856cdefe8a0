#include "support/memory_host.h"

#include <algorithm>

namespace quill::testing {
namespace {

// Writes go at the end of the file as it stands at each write (bytes written
// after the file was removed or renamed away are lost).
class MemoryWriteFile : public WriteFile {
public:
    MemoryWriteFile(MemoryHost& host, std::string path, bool failing)
        : host_(host), path_(std::move(path)), failing_(failing) {}
    bool write(std::span<const std::byte> bytes) override {
        if (failing_) return false;
        const auto found = host_.files.find(path_);
        if (found == host_.files.end()) return true;
        found->second.insert(found->second.end(), bytes.begin(), bytes.end());
        host_.changed(path_);
        return true;
    }
    bool makeDurable() override {
        if (failing_) return false;
        host_.unsynced.erase(path_);
        return true;
    }
    bool close() override { return !failing_; }

private:
    MemoryHost& host_;
    std::string path_;
    bool failing_;
};

class MemoryLock : public FileLock {
public:
    MemoryLock(std::set<std::string>& locked, std::string path) : locked_(locked), path_(std::move(path)) {}
    ~MemoryLock() override { locked_.erase(path_); }
    MemoryLock(const MemoryLock&) = delete;
    MemoryLock& operator=(const MemoryLock&) = delete;

private:
    std::set<std::string>& locked_;
    std::string path_;
};

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

Bytes toBytes(std::string_view text) {
    Bytes bytes(text.size());
    std::transform(text.begin(), text.end(), bytes.begin(), [](char c) { return static_cast<std::byte>(c); });
    return bytes;
}

std::string toText(const Bytes& bytes) { return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()); }

bool MemoryReadFile::measure(std::int64_t& size) {
    size = static_cast<std::int64_t>(bytes_.size());
    position_ = 0;
    return true;
}

std::size_t MemoryReadFile::read(std::span<std::byte> buffer) {
    const std::size_t count = std::min({buffer.size(), bytes_.size() - position_, maxChunk_});
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
    position_ += count;
    return count;
}

bool MemoryReadFile::readAt(std::int64_t offset, std::span<std::byte> buffer) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) > bytes_.size() ||
        buffer.size() > bytes_.size() - static_cast<std::size_t>(offset)) {
        return false;
    }
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
    return true;
}

bool MemoryHost::parentExists(const std::string& path) const {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos || directories.count(path.substr(0, slash)) != 0;
}

void MemoryHost::makeDirectory(const std::string& path) {
    directoryAttempts.push_back(path);
    if (!path.empty() && parentExists(path) && files.count(path) == 0) directories.insert(path);
}

bool MemoryHost::isUnsearchable(const std::string& path) const {
    for (const std::string& closed : unsearchable) {
        if (path.size() > closed.size() && path.compare(0, closed.size(), closed) == 0 &&
            (path[closed.size()] == '\\' || closed.back() == '\\')) {
            return true;
        }
    }
    return false;
}

bool MemoryHost::listDirectory(const std::string& path, std::vector<std::string>& names) {
    if (isUnsearchable(path) || directories.count(path) == 0) {
        failure = directories.count(path) == 0 ? "No such file or directory" : "Permission denied";
        return false;
    }
    names.clear();
    const std::string prefix = path + "\\";
    const auto collect = [&](const std::string& item) {
        if (item.starts_with(prefix) && item.find('\\', prefix.size()) == std::string::npos) {
            names.push_back(item.substr(prefix.size()));
        }
    };
    for (const auto& [file, bytes] : files) collect(file);
    for (const std::string& directory : directories) collect(directory);
    return true;
}

PathState MemoryHost::lookUp(const std::string& path, std::string& reason) {
    if (isUnsearchable(path)) {
        failure = reason = "Permission denied";
        return PathState::unknown;
    }
    if (files.count(path) != 0) return PathState::file;
    if (directories.count(path) != 0) return PathState::notAFile;
    return PathState::missing;
}

std::unique_ptr<ReadFile> MemoryHost::openForReading(const std::string& path, NameCase) {
    ++readOpens[path];
    if (isUnsearchable(path)) {
        failure = "Permission denied";
        return nullptr;
    }
    const auto found = files.find(path);
    if (found == files.end()) {
        failure = "No such file or directory";
        return nullptr;
    }
    return std::make_unique<MemoryReadFile>(found->second);
}

std::unique_ptr<WriteFile> MemoryHost::createForWriting(const std::string& path) {
    if (!parentExists(path) || directories.count(path) != 0) return nullptr;
    files[path].clear();
    changed(path);
    return std::make_unique<MemoryWriteFile>(*this, path, unwritable.count(path) != 0);
}

void MemoryHost::changed(const std::string& path) {
    times[path] = ++clock;
    unsynced.insert(path);
}

std::unique_ptr<WriteFile> MemoryHost::openForAppending(const std::string& path, NameCase, std::int64_t& size) {
    const auto found = files.find(path);
    if (found == files.end()) return nullptr;
    size = static_cast<std::int64_t>(found->second.size());
    return std::make_unique<MemoryWriteFile>(*this, path, unwritable.count(path) != 0);
}

ReplaceResult MemoryHost::replaceFile(const std::string& from, const std::string& to) {
    const auto source = files.find(from);
    if (source == files.end() || directoryOf(from) != directoryOf(to) || directories.count(to) != 0) {
        return ReplaceResult::notReplaced;
    }
    if (from == to) return ReplaceResult::replaced;
    // The file renamed over is gone either way: its own durability does not matter.
    for (const std::string& pending : unsynced) {
        if (pending != to) renamesBeforeDurable.push_back(from + " -> " + to + " while " + pending + " unsynced");
    }
    Bytes bytes = std::move(source->second);
    files.erase(source);
    files[to] = std::move(bytes);
    // The file keeps its time and its durability; only the name changes.
    times[to] = times[from];
    times.erase(from);
    const bool durable = unsynced.erase(from) == 0;
    if (durable) {
        unsynced.erase(to);
    } else {
        unsynced.insert(to);
    }
    return ReplaceResult::replaced;
}

std::unique_ptr<FileLock> MemoryHost::lockExclusive(const std::string& path, NameCase, LockWait) {
    if (files.count(path) == 0) return nullptr;
    if (!locked.insert(path).second) {
        failure = kLockHeldReason;
        return nullptr;
    }
    return std::make_unique<MemoryLock>(locked, path);
}

std::unique_ptr<FileLock> MemoryHost::lockCreating(const std::string& path, bool& created) {
    created = false;
    const bool made = files.count(path) == 0;
    if (made) {
        if (!parentExists(path) || directories.count(path) != 0) return nullptr;
        files[path];
        changed(path);
    }
    auto lock = lockExclusive(path, NameCase::exact, LockWait::no);
    created = made && lock != nullptr;
    return lock;
}

bool MemoryHost::cutBack(const std::string& path, NameCase, std::int64_t length) {
    const auto found = files.find(path);
    if (found == files.end() || length < 0 || length > static_cast<std::int64_t>(found->second.size())) return false;
    found->second.resize(static_cast<std::size_t>(length));
    changed(path);
    return true;
}

bool MemoryHost::readModificationTime(const std::string& path, NameCase, FileTime& time) {
    if (files.count(path) == 0) return false;
    const auto found = times.find(path);
    time.ticks = found == times.end() ? 0 : found->second;
    return true;
}

bool MemoryHost::removeFile(const std::string& path) {
    times.erase(path);
    unsynced.erase(path);
    return files.erase(path) != 0;
}

}  // namespace quill::testing
