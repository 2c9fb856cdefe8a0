// quillpack reads the resource a range at a time: no command holds it whole,
// a range that cannot be read stops the command before anything depends on
// it, and a resource another program writes into meanwhile is not mixed into
// what a command writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "pack/pack.h"
#include "support/memory_host.h"
#include "support/pack_run.h"

namespace quill::pack {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::toBytes;

// The resource's reads seen one by one: the largest asked for, and a hook run
// before a chosen one (another program at work, or the disk failing).
class ResourceWatch : public ReadFile {
public:
    ResourceWatch(std::unique_ptr<ReadFile> inner, std::function<bool(std::size_t)> before, std::size_t& largest,
                  int& reads, std::size_t& total)
        : inner_(std::move(inner)), before_(std::move(before)), largest_(largest), reads_(reads), total_(total) {}
    bool measure(std::int64_t& size) override { return inner_->measure(size); }
    std::size_t read(std::span<std::byte> buffer) override {
        largest_ = std::max(largest_, buffer.size());
        return inner_->read(buffer);
    }
    bool failed() const override { return inner_->failed(); }
    bool readAt(std::int64_t offset, std::span<std::byte> buffer) override {
        largest_ = std::max(largest_, buffer.size());
        total_ += buffer.size();
        if (!before_(static_cast<std::size_t>(++reads_))) return false;
        return inner_->readAt(offset, buffer);
    }

private:
    std::unique_ptr<ReadFile> inner_;
    std::function<bool(std::size_t)> before_;
    std::size_t& largest_;
    int& reads_;
    std::size_t& total_;
};

class RangeHost : public MemoryHost {
public:
    int allocations = 0;
    std::size_t largestRead = 0;
    int reads = 0;
    std::size_t totalRead = 0;
    // Run before each ranged read of the resource (counted from 1); false fails that read.
    std::function<bool(std::size_t)> beforeRead = [](std::size_t) { return true; };

    // No memory for an image of the resource (small files, a history say, may have theirs).
    std::unique_ptr<ImageMemory> allocate(std::size_t size) override {
        if (size < files.at("G\\S.RES").size()) return MemoryHost::allocate(size);
        ++allocations;
        return nullptr;
    }
    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override {
        auto inner = MemoryHost::openForReading(path, nameCase);
        if (!inner || path != "G\\S.RES") return inner;
        return std::make_unique<ResourceWatch>(std::move(inner), beforeRead, largestRead, reads, totalRead);
    }
};

// 40 records of 4 KiB each, unpacked into data/ (one edited), and a file to add.
void makeArchive(RangeHost& host) {
    host.directories = {"G", "G\\data"};
    std::string list;
    Bytes resource;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "R" + std::to_string(i) + ".BIN";
        list += "4096 " + std::to_string(i * 4096) + " " + name + "\r\n";
        Bytes bytes(4096, static_cast<std::byte>(i));
        host.files["G\\data\\" + name] = bytes;
        resource.insert(resource.end(), bytes.begin(), bytes.end());
    }
    host.files["G\\S.RD"] = toBytes(list);
    host.files["G\\S.RES"] = resource;
    host.files["G\\data\\R7.BIN"] = toBytes("an edit");
    host.files["G\\data\\NEW.BIN"] = toBytes("new");
}

struct Command {
    const char* what;
    std::vector<const char*> words;
    std::vector<const char*> first = {};
    PackStatus status = PackStatus::done;
};

const Command kCommands[] = {
    {"update", {"update", "G\\S.RD"}},
    {"add", {"add", "G\\S.RD", "G\\data\\NEW.BIN"}},
    {"remove", {"remove", "G\\S.RD", "R3.BIN"}},
    {"rename", {"rename", "G\\S.RD", "R3.BIN", "Q.BIN"}},
    {"extract", {"extract", "G\\S.RD", "-C", "G\\out"}},
    {"compact", {"compact", "G\\S.RD", "G\\N.RD"}},
    {"status", {"status", "G\\S.RD"}, {}, PackStatus::differs},
    {"undo", {"undo", "G\\S.RD"}, {"remove", "G\\S.RD", "R3.BIN"}},
    {"restore", {"restore", "G\\S.RD", "1"}, {"rename", "G\\S.RD", "R3.BIN", "Q.BIN"}},
};

TEST(ResourceReading, NoCommandHoldsTheWholeResource) {
    for (const Command& command : kCommands) {
        RangeHost host;
        makeArchive(host);
        if (!command.first.empty()) {
            ASSERT_EQ(testing::runQuillpack(host, command.first).status, PackStatus::done) << command.what;
        }
        host.largestRead = 0;
        host.reads = 0;
        const testing::PackResult result = testing::runQuillpack(host, command.words);
        EXPECT_EQ(result.status, command.status) << command.what << ": " << result.err;
        EXPECT_EQ(host.allocations, 0) << command.what;
        // A record at a time at most (a sound's .WAV or a checksum reads no more).
        EXPECT_LE(host.largestRead, std::size_t{4096}) << command.what;
        EXPECT_GT(host.reads, 0) << command.what << " read no range at all";
    }
}

TEST(ResourceReading, UpdateReadsEachRangeOnceWithItsHistory) {
    RangeHost host;
    makeArchive(host);
    ASSERT_EQ(testing::runQuillpack(host, {"update", "G\\S.RD"}).status, PackStatus::done);
    host.files["G\\data\\R9.BIN"] = toBytes("another edit");
    host.totalRead = 0;
    const testing::PackResult result = testing::runQuillpack(host, {"update", "G\\S.RD"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    // Compared once, and the changed record's old bytes read again by the
    // refresh of data/; the history's checksums are those taken while
    // comparing, not a second reading of every range.
    EXPECT_LE(host.totalRead, host.files.at("G\\S.RES").size() - 12 + 2 * 4096);
    // The checksums taken so are the ones undo checks: back to the version before, byte for byte.
    ASSERT_EQ(testing::runQuillpack(host, {"undo", "G\\S.RD"}).status, PackStatus::done);
    EXPECT_EQ(host.files.at("G\\data\\R9.BIN"), Bytes(4096, std::byte{9}));
}

// The history keeps the resource's size and last change as each commit left
// it: while they hold, the checksums it knows hold, and a change that copies
// no old byte (add, rename) reads no range. Once another program wrote into
// the resource, every range is read again, so a version records the bytes it
// really points at.
TEST(ResourceReading, TheHistoryReadsTheResourceAgainOnlyAfterAnotherProgramWroteIntoIt) {
    RangeHost host;
    makeArchive(host);
    ASSERT_EQ(testing::runQuillpack(host, {"update", "G\\S.RD"}).status, PackStatus::done);
    host.totalRead = 0;
    ASSERT_EQ(testing::runQuillpack(host, {"add", "G\\S.RD", "G\\data\\NEW.BIN"}).status, PackStatus::done);
    EXPECT_EQ(host.totalRead, 0u);
    host.totalRead = 0;
    ASSERT_EQ(testing::runQuillpack(host, {"rename", "G\\S.RD", "NEW.BIN", "OLD.BIN"}).status, PackStatus::done);
    EXPECT_LT(host.totalRead, 4096u);  // the renamed record's few bytes, held against its file in data/

    // Another program flips a byte of R2 in place; data/ is unpacked again to match.
    host.files["G\\S.RES"][2 * 4096] = std::byte{0x77};
    host.changed("G\\S.RES");
    host.files["G\\data\\R2.BIN"] = Bytes(4096, std::byte{2});
    host.files["G\\data\\R2.BIN"][0] = std::byte{0x77};
    host.totalRead = 0;
    const testing::PackResult removed = testing::runQuillpack(host, {"remove", "G\\S.RD", "OLD.BIN"});
    ASSERT_EQ(removed.status, PackStatus::done) << removed.err;
    EXPECT_GE(host.totalRead, 39u * 4096u);
    // The version just made holds R2's rewritten bytes, and so does the next
    // one, made without reading them again: undo and redo reach both.
    host.totalRead = 0;
    ASSERT_EQ(testing::runQuillpack(host, {"add", "G\\S.RD", "G\\data\\OLD.BIN"}).status, PackStatus::done);
    EXPECT_EQ(host.totalRead, 0u);
    for (const char* move : {"undo", "redo", "undo"}) {
        const testing::PackResult moved = testing::runQuillpack(host, {move, "G\\S.RD"});
        EXPECT_EQ(moved.status, PackStatus::done) << move << ": " << moved.err;
    }
    // The version before the rewrite points at bytes that are gone: named, not reached.
    const testing::PackResult before = testing::runQuillpack(host, {"undo", "G\\S.RD"});
    EXPECT_EQ(before.status, PackStatus::inputUnusable);
    EXPECT_NE(before.err.find("record 3 R2.BIN: its bytes in"), std::string::npos) << before.err;
}

// What a failed command must leave: the pair and data/ as they were, no history, nothing extracted.
void expectUntouched(const RangeHost& host, const RangeHost& before, const char* what) {
    EXPECT_EQ(host.files.at("G\\S.RD"), before.files.at("G\\S.RD")) << what;
    EXPECT_EQ(host.files.at("G\\S.RES").size(), before.files.at("G\\S.RES").size()) << what;
    EXPECT_EQ(host.files.count("G\\N.RD"), 0u) << what;
    for (const auto& [path, bytes] : before.files) {
        if (path.rfind("G\\data\\", 0) != 0) continue;
        EXPECT_EQ(host.files.count(path) ? host.files.at(path) : Bytes(), bytes) << what << " " << path;
    }
}

TEST(ResourceReading, ARangeThatCannotBeReadStopsTheCommandWithNothingWritten) {
    for (const Command& command : kCommands) {
        if (std::string(command.what) == "status") continue;  // writes nothing either way
        RangeHost host;
        makeArchive(host);
        if (!command.first.empty()) {
            ASSERT_EQ(testing::runQuillpack(host, command.first).status, PackStatus::done) << command.what;
        }
        const RangeHost before = host;
        host.reads = 0;
        host.failure = "Input/output error";
        host.beforeRead = [](std::size_t read) { return read != 2; };
        const testing::PackResult result = testing::runQuillpack(host, command.words);
        EXPECT_EQ(result.status, PackStatus::archiveUnsafe) << command.what << ": " << result.err;
        EXPECT_NE(result.err.find("S.RES: cannot be read: Input/output error"), std::string::npos)
            << command.what << ": " << result.err;
        if (std::string(command.what) == "extract") {
            // Files before the failure are whole; the one whose range failed is not written.
            for (const auto& [path, bytes] : host.files) {
                if (path.rfind("G\\out\\", 0) != 0) continue;
                const int record = std::stoi(path.substr(7));
                EXPECT_EQ(bytes, Bytes(4096, static_cast<std::byte>(record))) << path;
            }
            EXPECT_EQ(host.files.count("G\\out\\R1.BIN"), 0u);
            continue;
        }
        expectUntouched(host, before, command.what);
        EXPECT_EQ(host.files.count("G\\S.RD.history"), before.files.count("G\\S.RD.history")) << command.what;
    }
}

TEST(ResourceReading, AResourceWrittenIntoMeanwhileIsNotMixedIn) {
    for (const Command& command : kCommands) {
        // add and remove copy no byte of the resource: they read only the
        // history's checksums, after their own append.
        if (std::string(command.what) == "status" || std::string(command.what) == "add" ||
            std::string(command.what) == "remove") {
            continue;
        }
        RangeHost host;
        makeArchive(host);
        if (!command.first.empty()) {
            ASSERT_EQ(testing::runQuillpack(host, command.first).status, PackStatus::done) << command.what;
        }
        const RangeHost before = host;
        host.reads = 0;
        // Another program rewrites a byte in place (same size) after the first range is read.
        host.beforeRead = [&host](std::size_t read) {
            if (read == 2) {
                host.files["G\\S.RES"][0] = std::byte{0x55};
                host.changed("G\\S.RES");
            }
            return true;
        };
        const testing::PackResult result = testing::runQuillpack(host, command.words);
        EXPECT_EQ(result.status, PackStatus::archiveUnsafe) << command.what << ": " << result.err;
        EXPECT_NE(result.err.find("S.RES: changed by another program while it was read"), std::string::npos)
            << command.what << ": " << result.err;
        if (std::string(command.what) == "extract") continue;
        EXPECT_EQ(host.files.at("G\\S.RD"), before.files.at("G\\S.RD")) << command.what;
        EXPECT_EQ(host.files.count("G\\N.RD"), 0u) << command.what;
    }
}

}  // namespace
}  // namespace quill::pack
