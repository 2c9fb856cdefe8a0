// Linux side of the host: the tool's Windows paths become POSIX paths here.
#include "common/ascii_case.h"
#include "host/host.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>

namespace quill {
namespace {

std::string toPosixPath(const std::string& path) {
    std::string result = path;
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

// Windows finds a file whatever the case of its name; look for the first
// name in byte order that matches the last component ignoring ASCII case.
std::optional<std::string> findIgnoringCase(const std::string& posixPath) {
    const auto slash = posixPath.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : posixPath.substr(0, slash + 1);
    const std::string wanted = slash == std::string::npos ? posixPath : posixPath.substr(slash + 1);
    if (wanted.empty()) return std::nullopt;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* item = readdir(dir)) {
        if (equalsIgnoringAsciiCase(wanted, item->d_name) && (!best || *best > item->d_name)) {
            best = item->d_name;
        }
    }
    closedir(dir);
    if (!best) return std::nullopt;
    return slash == std::string::npos ? *best : directory + *best;
}

int openRegularForReading(const std::string& posixPath) {
    const int fd = ::open(posixPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

class PosixReadFile final : public ReadFile {
public:
    explicit PosixReadFile(int fd) : fd_(fd) {}
    ~PosixReadFile() override { ::close(fd_); }
    PosixReadFile(const PosixReadFile&) = delete;
    PosixReadFile& operator=(const PosixReadFile&) = delete;

    bool measure(std::int64_t& size) override {
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        if (end < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return false;
        size = end;
        return true;
    }

    std::size_t read(std::span<std::byte> buffer) override {
        std::size_t total = 0;
        while (total < buffer.size()) {
            const std::size_t chunk = std::min<std::size_t>(buffer.size() - total, SSIZE_MAX);
            const ssize_t got = ::read(fd_, buffer.data() + total, chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) failed_ = true;
            if (got <= 0) break;
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

    bool failed() const override { return failed_; }

private:
    int fd_;
    bool failed_ = false;
};

class PosixWriteFile final : public WriteFile {
public:
    explicit PosixWriteFile(int fd) : fd_(fd) {}
    ~PosixWriteFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    PosixWriteFile(const PosixWriteFile&) = delete;
    PosixWriteFile& operator=(const PosixWriteFile&) = delete;

    bool write(std::span<const std::byte> bytes) override {
        while (!bytes.empty()) {
            const std::size_t chunk = std::min<std::size_t>(bytes.size(), SSIZE_MAX);
            const ssize_t put = ::write(fd_, bytes.data(), chunk);
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return false;
            bytes = bytes.subspan(static_cast<std::size_t>(put));
        }
        return true;
    }

    bool close() override {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// An output file is only ever a regular file of its own. A single-link regular
// file already at the path is truncated and reused, as fopen "wb" would;
// anything else there (a symlink, another hard link's copy, a FIFO, a socket,
// a device) is removed and a new file created without following links, so the
// run never writes outside its directory or into a device. Directories on the
// way are still followed: the user may point "data" elsewhere on purpose.

bool isOwnRegularFile(const struct stat& info) { return S_ISREG(info.st_mode) && info.st_nlink == 1; }

bool isSameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Opens the file lstat saw, checking that it is still that file before it is
// truncated. O_NONBLOCK: a FIFO swapped in meanwhile must not block the open.
// -1 with errno EAGAIN when the path changed under us.
int reuseRegularFile(const char* path, const struct stat& seen) {
    const int fd = ::open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ELOOP || errno == ENXIO) errno = EAGAIN;
        return -1;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !isOwnRegularFile(opened) || !isSameFile(opened, seen)) {
        ::close(fd);
        errno = EAGAIN;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// -1 with errno EAGAIN when something appeared at the path meanwhile.
int createFreshFile(const char* path) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) errno = EAGAIN;
    return fd;
}

int openOutputOnce(const char* path) {
    struct stat seen {};
    if (::lstat(path, &seen) != 0) return errno == ENOENT ? createFreshFile(path) : -1;
    if (S_ISDIR(seen.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    if (isOwnRegularFile(seen)) return reuseRegularFile(path, seen);
    if (::unlink(path) != 0 && errno != ENOENT) return -1;
    return createFreshFile(path);
}

int openOutput(const std::string& posixPath) {
    // Another process keeps changing the path: give up rather than spin.
    constexpr int kAttempts = 8;
    int fd = -1;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        fd = openOutputOnce(posixPath.c_str());
        if (fd >= 0 || errno != EAGAIN) break;
    }
    return fd;
}

class PosixHost final : public Host {
public:
    std::string importArgumentPath(const std::string& typed) override {
        // The user types Linux paths; the tool's rules work on Windows separators.
        std::string result = typed;
        std::replace(result.begin(), result.end(), '/', '\\');
        return result;
    }

    void makeDirectory(const std::string& path) override {
        (void)::mkdir(toPosixPath(path).c_str(), 0777);
    }

    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override {
        const std::string posixPath = toPosixPath(path);
        int fd = openRegularForReading(posixPath);
        if (fd < 0 && errno == ENOENT && nameCase == NameCase::ignoreWhenMissing) {
            if (const auto found = findIgnoringCase(posixPath)) fd = openRegularForReading(*found);
        }
        if (fd < 0) return nullptr;
        return std::make_unique<PosixReadFile>(fd);
    }

    std::unique_ptr<WriteFile> createForWriting(const std::string& path) override {
        const int fd = openOutput(toPosixPath(path));
        if (fd < 0) return nullptr;
        return std::make_unique<PosixWriteFile>(fd);
    }
};

}  // namespace

Host& systemHost() {
    static PosixHost host;
    return host;
}

}  // namespace quill
