#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The seam between the tool and the operating system. Paths cross it in the
// tool's own Windows form (backslash separators); each side translates. Their
// bytes are the host's own: as given on Linux, UTF-8 on Windows, where the
// host turns them into the UTF-16 the system keeps names in.
namespace quill {

// Memory holding a whole resource file, released with the object.
class ImageMemory {
public:
    virtual ~ImageMemory() = default;
    virtual std::byte* data() = 0;
};

class ReadFile {
public:
    virtual ~ReadFile() = default;
    // Size found by seeking to the end and back to the start; false when the
    // host cannot tell.
    virtual bool measure(std::int64_t& size) = 0;
    // Reads up to buffer.size() bytes; returns the count, 0 at the end or on error.
    virtual std::size_t read(std::span<std::byte> buffer) = 0;
    // True once a read has failed, as opposed to reaching the end.
    virtual bool failed() const = 0;
    // Reads exactly buffer.size() bytes from `offset` on, leaving the stream's
    // position alone; false when fewer could be had (the file ends sooner, or
    // the system failed: see Host::lastFailure). Several threads may call it
    // at once, so a shared snapshot reads only the ranges it needs.
    virtual bool readAt(std::int64_t offset, std::span<std::byte> buffer) = 0;
};

class WriteFile {
public:
    virtual ~WriteFile() = default;
    // False on a failed or short write.
    virtual bool write(std::span<const std::byte> bytes) = 0;
    // Asks the system to put everything written so far on the disk itself
    // (fsync; FlushFileBuffers), so that it survives a crash of the machine;
    // false when the system did not confirm it.
    virtual bool makeDurable() = 0;
    // Flushes and closes; false when anything written may not have reached the file.
    virtual bool close() = 0;
};

// An exclusive lock, held until the object goes or the process ends, however
// it ends: the system releases it, so a crash leaves no stale lock behind.
class FileLock {
public:
    virtual ~FileLock() = default;
};

// lastFailure() after a lock that another holder keeps from being taken.
inline constexpr const char* kLockHeldReason = "another quillpack command is using it";

enum class LockWait { no, yes };

enum class ReplaceResult {
    replaced,
    notReplaced,         // nothing changed: both files as they were
    replacedNotDurable,  // the new file is in place, but a crash of the machine may still undo that
};

// A file's last modification, comparable with another read from the same host.
struct FileTime {
    std::int64_t ticks = 0;
    friend auto operator<=>(const FileTime&, const FileTime&) = default;
};

enum class NameCase { exact, ignoreWhenMissing };

enum class PathState {
    missing,   // the system says nothing is there
    file,      // a regular file
    notAFile,  // a directory, device, FIFO or socket
    link,      // a symbolic link (Windows: any reparse point), which an unpack would replace
    unknown,   // the system could not look (permissions, I/O): see the reason
};

// Whose file-name rules decide which entry names are safe to create.
enum class NameRules { posix, windows };

class Host {
public:
    virtual ~Host() = default;
    virtual NameRules nameRules() const = 0;
    // Turns a path typed by the user into the tool's Windows form.
    virtual std::string importArgumentPath(const std::string& typed) = 0;
    // Creates one directory level; the outcome is deliberately not reported.
    virtual void makeDirectory(const std::string& path) = 0;
    // Null when the file cannot be opened (a directory cannot be opened either).
    virtual std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) = 0;
    // Creates or replaces a file for binary writing; null on failure (a
    // directory at the path included). A single-link regular file there is
    // truncated and rewritten; anything else (a link, a FIFO, a device) is
    // removed first, so nothing is written through it. Directories on the way
    // are followed.
    virtual std::unique_ptr<WriteFile> createForWriting(const std::string& path) = 0;
    // Memory for the resource image, its bytes unspecified until read into;
    // null when it cannot be had.
    virtual std::unique_ptr<ImageMemory> allocate(std::size_t size);

    // An entry name, the game's bytes as listed, in this host's path form:
    // the file it names is the one the game's own tool would have made.
    virtual std::string importListName(const std::string& name) const = 0;
    // The other way: a name the user typed (a path below the data directory,
    // a record's name), in this host's path form, as the list's bytes that
    // importListName reads back as it; false when the game's bytes cannot
    // spell it (on Windows, characters outside the ANSI code page).
    virtual bool exportListName(const std::string& typed, std::string& name) const = 0;

    // What changing an archive in place needs. Every host provides each one:
    // a host without them does not compile, rather than refusing at run time.

    virtual std::unique_ptr<WriteFile> openForAppending(const std::string& path, NameCase nameCase,
                                                        std::int64_t& size) = 0;
    // Puts `from` in place of `to` in one step, so that any reader sees the old
    // `to` or the new one, never neither nor a mix, and makes that durable.
    // Both must be in the same directory; `to` need not exist.
    virtual ReplaceResult replaceFile(const std::string& from, const std::string& to) = 0;
    // An exclusive lock on an existing regular file, tied to that file's
    // identity: lock a file that stays in place, not one that gets replaced.
    // For an archive that is its resource, which an update appends to and cuts
    // back but never replaces; the list is replaced by a rename, and a lock on
    // it would stay with the old file while the next updater locks the new one.
    // Other programs may still read and write the file. Null when the file
    // cannot be opened, or it is locked and `wait` is no.
    virtual std::unique_ptr<FileLock> lockExclusive(const std::string& path, NameCase nameCase, LockWait wait) = 0;
    // As lockExclusive without waiting, making an empty regular file at the
    // path first when nothing is there (never cutting one short): the lock of
    // an archive that does not exist yet. `created` says whether the file
    // locked is one this call made; a file made by this call can be removed
    // while the lock is held.
    virtual std::unique_ptr<FileLock> lockCreating(const std::string& path, bool& created) = 0;
    // Cuts an existing file back to `length` bytes; false (and the file
    // untouched) when it is shorter than that.
    virtual bool cutBack(const std::string& path, NameCase nameCase, std::int64_t length) = 0;
    // False when there is no such regular file.
    virtual bool readModificationTime(const std::string& path, NameCase nameCase, FileTime& time) = 0;
    // Removes a file (not a directory); false when nothing was removed.
    virtual bool removeFile(const std::string& path) = 0;
    // True when both paths lead to one existing file, however they are spelt
    // (links, "." components, letter case); `b` is looked up as `bCase` says.
    virtual bool sameFile(const std::string& a, const std::string& b, NameCase bCase) = 0;
    // What is at a path, the exact name only; `reason` says why when unknown.
    virtual PathState lookUp(const std::string& path, std::string& reason) = 0;
    // The system's words for why the last operation of this host, or of a
    // file it opened, failed ("Permission denied"); empty when it gave none.
    virtual std::string lastFailure() const = 0;
    // The file a lookup as `nameCase` says would take: the path itself, or
    // where the host looks past letter case, the name it finds; the path
    // itself when there is none. For messages that name the file used.
    virtual std::string foundPath(const std::string& path, NameCase nameCase) = 0;

    // The names in a directory ("." and ".." left out), in no set order;
    // false, with the reason noted, when it cannot be read.
    virtual bool listDirectory(const std::string& path, std::vector<std::string>& names) = 0;

    // The file a path names once symbolic links in its last component are
    // followed (the path itself when there is none): a list replaced by a
    // rename is replaced there, so a link to it stays a link to the new list.
    // Empty when a link leads to a path this tool cannot name.
    virtual std::string followedPath(const std::string& path) = 0;
    // Gives `to` the permissions of `from` and, where the system lets this
    // process, its owner and group: a replaced list keeps who may read it.
    virtual bool copyAccess(const std::string& from, const std::string& to) = 0;

    // From here on an interrupt (Ctrl+C, a request to terminate) is noted
    // instead of ending the process, so that a change under way can be undone
    // before it stops; a second one ends the process at once.
    virtual void catchInterrupts() = 0;
    // Whether an interrupt was noted since catchInterrupts.
    virtual bool interrupted() const = 0;

    // Seconds since 1970-01-01 UTC, for the dates a history shows.
    virtual std::int64_t secondsNow() const = 0;
    // A clock that only goes forward, in milliseconds, for progress lines.
    virtual std::int64_t steadyMilliseconds() const = 0;
};

// --- loading a whole file ------------------------------------------------------

// A whole file in memory of its own: a snapshot, not a view of the file, and
// the file is closed once it is read.
struct WholeFile {
    std::unique_ptr<ImageMemory> memory;
    std::int64_t size = 0;

    std::span<const std::byte> bytes() const { return {memory->data(), static_cast<std::size_t>(size)}; }
};

enum class LoadStatus {
    loaded,
    cannotOpen,  // not there, not a file, or its size cannot be told
    empty,       // no bytes: nothing to allocate
    tooLarge,    // more than the caller's limit
    noMemory,    // the host would not give memory for it
    shortRead,   // fewer bytes than measured could be read
};

// Opens, measures, allocates and reads, in that order, through the host's own
// operations, so a host that fails any of them fails the load with its status.
LoadStatus loadWholeFile(Host& host, const std::string& path, NameCase nameCase, std::int64_t maxSize,
                         WholeFile& file);

// The host of the machine the tool was built for.
Host& systemHost();

// Keeps signals that report a closed reader or a file-size limit from ending
// the process: those show up as failed writes instead.
void ignoreSignalsThatEndRuns();

}  // namespace quill
