// POSIX side of the host: the tool's Windows paths become POSIX paths here.
// Linux extras (large pages, prefaulting) are used where the headers offer
// them; everything else is POSIX.1-2008 or, for flock, BSD-derived and
// present on Linux, the BSDs, macOS and the commercial Unixes.
#include "common/ascii_case.h"
#include "host/host.h"
#include "host/stat_time.h"

#include <chrono>
#include <dirent.h>
#include <signal.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#if !defined(MAP_ANONYMOUS) && defined(MAP_ANON)
#define MAP_ANONYMOUS MAP_ANON  // the older BSD name
#endif

namespace quill {
namespace {

// The system's words for the last failure, kept where it happened: later
// calls (a close, a cleanup) would overwrite errno before a message is made.
thread_local std::string lastFailureText;

void noteFailure() { lastFailureText = std::strerror(errno); }

std::string toPosixPath(const std::string& path) {
    std::string result = path;
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

// Windows finds a file whatever the case of its name: every name in the
// directory that matches the last component ignoring ASCII case, in byte order.
std::vector<std::string> namesIgnoringCase(const std::string& posixPath) {
    const auto slash = posixPath.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : posixPath.substr(0, slash + 1);
    const std::string wanted = slash == std::string::npos ? posixPath : posixPath.substr(slash + 1);
    std::vector<std::string> found;
    if (wanted.empty()) return found;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return found;
    while (const dirent* item = readdir(dir)) {
        if (equalsIgnoringAsciiCase(wanted, item->d_name)) {
            found.push_back(slash == std::string::npos ? item->d_name : directory + item->d_name);
        }
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

// Never blocks on a FIFO with no writer: such a file then reads as empty, or
// cannot be measured, and the caller reports it.
int openForReadingAsTyped(const std::string& posixPath) {
    const int fd = ::open(posixPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
        ::close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

// A name found by the case-blind lookup counts only if it is a regular file.
// A device among the candidates is never opened; a FIFO that takes a regular
// file's place meanwhile must not block the run. `access` is O_RDONLY,
// O_WRONLY or O_WRONLY | O_APPEND.
int openRegularFile(const std::string& posixPath, int access) {
    struct stat info {};
    if (::stat(posixPath.c_str(), &info) != 0) return -1;
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return -1;
    }
    const int fd = ::open(posixPath.c_str(), access | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, access & O_APPEND) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The regular file at the path or, when asked and nothing is there, the first
// one whose name matches ignoring case, as openForReading finds a resource.
int openExistingRegularFile(const std::string& posixPath, NameCase nameCase, int access) {
    int fd = openRegularFile(posixPath, access);
    if (fd < 0 && errno == ENOENT && nameCase == NameCase::ignoreWhenMissing) {
        for (const auto& candidate : namesIgnoringCase(posixPath)) {
            fd = openRegularFile(candidate, access);
            if (fd >= 0) break;
        }
    }
    return fd;
}

// Closes a descriptor when it goes out of scope.
class OwnedDescriptor {
public:
    explicit OwnedDescriptor(int fd) : fd_(fd) {}
    ~OwnedDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// The directory part of a POSIX path, and the name in it.
std::string directoryOf(const std::string& posixPath) {
    const auto slash = posixPath.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : posixPath.substr(0, slash);
}

std::string nameIn(const std::string& posixPath) {
    const auto slash = posixPath.rfind('/');
    return slash == std::string::npos ? posixPath : posixPath.substr(slash + 1);
}

bool syncDescriptor(int fd) {
#ifdef F_FULLFSYNC
    // macOS: fsync only hands the data to the drive, which may keep it in
    // its cache; F_FULLFSYNC asks the drive to write it. Some file systems
    // refuse it, and then fsync is the best there is.
    if (::fcntl(fd, F_FULLFSYNC) == 0) return true;
#endif
    int result = 0;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// flock, not fcntl locks: an fcntl lock belongs to the process and goes the
// moment the process closes any descriptor of the file (reading the resource
// would drop it); a flock lock belongs to this descriptor alone.
class PosixFileLock final : public FileLock {
public:
    explicit PosixFileLock(int fd) : fd_(fd) {}
    ~PosixFileLock() override { ::close(fd_); }
    PosixFileLock(const PosixFileLock&) = delete;
    PosixFileLock& operator=(const PosixFileLock&) = delete;

private:
    int fd_;
};

// Anonymous memory for the resource image, given back with the object.
class AnonymousMemory final : public ImageMemory {
public:
    AnonymousMemory(void* address, std::size_t size) : address_(address), size_(size) {}
    ~AnonymousMemory() override { ::munmap(address_, size_); }
    AnonymousMemory(const AnonymousMemory&) = delete;
    AnonymousMemory& operator=(const AnonymousMemory&) = delete;
    std::byte* data() override { return static_cast<std::byte*>(address_); }

private:
    void* address_;
    std::size_t size_;
};

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
            if (got < 0) {
                failed_ = true;
                noteFailure();
            }
            if (got <= 0) break;
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

    bool failed() const override { return failed_; }

    bool readAt(std::int64_t offset, std::span<std::byte> buffer) override {
        std::size_t total = 0;
        while (total < buffer.size()) {
            const std::size_t chunk = std::min<std::size_t>(buffer.size() - total, SSIZE_MAX);
            const ssize_t got = ::pread(fd_, buffer.data() + total, chunk, static_cast<off_t>(offset) + static_cast<off_t>(total));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) noteFailure();
            if (got == 0) lastFailureText.clear();  // the end, sooner than asked: no system failure to tell
            if (got <= 0) return false;
            total += static_cast<std::size_t>(got);
        }
        return true;
    }

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
            if (put == 0) errno = ENOSPC;
            if (put <= 0) {
                noteFailure();
                return false;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(put));
        }
        return true;
    }

    bool makeDurable() override {
        if (syncDescriptor(fd_)) return true;
        noteFailure();
        return false;
    }

    bool close() override {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) == 0) return true;
        noteFailure();
        return false;
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
    // Most runs write into a fresh directory: nothing there, one call.
    const int fresh = createFreshFile(path);
    if (fresh >= 0 || errno != EAGAIN) return fresh;
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

// Whether the file a lookup of the path takes now is `locked`.
bool stillAt(const std::string& posixPath, NameCase nameCase, const struct stat& locked) {
    struct stat info {};
    if (::stat(posixPath.c_str(), &info) == 0) return isSameFile(info, locked);
    if (errno != ENOENT || nameCase != NameCase::ignoreWhenMissing) return false;
    for (const auto& candidate : namesIgnoringCase(posixPath)) {
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return isSameFile(info, locked);
    }
    return false;
}

// A lock on a file that was renamed over meanwhile guards nothing: after
// locking, the path must still lead to the file locked, or it is tried again.
// Opens the file to lock; with `create`, makes it when nothing is there and
// says whether it did (O_EXCL first: only a file this call made is its own).
int openToLock(const std::string& posixPath, NameCase nameCase, bool create, bool& created) {
    created = false;
    if (!create) return openExistingRegularFile(posixPath, nameCase, O_RDONLY);
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const int made = ::open(posixPath.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
    if (made >= 0 || errno != EEXIST) {
        created = made >= 0;
        return made;
    }
    return ::open(posixPath.c_str(), kFlags);
}

// A lock on a file that was renamed over meanwhile guards nothing: after
// locking, the path must still lead to the file locked, or it is tried again.
std::unique_ptr<FileLock> lockAt(const std::string& posixPath, NameCase nameCase, LockWait wait, bool create,
                                 bool& created) {
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        OwnedDescriptor fd(openToLock(posixPath, nameCase, create, created));
        struct stat locked {};
        if (!fd.valid() || ::fstat(fd.get(), &locked) != 0) {
            noteFailure();
            return nullptr;
        }
        if (!S_ISREG(locked.st_mode)) {
            errno = EINVAL;
            noteFailure();
            return nullptr;
        }
        const int operation = wait == LockWait::yes ? LOCK_EX : LOCK_EX | LOCK_NB;
        int result = 0;
        do {
            result = ::flock(fd.get(), operation);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            if (errno == EWOULDBLOCK) {
                lastFailureText = kLockHeldReason;
            } else {
                noteFailure();
            }
            // Made here but taken by another first: it is that holder's now.
            created = false;
            return nullptr;
        }
        if (stillAt(posixPath, nameCase, locked)) return std::make_unique<PosixFileLock>(fd.release());
    }
    created = false;
    errno = EAGAIN;
    noteFailure();
    return nullptr;
}

volatile std::sig_atomic_t interruptNoted = 0;

// The first interrupt is noted; a second one does what it would have done.
extern "C" void noteInterrupt(int signal) {
    if (interruptNoted != 0) {
        (void)::signal(signal, SIG_DFL);
        (void)::raise(signal);
        return;
    }
    interruptNoted = 1;
}

class PosixHost final : public Host {
public:
    NameRules nameRules() const override { return NameRules::posix; }

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
        int fd = openForReadingAsTyped(posixPath);
        if (fd < 0 && errno == ENOENT && nameCase == NameCase::ignoreWhenMissing) {
            for (const auto& candidate : namesIgnoringCase(posixPath)) {
                fd = openRegularFile(candidate, O_RDONLY);
                if (fd >= 0) break;
            }
        }
        if (fd < 0) {
            noteFailure();
            return nullptr;
        }
        return std::make_unique<PosixReadFile>(fd);
    }

#ifdef MAP_ANONYMOUS
    // Filling a fresh gigabyte one small page fault at a time costs several
    // times what reading it does; large pages, made present in one call, do not.
    std::unique_ptr<ImageMemory> allocate(std::size_t size) override {
        void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (address == MAP_FAILED) return nullptr;
        auto memory = std::make_unique<AnonymousMemory>(address, size);
#ifdef MADV_HUGEPAGE
        (void)::madvise(address, size, MADV_HUGEPAGE);  // a hint: fine where the system declines
#endif
#ifdef MADV_POPULATE_WRITE
        // Memory the system says it cannot give shows here as an allocation
        // failure; an older kernel's EINVAL only means no prefault.
        if (::madvise(address, size, MADV_POPULATE_WRITE) != 0 && errno == ENOMEM) return nullptr;
#endif
        return memory;
    }
#endif

    std::unique_ptr<WriteFile> createForWriting(const std::string& path) override {
        const int fd = openOutput(toPosixPath(path));
        if (fd < 0) {
            noteFailure();
            return nullptr;
        }
        return std::make_unique<PosixWriteFile>(fd);
    }

    std::unique_ptr<WriteFile> openForAppending(const std::string& path, NameCase nameCase,
                                                std::int64_t& size) override {
        OwnedDescriptor fd(openExistingRegularFile(toPosixPath(path), nameCase, O_WRONLY | O_APPEND));
        struct stat info {};
        if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
            noteFailure();
            return nullptr;
        }
        size = info.st_size;
        return std::make_unique<PosixWriteFile>(fd.release());
    }

    // rename(2) swaps the name in one step; fsync of the directory then makes
    // the new entry survive a crash of the machine. The directory is opened
    // first, so a directory that cannot be synced stops the replace before
    // anything changes, and the rename happens in the directory synced.
    ReplaceResult replaceFile(const std::string& from, const std::string& to) override {
        const std::string posixFrom = toPosixPath(from);
        const std::string posixTo = toPosixPath(to);
        if (directoryOf(posixFrom) != directoryOf(posixTo)) {
            lastFailureText = "not in one directory";
            return ReplaceResult::notReplaced;
        }
        const OwnedDescriptor directory(::open(directoryOf(posixTo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!directory.valid() ||
            ::renameat(directory.get(), nameIn(posixFrom).c_str(), directory.get(), nameIn(posixTo).c_str()) != 0) {
            noteFailure();
            return ReplaceResult::notReplaced;
        }
        if (syncDescriptor(directory.get())) return ReplaceResult::replaced;
        noteFailure();
        return ReplaceResult::replacedNotDurable;
    }

    std::unique_ptr<FileLock> lockExclusive(const std::string& path, NameCase nameCase, LockWait wait) override {
        bool created = false;
        return lockAt(toPosixPath(path), nameCase, wait, false, created);
    }

    std::unique_ptr<FileLock> lockCreating(const std::string& path, bool& created) override {
        return lockAt(toPosixPath(path), NameCase::exact, LockWait::no, true, created);
    }

    bool cutBack(const std::string& path, NameCase nameCase, std::int64_t length) override {
        const OwnedDescriptor fd(openExistingRegularFile(toPosixPath(path), nameCase, O_WRONLY));
        struct stat info {};
        if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || length < 0 || length > info.st_size) return false;
        int result = 0;
        do {
            result = ::ftruncate(fd.get(), static_cast<off_t>(length));
        } while (result != 0 && errno == EINTR);
        return result == 0;
    }

    bool readModificationTime(const std::string& path, NameCase nameCase, FileTime& time) override {
        const std::string posixPath = toPosixPath(path);
        struct stat info {};
        bool found = ::stat(posixPath.c_str(), &info) == 0;
        if (!found && errno == ENOENT && nameCase == NameCase::ignoreWhenMissing) {
            for (const auto& candidate : namesIgnoringCase(posixPath)) {
                found = ::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode);
                if (found) break;
            }
        }
        if (!found || !S_ISREG(info.st_mode)) return false;
        time.ticks = modificationNanoseconds(info);
        return true;
    }

    bool removeFile(const std::string& path) override {
        if (::unlink(toPosixPath(path).c_str()) == 0) return true;
        noteFailure();
        return false;
    }

    std::string importListName(const std::string& name) const override { return name; }
    bool exportListName(const std::string& typed, std::string& name) const override {
        name = typed;
        return true;
    }

    PathState lookUp(const std::string& path, std::string& reason) override {
        struct stat info {};
        if (::lstat(toPosixPath(path).c_str(), &info) == 0) {
            if (S_ISLNK(info.st_mode)) return PathState::link;
            return S_ISREG(info.st_mode) ? PathState::file : PathState::notAFile;
        }
        if (errno == ENOENT) return PathState::missing;
        noteFailure();
        reason = lastFailureText;
        return PathState::unknown;
    }

    std::string lastFailure() const override { return lastFailureText; }

    void catchInterrupts() override {
        struct sigaction action {};
        action.sa_handler = noteInterrupt;
        sigemptyset(&action.sa_mask);
        // Blocking calls go on: the flag is looked at between steps.
        action.sa_flags = SA_RESTART;
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            // One the caller chose to ignore (nohup, a script's background job) stays ignored.
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
            (void)::sigaction(signal, &action, nullptr);
        }
    }

    bool interrupted() const override { return interruptNoted != 0; }

    std::int64_t secondsNow() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    }

    std::int64_t steadyMilliseconds() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }

    bool listDirectory(const std::string& path, std::vector<std::string>& names) override {
        DIR* dir = ::opendir(toPosixPath(path).c_str());
        if (dir == nullptr) {
            noteFailure();
            return false;
        }
        names.clear();
        errno = 0;
        while (const dirent* item = ::readdir(dir)) {
            const std::string_view name = item->d_name;
            if (name != "." && name != "..") names.emplace_back(name);
        }
        const bool complete = errno == 0;
        if (!complete) noteFailure();
        ::closedir(dir);
        return complete;
    }

    std::string followedPath(const std::string& path) override {
        std::string posixPath = toPosixPath(path);
        // As many links as the system itself follows before it gives up.
        for (int hop = 0; hop < 40; ++hop) {
            struct stat info {};
            if (::lstat(posixPath.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
            std::string target(PATH_MAX, '\0');
            const ssize_t length = ::readlink(posixPath.c_str(), target.data(), target.size());
            if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) break;
            target.resize(static_cast<std::size_t>(length));
            // The tool's own path form takes '\\' for a separator, which on
            // Linux is a letter of a name: such a target cannot be named.
            if (target.find('\\') != std::string::npos) return {};
            const auto slash = posixPath.rfind('/');
            posixPath = target.front() == '/' || slash == std::string::npos ? target : posixPath.substr(0, slash + 1) + target;
        }
        std::replace(posixPath.begin(), posixPath.end(), '/', '\\');
        return posixPath;
    }

    bool copyAccess(const std::string& from, const std::string& to) override {
        struct stat info {};
        const std::string posixTo = toPosixPath(to);
        if (::stat(toPosixPath(from).c_str(), &info) != 0 || ::chmod(posixTo.c_str(), info.st_mode & 07777) != 0) {
            noteFailure();
            return false;
        }
        // Only root may give a file away; a group of the user's own it may set.
        if (::geteuid() == 0) {
            (void)::chown(posixTo.c_str(), info.st_uid, info.st_gid);
        } else {
            (void)::chown(posixTo.c_str(), static_cast<uid_t>(-1), info.st_gid);
        }
        return true;
    }

    std::string foundPath(const std::string& path, NameCase nameCase) override {
        const std::string posixPath = toPosixPath(path);
        struct stat info {};
        if (nameCase == NameCase::exact || ::stat(posixPath.c_str(), &info) == 0 || errno != ENOENT) return path;
        for (const auto& candidate : namesIgnoringCase(posixPath)) {
            if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
                // Back in the tool's form; only the last component's case differs.
                return path.substr(0, path.size() - nameIn(candidate).size()) + nameIn(candidate);
            }
        }
        return path;
    }

    bool sameFile(const std::string& a, const std::string& b, NameCase bCase) override {
        struct stat first {};
        struct stat second {};
        if (::stat(toPosixPath(a).c_str(), &first) != 0) return false;
        const std::string posixB = toPosixPath(b);
        if (::stat(posixB.c_str(), &second) != 0) {
            if (errno != ENOENT || bCase != NameCase::ignoreWhenMissing) return false;
            // The file the case-blind lookup would take.
            bool found = false;
            for (const auto& candidate : namesIgnoringCase(posixB)) {
                if (::stat(candidate.c_str(), &second) == 0 && S_ISREG(second.st_mode)) {
                    found = true;
                    break;
                }
            }
            if (!found) return false;
        }
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
};

}  // namespace

Host& systemHost() {
    static PosixHost host;
    return host;
}

void ignoreSignalsThatEndRuns() {
    // A reader that goes away: the console is a side channel, the unpacking goes on.
    (void)::signal(SIGPIPE, SIG_IGN);
#ifdef SIGXFSZ
    // A file-size limit: the short write becomes the entry's own failure status.
    (void)::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace quill
