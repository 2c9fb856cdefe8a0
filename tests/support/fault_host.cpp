#include "support/fault_host.h"

namespace quill::testing {
namespace {

class FaultReadFile : public ReadFile {
public:
    FaultReadFile(FaultHost& host, std::unique_ptr<ReadFile> inner, std::string path)
        : host_(host), inner_(std::move(inner)), path_(std::move(path)) {}

    bool measure(std::int64_t& size) override {
        if (host_.next(Operation::measure, path_)) return false;
        return inner_->measure(size);
    }

    std::size_t read(std::span<std::byte> buffer) override {
        if (ended_) return 0;
        if (!host_.next(Operation::read, path_)) return inner_->read(buffer);
        ended_ = true;
        if (host_.kind() != FaultKind::cutShort) {
            failed_ = true;
            return 0;
        }
        return inner_->read(buffer.first(buffer.size() / 2));
    }

    bool failed() const override { return failed_ || inner_->failed(); }

    // A failing ranged read fails that read alone: another range may still be had.
    bool readAt(std::int64_t offset, std::span<std::byte> buffer) override {
        if (!host_.next(Operation::read, path_)) return inner_->readAt(offset, buffer);
        if (host_.kind() == FaultKind::cutShort) inner_->readAt(offset, buffer.first(buffer.size() / 2));
        return false;
    }

private:
    FaultHost& host_;
    std::unique_ptr<ReadFile> inner_;
    std::string path_;
    bool ended_ = false;
    bool failed_ = false;
};

class FaultWriteFile : public WriteFile {
public:
    FaultWriteFile(FaultHost& host, std::unique_ptr<WriteFile> inner, std::string path)
        : host_(host), inner_(std::move(inner)), path_(std::move(path)) {}

    bool write(std::span<const std::byte> bytes) override {
        if (!host_.next(Operation::write, path_)) return inner_->write(bytes);
        if (host_.kind() == FaultKind::cutShort) (void)inner_->write(bytes.first(bytes.size() / 2));
        return false;
    }

    bool makeDurable() override {
        if (host_.next(Operation::makeDurable, path_)) return false;
        return inner_->makeDurable();
    }

    bool close() override {
        const bool closed = inner_->close();
        return !host_.next(Operation::close, path_) && closed;
    }

private:
    FaultHost& host_;
    std::unique_ptr<WriteFile> inner_;
    std::string path_;
};

}  // namespace

const char* operationName(Operation operation) {
    switch (operation) {
        case Operation::openForReading: return "open for reading";
        case Operation::measure: return "measure";
        case Operation::read: return "read";
        case Operation::makeDirectory: return "make directory";
        case Operation::createForWriting: return "create for writing";
        case Operation::write: return "write";
        case Operation::close: return "close";
        case Operation::allocate: return "allocate";
        case Operation::openForAppending: return "open for appending";
        case Operation::makeDurable: return "make durable";
        case Operation::replaceFile: return "replace";
        case Operation::lockExclusive: return "lock";
        case Operation::cutBack: return "cut back";
        case Operation::readModificationTime: return "read modification time";
        case Operation::removeFile: return "remove";
        case Operation::lookUp: return "look up";
    }
    return "?";
}

bool canBeCutShort(Operation operation) {
    return operation == Operation::read || operation == Operation::write || operation == Operation::replaceFile;
}

bool FaultHost::next(Operation operation, const std::string& path) {
    operations_.push_back({operation, path});
    const int index = static_cast<int>(operations_.size());
    if (kind_ == FaultKind::interruptAfter) {
        // The operation happens; the interrupt is seen from then on.
        injected_ = injected_ || index == armed_;
        return false;
    }
    // A stop is the process killed right after the armed operation: nothing later happens.
    const bool fail = kind_ == FaultKind::stopAfter ? armed_ > 0 && index > armed_ : index == armed_;
    injected_ = injected_ || fail;
    return fail;
}

void FaultHost::makeDirectory(const std::string& path) {
    if (!next(Operation::makeDirectory, path)) inner_.makeDirectory(path);
}

std::unique_ptr<ReadFile> FaultHost::openForReading(const std::string& path, NameCase nameCase) {
    if (next(Operation::openForReading, path)) return nullptr;
    auto file = inner_.openForReading(path, nameCase);
    if (!file) return nullptr;
    return std::make_unique<FaultReadFile>(*this, std::move(file), path);
}

std::unique_ptr<WriteFile> FaultHost::createForWriting(const std::string& path) {
    if (next(Operation::createForWriting, path)) return nullptr;
    auto file = inner_.createForWriting(path);
    if (!file) return nullptr;
    return std::make_unique<FaultWriteFile>(*this, std::move(file), path);
}

std::unique_ptr<ImageMemory> FaultHost::allocate(std::size_t size) {
    if (next(Operation::allocate, "")) return nullptr;
    return inner_.allocate(size);
}

std::unique_ptr<WriteFile> FaultHost::openForAppending(const std::string& path, NameCase nameCase,
                                                       std::int64_t& size) {
    if (next(Operation::openForAppending, path)) return nullptr;
    auto file = inner_.openForAppending(path, nameCase, size);
    if (!file) return nullptr;
    return std::make_unique<FaultWriteFile>(*this, std::move(file), path);
}

ReplaceResult FaultHost::replaceFile(const std::string& from, const std::string& to) {
    if (!next(Operation::replaceFile, to)) return inner_.replaceFile(from, to);
    if (kind_ != FaultKind::cutShort) return ReplaceResult::notReplaced;
    // The name is swapped, but the directory never reaches the disk.
    const ReplaceResult result = inner_.replaceFile(from, to);
    return result == ReplaceResult::notReplaced ? result : ReplaceResult::replacedNotDurable;
}

std::unique_ptr<FileLock> FaultHost::lockExclusive(const std::string& path, NameCase nameCase, LockWait wait) {
    if (next(Operation::lockExclusive, path)) return nullptr;
    return inner_.lockExclusive(path, nameCase, wait);
}

std::unique_ptr<FileLock> FaultHost::lockCreating(const std::string& path, bool& created) {
    created = false;
    if (next(Operation::lockExclusive, path)) return nullptr;
    return inner_.lockCreating(path, created);
}

bool FaultHost::cutBack(const std::string& path, NameCase nameCase, std::int64_t length) {
    return !next(Operation::cutBack, path) && inner_.cutBack(path, nameCase, length);
}

bool FaultHost::readModificationTime(const std::string& path, NameCase nameCase, FileTime& time) {
    return !next(Operation::readModificationTime, path) && inner_.readModificationTime(path, nameCase, time);
}

bool FaultHost::removeFile(const std::string& path) {
    return !next(Operation::removeFile, path) && inner_.removeFile(path);
}

PathState FaultHost::lookUp(const std::string& path, std::string& reason) {
    if (next(Operation::lookUp, path)) {
        reason = "Input/output error";
        return PathState::unknown;
    }
    return inner_.lookUp(path, reason);
}

}  // namespace quill::testing
