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

private:
    std::span<const std::byte> bytes_;
    std::size_t position_ = 0;
};

}  // namespace

PackStatus loadArchive(Host& host, Console& err, const std::string& listPath, Archive& archive) {
    archive.listPath = listPath;
    archive.resourcePath = deriveResourcePath(listPath);
    archive.dataDirectory = archive.resourcePath;
    deriveOutputDirectory(archive.dataDirectory);

    const LoadStatus listLoad = loadWholeFile(host, listPath, NameCase::exact, INT64_MAX, archive.list);
    if (listLoad != LoadStatus::loaded && listLoad != LoadStatus::empty) {
        err.print(shownPath(host, listPath) + ": cannot be read\n");
        return PackStatus::listUnreadable;
    }
    if (listLoad == LoadStatus::loaded) readRecords(archive.list.bytes(), *archive.table);
    if (archive.table->count == 0) {
        err.print(shownPath(host, listPath) + ": no well-formed record; an unpack stops with status 3\n");
        return PackStatus::archiveUnsafe;
    }
    switch (loadWholeFile(host, archive.resourcePath, NameCase::ignoreWhenMissing, INT32_MAX, archive.resource)) {
        case LoadStatus::loaded: break;
        case LoadStatus::empty:
            err.print(shownPath(host, archive.resourcePath) + ": empty; an unpack stops with status 4\n");
            return PackStatus::archiveUnsafe;
        case LoadStatus::tooLarge:
            err.print(shownPath(host, archive.resourcePath) +
                      ": larger than 2147483647 bytes; an unpack stops with status 4\n");
            return PackStatus::archiveUnsafe;
        case LoadStatus::noMemory:
            err.print(shownPath(host, archive.resourcePath) + ": no memory to hold it\n");
            return PackStatus::archiveUnsafe;
        case LoadStatus::cannotOpen:
        case LoadStatus::shortRead:
            err.print(shownPath(host, archive.resourcePath) + ": cannot be read; an unpack stops with status 4\n");
            return PackStatus::archiveUnsafe;
    }
    archive.report = analyseArchive(*archive.table, archive.resource.size, host.nameRules());
    return PackStatus::done;
}

PackStatus loadArchiveLocked(Host& host, Console& err, const std::string& listPath, Archive& archive,
                             std::unique_ptr<FileLock>& lock) {
    // The resource is the file to lock: it stays in place, while the list is replaced.
    const std::string resourcePath = deriveResourcePath(listPath);
    lock = host.lockExclusive(resourcePath, NameCase::ignoreWhenMissing, LockWait::no);
    // Read first even without the lock, so that a missing or broken archive is reported as such.
    if (const PackStatus loaded = loadArchive(host, err, listPath, archive); loaded != PackStatus::done) return loaded;
    if (!lock) {
        err.print(shownPath(host, resourcePath) + ": another update holds the archive, or it cannot be locked\n");
        return PackStatus::writeFailed;
    }
    if (archive.report.stopsAt >= 0) {
        const int record = archive.report.stopsAt;
        err.print(shownPath(host, listPath) + ": an unpack stops at record " + std::to_string(record + 1) + " (" +
                  shownName(archive.table->entries[static_cast<std::size_t>(record)].name) + ") with status " +
                  std::to_string(archive.report.stopStatus) + "; mend the list first\n");
        return PackStatus::archiveUnsafe;
    }
    return PackStatus::done;
}

void readRecords(std::span<const std::byte> list, EntryTable& table) {
    BytesReadFile text(list);
    readListRecords(text, table);
}

std::span<const std::byte> recordBytes(const Archive& archive, int record) {
    const ListEntry& entry = archive.table->entries[static_cast<std::size_t>(record)];
    return archive.resource.bytes().subspan(static_cast<std::size_t>(entry.offset),
                                            static_cast<std::size_t>(entry.length));
}

}  // namespace quill::pack
