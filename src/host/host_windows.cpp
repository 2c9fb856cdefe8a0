// Windows side of the host: paths are used as typed, through the wide (*W)
// calls, so a name outside the ANSI code page can be reached. (The API calls
// are spelt ::ReadFile and ::WriteFile: the tool has classes of those names.)
#include "host/host.h"

#define WIN32_LEAN_AND_MEAN
#include <chrono>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "host/utf16.h"

namespace quill {
namespace {

// The system's words for the last failure, kept where it happened: later
// calls (a close, a cleanup) may overwrite the error code before a message is made.
thread_local std::string lastFailureText;

// The errors file operations usually meet are worded as the C runtime and the
// Linux build word them; the rest as the system does.
void noteFailure() {
    const DWORD error = GetLastError();
    int code = 0;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: code = ENOENT; break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: code = EACCES; break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: code = ENOSPC; break;
        case ERROR_FILENAME_EXCED_RANGE: code = ENAMETOOLONG; break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: code = EEXIST; break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: code = ENOMEM; break;
        default: break;
    }
    if (code != 0) {
        lastFailureText = std::strerror(code);
        return;
    }
    wchar_t text[512] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  static_cast<DWORD>(std::size(text)), nullptr);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.')) {
        --length;
    }
    lastFailureText = length > 0 ? utf8FromUtf16(std::u16string(text, text + length))
                                 : "system error " + std::to_string(error);
}

// Notes why the operation at hand failed and passes its result on.
template <class Result>
Result noted(Result result) {
    noteFailure();
    return result;
}

// A tool path (UTF-8) as the system's UTF-16. Bytes that are not such text
// name no file: every call given them fails, and nothing is created under a
// mangled name. A path stays within MAX_PATH, as Windows keeps a program
// without long-path support (Wine's wide calls alone would take more).
class WidePath {
public:
    explicit WidePath(const std::string& path) {
        std::u16string units;
        if (!utf16FromUtf8(path, units)) {
            SetLastError(ERROR_INVALID_NAME);
        } else if (units.size() >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
        } else {
            wide_.assign(units.begin(), units.end());
            valid_ = true;
        }
    }
    bool valid() const { return valid_; }
    const wchar_t* get() const { return wide_.c_str(); }

private:
    std::wstring wide_;
    bool valid_ = false;
};

constexpr std::size_t kMaxChunk = 1u << 30;  // ReadFile and WriteFile take a DWORD count

class WindowsReadFile final : public ReadFile {
public:
    explicit WindowsReadFile(HANDLE handle) : handle_(handle) {}
    ~WindowsReadFile() override { CloseHandle(handle_); }
    WindowsReadFile(const WindowsReadFile&) = delete;
    WindowsReadFile& operator=(const WindowsReadFile&) = delete;

    bool measure(std::int64_t& size) override {
        LARGE_INTEGER zero{};
        LARGE_INTEGER end{};
        if (!SetFilePointerEx(handle_, zero, &end, FILE_END)) return false;
        if (!SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN)) return false;
        size = end.QuadPart;
        return true;
    }

    std::size_t read(std::span<std::byte> buffer) override {
        std::size_t total = 0;
        while (total < buffer.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min(buffer.size() - total, kMaxChunk));
            DWORD got = 0;
            if (!::ReadFile(handle_, buffer.data() + total, chunk, &got, nullptr)) {
                failed_ = true;
                noteFailure();
                break;
            }
            if (got == 0) break;
            total += got;
        }
        return total;
    }

    bool failed() const override { return failed_; }

    // An offset given with each read: the handle's own position is not
    // relied on, so threads may read at once.
    bool readAt(std::int64_t offset, std::span<std::byte> buffer) override {
        std::size_t total = 0;
        while (total < buffer.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min(buffer.size() - total, kMaxChunk));
            const std::uint64_t at = static_cast<std::uint64_t>(offset) + total;
            OVERLAPPED where{};
            where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
            where.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD got = 0;
            if (!::ReadFile(handle_, buffer.data() + total, chunk, &got, &where)) {
                if (GetLastError() == ERROR_HANDLE_EOF) {
                    lastFailureText.clear();
                } else {
                    noteFailure();
                }
                return false;
            }
            if (got == 0) {
                lastFailureText.clear();  // the end, sooner than asked: no system failure to tell
                return false;
            }
            total += got;
        }
        return true;
    }

private:
    HANDLE handle_;
    bool failed_ = false;
};

class WindowsWriteFile final : public WriteFile {
public:
    explicit WindowsWriteFile(HANDLE handle) : handle_(handle) {}
    ~WindowsWriteFile() override {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    WindowsWriteFile(const WindowsWriteFile&) = delete;
    WindowsWriteFile& operator=(const WindowsWriteFile&) = delete;

    bool write(std::span<const std::byte> bytes) override {
        while (!bytes.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kMaxChunk));
            DWORD put = 0;
            if (!::WriteFile(handle_, bytes.data(), chunk, &put, nullptr)) return noted(false);
            if (put == 0) {
                SetLastError(ERROR_HANDLE_DISK_FULL);
                return noted(false);
            }
            bytes = bytes.subspan(put);
        }
        return true;
    }

    bool makeDurable() override { return FlushFileBuffers(handle_) != 0 || noted(false); }

    bool close() override {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != 0 || noted(false);
    }

private:
    HANDLE handle_;
};

// Shared as the C runtime's fopen shares: other programs may go on reading and
// writing a file the tool has open, and the tool may open one they hold.
constexpr DWORD kShareLikeFopen = FILE_SHARE_READ | FILE_SHARE_WRITE;

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() {
        if (valid()) CloseHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    HANDLE release() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE handle_;
};

// The directory part of a path, '\\' and '/' both separating, as the tool's rules read them.
std::string directoryOf(const std::string& path) {
    const auto separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

// A byte range lock on Windows is mandatory: it keeps every other handle,
// this process's own included, from reading or writing the bytes it covers.
// So the lock covers one byte far beyond any file the tool handles, which no
// one reads or writes, and the file's bytes stay open to all.
constexpr DWORD kLockOffsetHigh = 0x40000000;  // byte 2^62

class WindowsFileLock final : public FileLock {
public:
    explicit WindowsFileLock(HANDLE handle) : handle_(handle) {}
    ~WindowsFileLock() override {
        OVERLAPPED where{};
        where.OffsetHigh = kLockOffsetHigh;
        (void)UnlockFileEx(handle_, 0, 1, 0, &where);
        CloseHandle(handle_);
    }
    WindowsFileLock(const WindowsFileLock&) = delete;
    WindowsFileLock& operator=(const WindowsFileLock&) = delete;

private:
    HANDLE handle_;
};

bool isFileThere(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isPlainFile(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// An output file is only ever a file of its own. A plain single-link file
// already at the path is truncated and reused, as fopen "wb" would; anything
// else there (a symlink or junction, another hard link's copy, a device) is
// removed and a new file created, so the run never writes through a link or
// into a device. Directories on the way are still followed.

enum class Kind { ownFile, directory, other };

struct Seen {
    Kind kind = Kind::other;
    DWORD attributes = 0;
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

Seen inspect(HANDLE handle) {
    Seen seen;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) return seen;
    seen.attributes = info.dwFileAttributes;
    seen.volume = info.dwVolumeSerialNumber;
    seen.indexHigh = info.nFileIndexHigh;
    seen.indexLow = info.nFileIndexLow;
    if ((seen.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return seen;
    if ((seen.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        seen.kind = Kind::directory;
    } else if (info.nNumberOfLinks == 1) {
        seen.kind = Kind::ownFile;
    }
    return seen;
}

bool isSameFile(const Seen& a, const Seen& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

// Looks at whatever is at the path itself (a link, not its target) without
// reading or writing it. False when nothing could be opened there.
bool look(const wchar_t* path, Seen& seen) {
    const OwnedHandle probe(CreateFileW(path, FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!probe.valid()) return false;
    seen = inspect(probe.get());
    return true;
}

// Opens the file look() saw, checking it is still that file before truncating.
HANDLE reuseOwnFile(const wchar_t* path, const Seen& seen, bool& again) {
    OwnedHandle file(CreateFileW(path, GENERIC_WRITE, kShareLikeFopen, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        again = GetLastError() == ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    const Seen opened = inspect(file.get());
    if (opened.kind != Kind::ownFile || !isSameFile(opened, seen)) {
        again = true;
        return INVALID_HANDLE_VALUE;
    }
    if (!SetEndOfFile(file.get())) return INVALID_HANDLE_VALUE;
    return file.release();
}

HANDLE createNewFile(const wchar_t* path, bool& again) {
    const HANDLE handle = CreateFileW(path, GENERIC_WRITE, kShareLikeFopen, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        again = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    }
    return handle;
}

// Removes a link (a directory symlink or junction goes with RemoveDirectory,
// which takes the link and leaves its target), another hard link's copy or a
// device's name.
bool removeInTheWay(const wchar_t* path, const Seen& seen) {
    const BOOL removed =
        (seen.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(path) : DeleteFileW(path);
    return removed || GetLastError() == ERROR_FILE_NOT_FOUND;
}

// `again` says the path changed meanwhile and another attempt may succeed.
HANDLE openOutputOnce(const wchar_t* path, bool& again) {
    again = false;
    Seen seen;
    if (!look(path, seen)) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? createNewFile(path, again) : INVALID_HANDLE_VALUE;
    }
    switch (seen.kind) {
        case Kind::ownFile:
            // fopen "wb" refuses a hidden or system file; so does the tool.
            if ((seen.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) return INVALID_HANDLE_VALUE;
            return reuseOwnFile(path, seen, again);
        case Kind::directory: return INVALID_HANDLE_VALUE;
        case Kind::other: break;
    }
    if (!removeInTheWay(path, seen)) return INVALID_HANDLE_VALUE;
    return createNewFile(path, again);
}

HANDLE openOutput(const wchar_t* path) {
    // Another program keeps changing the path: give up rather than spin.
    constexpr int kAttempts = 8;
    bool again = true;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kAttempts && again; ++attempt) handle = openOutputOnce(path, again);
    return handle;
}

// A file's identity, following links; false when it cannot be opened.
bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const WidePath wide(path);
    if (!wide.valid()) return false;
    const HANDLE handle = CreateFileW(wide.get(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return known;
}

// Takes the byte-range lock that marks an archive in use; false with the
// reason noted.
bool lockHandle(HANDLE file, LockWait wait) {
    OVERLAPPED where{};
    where.OffsetHigh = kLockOffsetHigh;
    const DWORD flags =
        wait == LockWait::yes ? LOCKFILE_EXCLUSIVE_LOCK : LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    if (LockFileEx(file, flags, 0, 1, 0, &where)) return true;
    if (GetLastError() == ERROR_LOCK_VIOLATION) {
        lastFailureText = kLockHeldReason;
        return false;
    }
    return noted(false);
}

volatile LONG interruptNoted = 0;

// Ctrl+C, Ctrl+Break or the console closing: the first is noted; for a
// second the system's own handling ends the process.
BOOL WINAPI noteInterrupt(DWORD) {
    return InterlockedExchange(&interruptNoted, 1) == 0 ? TRUE : FALSE;
}

class WindowsHost final : public Host {
public:
    NameRules nameRules() const override { return NameRules::windows; }

    std::string importArgumentPath(const std::string& typed) override { return typed; }

    // The list's bytes read as the ANSI code page, as the *A calls the game's
    // own tool made would read them, then UTF-8 like every tool path here.
    std::string importListName(const std::string& name) const override {
        if (name.empty() || name.size() > INT_MAX) return {};
        const int length = static_cast<int>(name.size());
        const int units = MultiByteToWideChar(CP_ACP, 0, name.data(), length, nullptr, 0);
        // The ANSI code page gives every byte some character, so this only
        // fails for a call the system refuses outright; the empty name then
        // names the output directory, which no file can be written over.
        if (units <= 0) return {};
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        if (MultiByteToWideChar(CP_ACP, 0, name.data(), length, wide.data(), units) != units) return {};
        return utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
    }

    // Only a name every character of which the ANSI code page holds, with no
    // best-fit stand-in: the file must land under the name typed.
    bool exportListName(const std::string& typed, std::string& name) const override {
        const WidePath wide(typed);
        if (!wide.valid() || typed.empty()) return false;
        BOOL defaulted = FALSE;
        const int bytes =
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.get(), -1, nullptr, 0, nullptr, &defaulted);
        if (bytes <= 1 || defaulted) return false;
        std::string result(static_cast<std::size_t>(bytes), '\0');
        if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.get(), -1, result.data(), bytes, nullptr,
                                &defaulted) != bytes ||
            defaulted) {
            return false;
        }
        result.pop_back();  // the terminator
        if (importListName(result) != typed) return false;
        name = std::move(result);
        return true;
    }

    void makeDirectory(const std::string& path) override {
        const WidePath wide(path);
        if (wide.valid()) (void)CreateDirectoryW(wide.get(), nullptr);
    }

    // The file system ignores letter case by itself.
    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase) override {
        const WidePath wide(path);
        if (!wide.valid()) return noted(nullptr);
        // Others may rename or remove the file while it is open here, as on POSIX: a
        // resource read a range at a time stays open for a whole command, or a workbench's life.
        const HANDLE handle = CreateFileW(wide.get(), GENERIC_READ, kShareLikeFopen | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return noted(nullptr);
        return std::make_unique<WindowsReadFile>(handle);
    }

    std::unique_ptr<WriteFile> createForWriting(const std::string& path) override {
        const WidePath wide(path);
        if (!wide.valid()) return noted(nullptr);
        const HANDLE handle = openOutput(wide.get());
        if (handle == INVALID_HANDLE_VALUE) return noted(nullptr);
        return std::make_unique<WindowsWriteFile>(handle);
    }

    // Opened with append access only: the system puts every write at the end.
    std::unique_ptr<WriteFile> openForAppending(const std::string& path, NameCase, std::int64_t& size) override {
        const WidePath wide(path);
        if (!wide.valid()) return noted(nullptr);
        OwnedHandle file(CreateFileW(wide.get(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     kShareLikeFopen, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER length{};
        if (!file.valid() || !isPlainFile(file.get()) || !GetFileSizeEx(file.get(), &length)) return noted(nullptr);
        size = length.QuadPart;
        return std::make_unique<WindowsWriteFile>(file.release());
    }

    // Write-through: the call returns once the move is on the disk, directory
    // entry included. Should it fail with the source there before and gone
    // after, the move has happened all the same.
    ReplaceResult replaceFile(const std::string& from, const std::string& to) override {
        const WidePath wideFrom(from);
        const WidePath wideTo(to);
        if (directoryOf(from) != directoryOf(to)) {
            lastFailureText = "not in one directory";
            return ReplaceResult::notReplaced;
        }
        if (!wideFrom.valid() || !wideTo.valid() || !isFileThere(wideFrom.get())) {
            return noted(ReplaceResult::notReplaced);
        }
        if (MoveFileExW(wideFrom.get(), wideTo.get(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ReplaceResult::replaced;
        }
        noteFailure();  // the move's own reason, before the look below sets another
        const bool sourceGone =
            GetFileAttributesW(wideFrom.get()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
        return sourceGone ? ReplaceResult::replacedNotDurable : ReplaceResult::notReplaced;
    }

    std::unique_ptr<FileLock> lockExclusive(const std::string& path, NameCase, LockWait wait) override {
        const WidePath wide(path);
        if (!wide.valid()) return noted(nullptr);
        OwnedHandle file(CreateFileW(wide.get(), GENERIC_READ, kShareLikeFopen, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid() || !isPlainFile(file.get())) return noted(nullptr);
        if (!lockHandle(file.get(), wait)) return nullptr;
        return std::make_unique<WindowsFileLock>(file.release());
    }

    // Shared for deletion, so that a file made here can be removed while the
    // lock is held (it goes when the lock's handle closes).
    std::unique_ptr<FileLock> lockCreating(const std::string& path, bool& created) override {
        created = false;
        const WidePath wide(path);
        if (!wide.valid()) return noted(nullptr);
        OwnedHandle file(CreateFileW(wide.get(), GENERIC_READ, kShareLikeFopen | FILE_SHARE_DELETE, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        const bool made = file.valid() && GetLastError() != ERROR_ALREADY_EXISTS;
        if (!file.valid() || !isPlainFile(file.get())) return noted(nullptr);
        if (!lockHandle(file.get(), LockWait::no)) return nullptr;
        created = made;
        return std::make_unique<WindowsFileLock>(file.release());
    }

    bool cutBack(const std::string& path, NameCase, std::int64_t length) override {
        const WidePath wide(path);
        if (!wide.valid()) return noted(false);
        const OwnedHandle file(CreateFileW(wide.get(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, kShareLikeFopen,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!file.valid() || !isPlainFile(file.get()) || !GetFileSizeEx(file.get(), &size)) return noted(false);
        if (length < 0 || length > size.QuadPart) return false;
        LARGE_INTEGER end{};
        end.QuadPart = length;
        return (SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get())) || noted(false);
    }

    // Read from the directory entry: the file is not opened, so no share mode
    // another program holds can stand in the way.
    bool readModificationTime(const std::string& path, NameCase, FileTime& time) override {
        const WidePath wide(path);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!wide.valid() || !GetFileAttributesExW(wide.get(), GetFileExInfoStandard, &data)) return noted(false);
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
        const std::uint64_t ticks =
            (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
        time.ticks = static_cast<std::int64_t>(ticks);
        return true;
    }

    bool removeFile(const std::string& path) override {
        const WidePath wide(path);
        return (wide.valid() && DeleteFileW(wide.get()) != 0) || noted(false);
    }

    // The file system ignores letter case by itself, so the exact name is any spelling of it.
    PathState lookUp(const std::string& path, std::string& reason) override {
        const WidePath wide(path);
        const DWORD attributes = wide.valid() ? GetFileAttributesW(wide.get()) : INVALID_FILE_ATTRIBUTES;
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathState::link;
            return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ? PathState::notAFile
                                                                                          : PathState::file;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return PathState::missing;
        noteFailure();
        reason = lastFailureText;
        return PathState::unknown;
    }

    std::string lastFailure() const override { return lastFailureText; }

    bool listDirectory(const std::string& path, std::vector<std::string>& names) override {
        const WidePath wide(path + "\\*");
        WIN32_FIND_DATAW item{};
        const HANDLE search = wide.valid() ? FindFirstFileW(wide.get(), &item) : INVALID_HANDLE_VALUE;
        if (search == INVALID_HANDLE_VALUE) {
            noteFailure();
            return false;
        }
        names.clear();
        do {
            const std::wstring_view name = item.cFileName;
            if (name == L"." || name == L"..") continue;
            names.push_back(utf8FromUtf16(std::u16string(name.begin(), name.end())));
        } while (FindNextFileW(search, &item) != 0);
        const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
        if (!complete) noteFailure();
        FindClose(search);
        return complete;
    }

    // Links to a list are rare on Windows and need rights to make: the path as given.
    std::string followedPath(const std::string& path) override { return path; }
    // A new file takes the directory's inherited permissions, as the list had.
    bool copyAccess(const std::string&, const std::string&) override { return true; }

    void catchInterrupts() override { (void)SetConsoleCtrlHandler(noteInterrupt, TRUE); }

    bool interrupted() const override { return interruptNoted != 0; }

    std::int64_t secondsNow() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    }

    std::int64_t steadyMilliseconds() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }

    // Windows itself looks past letter case: the path finds the file as it is.
    std::string foundPath(const std::string& path, NameCase) override { return path; }

    // The file system ignores letter case by itself.
    bool sameFile(const std::string& a, const std::string& b, NameCase) override {
        BY_HANDLE_FILE_INFORMATION first{};
        BY_HANDLE_FILE_INFORMATION second{};
        if (!identify(a, first) || !identify(b, second)) return false;
        return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
               first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
    }
};

}  // namespace

Host& systemHost() {
    static WindowsHost host;
    return host;
}

// Windows raises no signal for a closed pipe or a file-size limit.
void ignoreSignalsThatEndRuns() {}

}  // namespace quill
