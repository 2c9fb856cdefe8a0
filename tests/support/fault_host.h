#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/host.h"

namespace quill::testing {

// Every kind of thing the tool asks of its host.
enum class Operation {
    openForReading,
    measure,
    read,
    makeDirectory,
    createForWriting,
    write,
    close,
    allocate,
    openForAppending,
    makeDurable,
    replaceFile,
    lockExclusive,
    cutBack,
    readModificationTime,
    removeFile,
    lookUp,
};

// How the armed operation fails: refused outright (nothing done), or cut short
// (a read that returns half and then the end; a write that puts half on disk
// and reports failure; a replace that happens but is reported not durable).
// Or the process stops right after the armed operation: every later one is
// refused with nothing done, as if it had been killed there.
// Or an interrupt (Ctrl+C) arrives right after the armed operation, which
// itself succeeds.
enum class FaultKind { refuse, cutShort, stopAfter, interruptAfter };

const char* operationName(Operation operation);
inline void PrintTo(Operation operation, std::ostream* out) { *out << operationName(operation); }
// Whether cutting the operation short differs from refusing it.
bool canBeCutShort(Operation operation);

struct OperationRecord {
    Operation operation;
    std::string path;  // the file the operation concerns, in the tool's form
};

// Passes every call through to another host, counting operations, and fails
// the armed one (1-based; 0 arms none).
class FaultHost : public Host {
public:
    explicit FaultHost(Host& inner, int armed = 0, FaultKind kind = FaultKind::refuse)
        : inner_(inner), armed_(armed), kind_(kind) {}

    NameRules nameRules() const override { return inner_.nameRules(); }
    std::string importArgumentPath(const std::string& typed) override { return inner_.importArgumentPath(typed); }
    void makeDirectory(const std::string& path) override;
    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override;
    std::unique_ptr<WriteFile> createForWriting(const std::string& path) override;
    std::unique_ptr<ImageMemory> allocate(std::size_t size) override;
    std::unique_ptr<WriteFile> openForAppending(const std::string& path, NameCase nameCase,
                                                std::int64_t& size) override;
    ReplaceResult replaceFile(const std::string& from, const std::string& to) override;
    std::unique_ptr<FileLock> lockExclusive(const std::string& path, NameCase nameCase, LockWait wait) override;
    std::unique_ptr<FileLock> lockCreating(const std::string& path, bool& created) override;
    bool cutBack(const std::string& path, NameCase nameCase, std::int64_t length) override;
    bool readModificationTime(const std::string& path, NameCase nameCase, FileTime& time) override;
    bool removeFile(const std::string& path) override;
    std::string importListName(const std::string& name) const override { return inner_.importListName(name); }
    bool exportListName(const std::string& typed, std::string& name) const override {
        return inner_.exportListName(typed, name);
    }
    PathState lookUp(const std::string& path, std::string& reason) override;
    std::string lastFailure() const override { return inner_.lastFailure(); }
    std::string foundPath(const std::string& path, NameCase nameCase) override {
        return inner_.foundPath(path, nameCase);
    }
    // Only looks: passed through, never failed.
    bool sameFile(const std::string& a, const std::string& b, NameCase bCase) override {
        return inner_.sameFile(a, b, bCase);
    }

    bool listDirectory(const std::string& path, std::vector<std::string>& names) override {
        return inner_.listDirectory(path, names);
    }
    std::string followedPath(const std::string& path) override { return inner_.followedPath(path); }
    bool copyAccess(const std::string& from, const std::string& to) override { return inner_.copyAccess(from, to); }
    void catchInterrupts() override { inner_.catchInterrupts(); }
    bool interrupted() const override {
        return (injected_ && kind_ == FaultKind::interruptAfter) || inner_.interrupted();
    }
    std::int64_t secondsNow() const override { return inner_.secondsNow(); }
    std::int64_t steadyMilliseconds() const override { return inner_.steadyMilliseconds(); }

    const std::vector<OperationRecord>& operations() const { return operations_; }
    // The operation that was failed (for a stop, the last one that happened), if the run got that far.
    const OperationRecord* injected() const { return injected_ ? &operations_[static_cast<std::size_t>(armed_ - 1)] : nullptr; }

    // Counts an operation; true when this is the one to fail.
    bool next(Operation operation, const std::string& path);
    FaultKind kind() const { return kind_; }

private:
    Host& inner_;
    int armed_;
    FaultKind kind_;
    bool injected_ = false;
    std::vector<OperationRecord> operations_;
};

}  // namespace quill::testing
