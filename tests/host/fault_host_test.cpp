// The fault-injecting host over the packer's operations: each one counted
// with the file it concerns, and a refused one leaves everything as it was.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "support/fault_host.h"
#include "support/memory_host.h"

namespace quill {
namespace {

using testing::FaultHost;
using testing::FaultKind;
using testing::MemoryHost;
using testing::Operation;
using testing::toBytes;
using testing::toText;

bool writeText(WriteFile& file, std::string_view text) {
    return file.write({reinterpret_cast<const std::byte*>(text.data()), text.size()});
}

MemoryHost archive() {
    MemoryHost memory;
    memory.directories = {"D"};
    memory.files["D\\A"] = toBytes("abc");
    memory.files["D\\A.NEW"] = toBytes("new");
    return memory;
}

struct Case {
    Operation operation;
    int position;  // its place among the scenario's operations
    std::function<bool(Host&)> scenario;
    // What a refusal leaves; empty where the operation changes nothing anyway.
    std::function<bool(const MemoryHost&)> untouched;
};

std::vector<Case> cases() {
    const auto appended = [](Host& host) {
        std::int64_t size = 0;
        auto file = host.openForAppending("D\\A", NameCase::exact, size);
        return file && writeText(*file, "x") && file->close();
    };
    const auto sameBytes = [](const MemoryHost& memory) { return toText(memory.files.at("D\\A")) == "abc"; };
    return {
        {Operation::openForAppending, 1, appended, sameBytes},
        {Operation::makeDurable, 3,
         [](Host& host) {
             std::int64_t size = 0;
             auto file = host.openForAppending("D\\A", NameCase::exact, size);
             return file && writeText(*file, "x") && file->makeDurable();
         },
         [](const MemoryHost& memory) { return memory.unsynced.count("D\\A") == 1; }},
        {Operation::replaceFile, 1,
         [](Host& host) { return host.replaceFile("D\\A.NEW", "D\\A") == ReplaceResult::replaced; },
         [sameBytes](const MemoryHost& memory) { return sameBytes(memory) && memory.files.count("D\\A.NEW") == 1; }},
        {Operation::lockExclusive, 1,
         [](Host& host) { return host.lockExclusive("D\\A", NameCase::exact, LockWait::no) != nullptr; }, {}},
        {Operation::cutBack, 1, [](Host& host) { return host.cutBack("D\\A", NameCase::exact, 1); }, sameBytes},
        {Operation::readModificationTime, 1,
         [](Host& host) {
             FileTime time;
             return host.readModificationTime("D\\A", NameCase::exact, time);
         },
         {}},
        {Operation::removeFile, 1, [](Host& host) { return host.removeFile("D\\A"); },
         [](const MemoryHost& memory) { return memory.files.count("D\\A") == 1; }},
    };
}

TEST(FaultHost, EachPackerOperationIsCountedAndRefusedWithoutEffect) {
    for (const auto& c : cases()) {
        const std::string what = operationName(c.operation);
        MemoryHost passed = archive();
        FaultHost counting(passed);
        EXPECT_TRUE(c.scenario(counting)) << what;
        ASSERT_GE(counting.operations().size(), static_cast<std::size_t>(c.position)) << what;
        const auto& record = counting.operations()[static_cast<std::size_t>(c.position - 1)];
        EXPECT_EQ(record.operation, c.operation) << what;
        EXPECT_EQ(record.path, "D\\A") << what;

        MemoryHost refused = archive();
        FaultHost failing(refused, c.position);
        EXPECT_FALSE(c.scenario(failing)) << what;
        ASSERT_NE(failing.injected(), nullptr) << what;
        EXPECT_EQ(failing.injected()->operation, c.operation) << what;
        if (c.untouched) {
            EXPECT_TRUE(c.untouched(refused)) << what;
        }
    }
}

TEST(FaultHost, AReplaceCutShortHappensButIsNotDurable) {
    MemoryHost memory = archive();
    FaultHost host(memory, 1, FaultKind::cutShort);
    EXPECT_EQ(host.replaceFile("D\\A.NEW", "D\\A"), ReplaceResult::replacedNotDurable);
    EXPECT_EQ(toText(memory.files.at("D\\A")), "new");
    EXPECT_EQ(memory.files.count("D\\A.NEW"), 0u);
    EXPECT_TRUE(testing::canBeCutShort(Operation::replaceFile));
}

TEST(FaultHost, EveryOperationHasANameOfItsOwn) {
    std::set<std::string> names;
    for (int i = 0; i <= static_cast<int>(Operation::removeFile); ++i) {
        const std::string name = operationName(static_cast<Operation>(i));
        EXPECT_NE(name, "?");
        names.insert(name);
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(Operation::removeFile) + 1);
}

}  // namespace
}  // namespace quill
