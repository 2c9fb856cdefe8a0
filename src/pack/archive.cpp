#include "pack/archive.h"

#include <algorithm>
#include <climits>

namespace quill::pack {
namespace {

// The list's stored bytes as a stream for the unpacker's own reader.
class BytesReadFile final : public ReadFile {
public:
    explicit BytesReadFile(std::span<const std::byte> bytes) : bytes_(bytes) {}
    bool measure(std::int64_t& size) override {
        size = static_cast<std::int64_t>(bytes_.size());
        return true;
    }
    std::size_t read(std::span<std::byte> buffer) override {
        const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        return count;
    }
    bool failed() const override { return false; }
    bool readAt(std::int64_t offset, std::span<std::byte> buffer) override {
        if (offset < 0 || static_cast<std::uint64_t>(offset) > bytes_.size() ||
            buffer.size() > bytes_.size() - static_cast<std::size_t>(offset)) {
            return false;
        }
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), buffer.size(), buffer.begin());
        return true;
    }

private:
    std::span<const std::byte> bytes_;
    std::size_t position_ = 0;
};

// Keeps every byte the record reader takes from the file.
class CapturingReadFile final : public ReadFile {
public:
    CapturingReadFile(ReadFile& inner, std::vector<std::byte>& captured) : inner_(inner), captured_(captured) {}
    bool measure(std::int64_t& size) override { return inner_.measure(size); }
    std::size_t read(std::span<std::byte> buffer) override {
        const std::size_t got = inner_.read(buffer);
        captured_.insert(captured_.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
        return got;
    }
    bool failed() const override { return inner_.failed(); }
    bool readAt(std::int64_t offset, std::span<std::byte> buffer) override { return inner_.readAt(offset, buffer); }

private:
    ReadFile& inner_;
    std::vector<std::byte>& captured_;
};

}  // namespace

std::string counted(std::int64_t count, const std::string& singular, const std::string& plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

std::string withReason(const std::string& what, const std::string& reason) {
    return reason.empty() ? what : what + ": " + reason;
}

PackStatus loadArchive(Host& host, Console& err, const std::string& listPath, Archive& archive) {
    archive.paths = archivePaths(listPath);
    const std::string shownList = shownPath(host, listPath);

    archive.listTimed = host.readModificationTime(listPath, NameCase::exact, archive.listTime);
    auto list = host.openForReading(listPath, NameCase::exact);
    if (!list) {
        err.print(withReason(shownList + ": cannot be read", host.lastFailure()) + "\n");
        return PackStatus::listUnreadable;
    }
    CapturingReadFile capturing(*list, archive.listHead);
    readListRecords(capturing, *archive.table);
    if (list->failed()) {
        err.print(withReason(shownList + ": cannot be read", host.lastFailure()) + "\n");
        return PackStatus::listUnreadable;
    }
    archive.listRest = std::move(list);
    if (archive.table->count == 0) {
        err.print(shownList + ": no well-formed record; an unpack stops with status 3\n");
        return PackStatus::archiveUnsafe;
    }
    const std::string shownResource = shownPath(host, archive.paths.resource);
    switch (archive.resource.open(host, archive.paths.resource, NameCase::ignoreWhenMissing, INT32_MAX)) {
        case LoadStatus::loaded: break;
        case LoadStatus::empty:
            err.print(shownResource + ": empty; an unpack stops with status 4\n");
            return PackStatus::archiveUnsafe;
        case LoadStatus::tooLarge:
            err.print(shownResource + ": larger than 2147483647 bytes; an unpack stops with status 4\n");
            return PackStatus::archiveUnsafe;
        case LoadStatus::noMemory:
        case LoadStatus::cannotOpen:
        case LoadStatus::shortRead:
            err.print(withReason(shownResource + ": cannot be read", host.lastFailure()) +
                      "; an unpack stops with status 4\n");
            return PackStatus::archiveUnsafe;
    }
    archive.resourceFile = host.foundPath(archive.paths.resource, NameCase::ignoreWhenMissing);
    archive.plan = planUnpack(*archive.table, archive.resource.size, host.nameRules(), true);
    archive.plainPlan = planUnpack(*archive.table, archive.resource.size, host.nameRules(), false);
    return PackStatus::done;
}

PackStatus refuseListThatIsItsResource(Host& host, Console& err, const std::string& listPath) {
    const ArchivePaths paths = archivePaths(listPath);
    // A name with a dot that is its own resource is the .RES itself, given in place of its list.
    const std::size_t slash = listPath.find_last_of("\\/");
    if (paths.listIsResource() && listPath.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos) {
        err.print(shownPath(host, listPath) + ": is a resource, not a list; give the list that names its records (the "
                                              ".RD file beside it)\n");
        return PackStatus::badCommandLine;
    }
    if (paths.listIsResource() || host.sameFile(paths.list, paths.resource, NameCase::ignoreWhenMissing)) {
        err.print(shownPath(host, listPath) + ": is its own resource" +
                  (paths.listIsResource() ? " (its name has no dot)" : " (one file under two names)") +
                  ", so it cannot be changed in place; quillpack compact makes a separate pair from it\n");
        return PackStatus::badCommandLine;
    }
    return PackStatus::done;
}

PackStatus loadArchiveLocked(Host& host, Console& err, const std::string& listPath, Archive& archive,
                             std::unique_ptr<FileLock>& lock) {
    const ArchivePaths paths = archivePaths(listPath);
    // The resource is the file to lock: it stays in place, while the list is replaced.
    lock = host.lockExclusive(paths.resource, NameCase::ignoreWhenMissing, LockWait::no);
    const std::string lockFailure = lock ? std::string() : host.lastFailure();
    // Read first even without the lock, so that a missing or broken archive is reported as such.
    if (const PackStatus loaded = loadArchive(host, err, listPath, archive); loaded != PackStatus::done) return loaded;
    if (!lock) {
        err.print(withReason(shownPath(host, paths.resource) + ": cannot be locked", lockFailure) + "\n");
        return PackStatus::writeFailed;
    }
    if (!archive.plan.completes()) {
        const int record = archive.plan.stopsAt;
        err.print(shownPath(host, listPath) + ": an unpack stops at record " + std::to_string(record + 1) + " (" +
                  shownName(archive.table->entries[static_cast<std::size_t>(record)].name) + ") with status " +
                  std::to_string(archive.plan.stopStatus) + "; mend the list first\n");
        return PackStatus::archiveUnsafe;
    }
    return PackStatus::done;
}

PackStatus loadArchiveForChange(Host& host, Console& err, const std::string& listPath, Archive& archive,
                                std::unique_ptr<FileLock>& lock) {
    if (const PackStatus refused = refuseListThatIsItsResource(host, err, listPath); refused != PackStatus::done) {
        return refused;
    }
    return loadArchiveLocked(host, err, listPath, archive, lock);
}

PackStatus loadArchiveConsistent(Host& host, Console& err, const std::string& listPath, Archive& archive) {
    const ArchivePaths paths = archivePaths(listPath);
    // No lock (a missing resource, say) is reported by the load itself.
    const auto lock = host.lockExclusive(paths.resource, NameCase::ignoreWhenMissing, LockWait::yes);
    return loadArchive(host, err, listPath, archive);
}

void readRecords(std::span<const std::byte> list, EntryTable& table) {
    BytesReadFile text(list);
    readListRecords(text, table);
}

std::vector<std::byte> readRecord(const Archive& archive, int record) {
    std::vector<std::byte> bytes;
    readRecord(archive, record, bytes);
    return bytes;
}

void readRecord(const Archive& archive, int record, std::vector<std::byte>& into) {
    const ListEntry& entry = archive.table->entries[static_cast<std::size_t>(record)];
    archive.resource.read(entry.offset, entry.length, into);
}

PackStatus checkResourceRead(Host& host, Console& err, const Archive& archive) {
    const std::string shown = shownPath(host, archive.resourceFile);
    if (archive.resource.failed()) {
        err.print(withReason(shown + ": cannot be read", archive.resource.failure()) + "\n");
        return PackStatus::archiveUnsafe;
    }
    if (archive.resource.changedSince(host, archive.paths.resource, NameCase::ignoreWhenMissing)) {
        err.print(shown + ": changed by another program while it was read; run the command again\n");
        return PackStatus::archiveUnsafe;
    }
    return PackStatus::done;
}

}  // namespace quill::pack
