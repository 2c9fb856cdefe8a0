// Loading a whole file: the host's own operations in a fixed order, each
// failure with its own status, and a copy that owes nothing to the file after.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "host/host.h"
#include "support/fault_host.h"
#include "support/memory_host.h"
#include "support/scratch.h"

namespace quill {
namespace {

using testing::Bytes;
using testing::FaultHost;
using testing::FaultKind;
using testing::MemoryHost;
using testing::Operation;
using testing::toBytes;

std::vector<Operation> operationsOf(const FaultHost& host) {
    std::vector<Operation> operations;
    for (const auto& record : host.operations()) operations.push_back(record.operation);
    return operations;
}

std::string textOf(const WholeFile& file) {
    return {reinterpret_cast<const char*>(file.memory->data()), static_cast<std::size_t>(file.size)};
}

TEST(LoadWholeFile, EachStepFailingGivesItsStatusAndNoMemory) {
    MemoryHost memory;
    memory.files["R.RES"] = toBytes("0123456789");
    struct Case {
        int armed;
        FaultKind kind;
        std::optional<Operation> failed;
        LoadStatus status;
    };
    const std::vector<Case> cases = {
        {0, FaultKind::refuse, std::nullopt, LoadStatus::loaded},
        {1, FaultKind::refuse, Operation::openForReading, LoadStatus::cannotOpen},
        {2, FaultKind::refuse, Operation::measure, LoadStatus::cannotOpen},
        {3, FaultKind::refuse, Operation::allocate, LoadStatus::noMemory},
        {4, FaultKind::refuse, Operation::read, LoadStatus::shortRead},
        {4, FaultKind::cutShort, Operation::read, LoadStatus::shortRead},
    };
    for (const auto& c : cases) {
        FaultHost host(memory, c.armed, c.kind);
        WholeFile file;
        EXPECT_EQ(loadWholeFile(host, "R.RES", NameCase::exact, 100, file), c.status) << c.armed;
        if (c.failed) {
            ASSERT_NE(host.injected(), nullptr) << c.armed;
            EXPECT_EQ(host.injected()->operation, *c.failed) << c.armed;
            EXPECT_EQ(file.memory, nullptr) << c.armed;
        } else {
            EXPECT_EQ(operationsOf(host), (std::vector{Operation::openForReading, Operation::measure,
                                                       Operation::allocate, Operation::read}));
            EXPECT_EQ(textOf(file), "0123456789");
        }
    }
}

// A file whose measured size is not what it holds.
class MismeasuringHost : public MemoryHost {
public:
    std::int64_t claimedSize = 0;

    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase) override {
        struct Mismeasured : testing::MemoryReadFile {
            Mismeasured(Bytes bytes, std::int64_t claimed) : MemoryReadFile(std::move(bytes)), claimed_(claimed) {}
            bool measure(std::int64_t& size) override {
                size = claimed_;
                return true;
            }
            std::int64_t claimed_;
        };
        if (files.count(path) == 0) return nullptr;
        return std::make_unique<Mismeasured>(files.at(path), claimedSize);
    }
};

TEST(LoadWholeFile, SizesOutsideTheLimitCostNoAllocation) {
    struct Case {
        const char* what;
        std::string content;
        std::int64_t claimedSize;
        std::int64_t maxSize;
        LoadStatus status;
        std::vector<Operation> operations;
    };
    const std::vector<Operation> opened = {Operation::openForReading, Operation::measure};
    const std::vector<Operation> all = {Operation::openForReading, Operation::measure, Operation::allocate,
                                        Operation::read};
    const std::vector<Case> cases = {
        {"empty", "", 0, 4, LoadStatus::empty, opened},
        {"at the limit", "0123", 4, 4, LoadStatus::loaded, all},
        {"past the limit", "01234", 5, 4, LoadStatus::tooLarge, opened},
        {"negative size", "0123", -1, 4, LoadStatus::cannotOpen, opened},
        {"fewer bytes than measured", "012", 4, 4, LoadStatus::shortRead, all},
    };
    for (const auto& c : cases) {
        MismeasuringHost memory;
        memory.files["R.RES"] = toBytes(c.content);
        memory.claimedSize = c.claimedSize;
        FaultHost host(memory);
        WholeFile file;
        EXPECT_EQ(loadWholeFile(host, "R.RES", NameCase::exact, c.maxSize, file), c.status) << c.what;
        EXPECT_EQ(operationsOf(host), c.operations) << c.what;
        if (c.status == LoadStatus::loaded) {
            EXPECT_EQ(textOf(file), c.content) << c.what;
        }
    }
    MemoryHost nothing;
    FaultHost host(nothing);
    WholeFile file;
    EXPECT_EQ(loadWholeFile(host, "NONE.RES", NameCase::exact, 4, file), LoadStatus::cannotOpen);
}

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

TEST(LoadWholeFile, TheCopyStaysAsReadAndTheFileIsClosed) {
    testing::ScratchDirectory scratch;
    const auto path = scratch.path() / "R.RES";
    testing::writeFile(path, "as it was read");
    std::string toolPath = path.string();
    std::replace(toolPath.begin(), toolPath.end(), '/', '\\');

    const std::size_t before = openDescriptors();
    WholeFile file;
    ASSERT_EQ(loadWholeFile(systemHost(), toolPath, NameCase::exact, 100, file), LoadStatus::loaded);
    EXPECT_EQ(openDescriptors(), before);

    testing::writeFile(path, "rewritten");
    std::filesystem::resize_file(path, 2);
    EXPECT_EQ(textOf(file), "as it was read");
}

}  // namespace
}  // namespace quill
