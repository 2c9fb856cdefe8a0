// Faults found in review of quillpack reading the resource a range at a time
// and of the history's stamp of the resource (its size and last change as the
// last commit left it). Each test fails until its fault is mended.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pack/archive.h"
#include "pack/history.h"
#include "support/memory_host.h"
#include "support/pack_run.h"

namespace quill::pack {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::toBytes;

constexpr const char* kList = "G\\S.RD";
constexpr const char* kResource = "G\\S.RES";

// A memory host with two ways another program or the file system can get
// past a check of size and last change.
class ReviewHost : public MemoryHost {
public:
    // Run once, the first time the list's last change is read after the
    // resource grew past `grownPast`: another program at work while a commit
    // that appended is still under way.
    std::function<void()> duringCommit;
    std::size_t grownPast = 0;
    // Ticks per unit of the times the file system keeps (FAT keeps 2 s): a
    // coarse clock shows changes close together as one time.
    std::int64_t coarse = 1;
    // Fails this resource read (counted from 1; 0: none) with "Input/output error".
    int failRead = 0;
    int reads = 0;
    // Run before each resource read, with its number.
    std::function<void(int)> beforeRead;

    bool readModificationTime(const std::string& path, NameCase nameCase, FileTime& time) override {
        if (duringCommit && path == kList && files.at(kResource).size() > grownPast) {
            const auto run = std::move(duringCommit);
            duringCommit = nullptr;
            run();
        }
        const bool known = MemoryHost::readModificationTime(path, nameCase, time);
        time.ticks /= coarse;
        return known;
    }

    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override;
};

class FailingRead : public ReadFile {
public:
    FailingRead(std::unique_ptr<ReadFile> inner, ReviewHost& host) : inner_(std::move(inner)), host_(host) {}
    bool measure(std::int64_t& size) override { return inner_->measure(size); }
    std::size_t read(std::span<std::byte> buffer) override { return inner_->read(buffer); }
    bool failed() const override { return inner_->failed(); }
    bool readAt(std::int64_t offset, std::span<std::byte> buffer) override {
        ++host_.reads;
        if (host_.beforeRead) host_.beforeRead(host_.reads);
        if (host_.reads == host_.failRead) {
            host_.failure = "Input/output error";
            return false;
        }
        return inner_->readAt(offset, buffer);
    }

private:
    std::unique_ptr<ReadFile> inner_;
    ReviewHost& host_;
};

std::unique_ptr<ReadFile> ReviewHost::openForReading(const std::string& path, NameCase nameCase) {
    auto inner = MemoryHost::openForReading(path, nameCase);
    if (!inner || path != kResource) return inner;
    return std::make_unique<FailingRead>(std::move(inner), *this);
}

// 20 records of 4 KiB, each filled with its number, unpacked into data/ (one
// edited, so that the first update commits and stamps a history).
void makeArchive(ReviewHost& host) {
    host.directories = {"G", "G\\data"};
    std::string list;
    Bytes resource;
    for (int i = 0; i < 20; ++i) {
        const std::string name = "R" + std::to_string(i) + ".BIN";
        list += "4096 " + std::to_string(i * 4096) + " " + name + "\r\n";
        const Bytes bytes(4096, static_cast<std::byte>(i));
        host.files["G\\data\\" + name] = bytes;
        resource.insert(resource.end(), bytes.begin(), bytes.end());
    }
    host.files[kList] = toBytes(list);
    host.files[kResource] = resource;
    host.files["G\\data\\R7.BIN"] = toBytes("an edit");
    host.files["G\\data\\NEW.BIN"] = toBytes("new");
}

// Another program rewrites record 5's first byte in place (the resource keeps
// its size); data/ is unpacked again to match, so no edit is pending.
void rewriteRecord5(ReviewHost& host) {
    host.files.at(kResource)[5 * 4096] = std::byte{0x77};
    host.changed(kResource);
    host.files.at("G\\data\\R5.BIN")[0] = std::byte{0x77};
}

// The list goes after the command and its options.
testing::PackResult run(ReviewHost& host, std::vector<const char*> words) {
    auto at = words.begin() + 1;
    while (at != words.end() && (*at)[0] == '-') ++at;
    words.insert(at, kList);
    return testing::runQuillpack(host, words);
}

// The ranges of the history's current version whose checksum the history
// vouches for (its stamp is the resource as found now) but which the resource
// does not hold: the next change would take them without reading.
std::vector<std::string> vouchedButWrong(ReviewHost& host) {
    History history;
    std::string problem;
    if (!parseHistory(host.files.at("G\\S.RD.history"), history, problem)) return {"history: " + problem};
    FileTime now;
    const Bytes& resource = host.files.at(kResource);
    if (!host.readModificationTime(kResource, NameCase::exact, now) ||
        history.resourceSize != static_cast<std::int64_t>(resource.size()) || history.resourceTicks != now.ticks) {
        return {};  // not vouched for: the next change reads every range
    }
    const HistoryVersion* current = history.find(history.current);
    if (current == nullptr) return {"no current version"};
    const auto table = std::make_unique<EntryTable>();
    readRecords(current->head, *table);
    std::vector<std::string> wrong;
    for (int i = 0; i < table->count; ++i) {
        const ListEntry& entry = table->entries[static_cast<std::size_t>(i)];
        std::uint64_t sum = 0;
        const auto bytes = std::span(resource).subspan(static_cast<std::size_t>(entry.offset),
                                                       static_cast<std::size_t>(entry.length));
        if (!history.checksumOf(*current, {entry.offset, entry.length}, sum) || sum != checksum(bytes)) {
            wrong.push_back(entry.name);
        }
    }
    return wrong;
}

// Renamed there and back: the version in between points at bytes nothing
// wrote into since, and undo must reach it.
void expectUndoReachesTheVersionBefore(ReviewHost& host, const char* what) {
    ASSERT_EQ(run(host, {"rename", "R10.BIN", "Q10.BIN"}).status, PackStatus::done) << what;
    EXPECT_EQ(vouchedButWrong(host), std::vector<std::string>()) << what << ": after a rename";
    ASSERT_EQ(run(host, {"rename", "Q10.BIN", "R10.BIN"}).status, PackStatus::done) << what;
    const testing::PackResult undone = run(host, {"undo"});
    EXPECT_EQ(undone.status, PackStatus::done) << what << ": " << undone.err;
}

// The stamp is the resource's last change read when the history is written,
// after the ranges were checked and the history's checksums taken (trusted,
// or read after the last check that nothing wrote into the resource): another
// program's write in between is taken into the stamp, and from then on every
// change trusts checksums the resource does not hold (and undo refuses each
// version made so). The commit should stop (status 3), or stamp only what it
// checked. The memory host's open file keeps the bytes it opened, as a real
// one does for a range read before another program's write.
TEST(ResourceReview, AWriteDuringACommitIsNotTakenIntoTheStamp) {
    const struct {
        const char* what;
        bool historyFirst;  // an update commits (and stamps) a history first
        std::vector<const char*> words;
        // The write comes before the 35th read (the new version's checksum of
        // record 5 read already: the list as found reads 20 ranges first), else
        // while the list is checked.
        bool atRead35;
    } cases[] = {
        {"add with a stamped history, a write while the list is checked", true, {"add", "G\\data\\NEW.BIN"}, false},
        {"remove with no history, a write while the checksums are read", false, {"remove", "R3.BIN"}, true},
        {"rename with no history, a write while the checksums are read", false, {"rename", "R3.BIN", "Q3.BIN"}, true},
    };
    for (const auto& c : cases) {
        ReviewHost host;
        makeArchive(host);
        if (c.historyFirst) {
            ASSERT_EQ(run(host, {"update"}).status, PackStatus::done) << c.what;
            ASSERT_EQ(vouchedButWrong(host), std::vector<std::string>()) << c.what;
        } else {
            host.files.at("G\\data\\R7.BIN") = Bytes(4096, std::byte{7});  // nothing to update
        }
        bool wrote = false;
        const auto write = [&host, &wrote] {
            if (!wrote) rewriteRecord5(host);
            wrote = true;
        };
        host.reads = 0;
        if (c.atRead35) {
            host.beforeRead = [&write](int read) {
                if (read == 35) write();
            };
        } else {
            host.grownPast = host.files.at(kResource).size();
            host.duringCommit = write;
        }
        const testing::PackResult result = run(host, c.words);
        host.beforeRead = nullptr;
        ASSERT_TRUE(wrote) << c.what << ": the write was never made";
        if (result.status == PackStatus::done) {
            EXPECT_EQ(vouchedButWrong(host), std::vector<std::string>()) << c.what;
        } else {
            EXPECT_EQ(result.status, PackStatus::archiveUnsafe) << c.what << ": " << result.err;
        }
        expectUndoReachesTheVersionBefore(host, c.what);
    }
}

// A file system whose times are coarse (FAT keeps 2 s) shows a write in place
// soon after a commit as no change at all. One such write is then carried by
// every later version, unread, until another program's write shows; without
// the stamp the next change read it. A stamp as recent as the clock's
// granularity cannot tell (git calls such entries "racily clean").
TEST(ResourceReview, AStampWithinOneTickOfTheClockIsNotTrusted) {
    ReviewHost host;
    host.coarse = 1000000;  // every time this test makes falls into one tick
    makeArchive(host);
    ASSERT_EQ(run(host, {"update"}).status, PackStatus::done);
    ASSERT_EQ(vouchedButWrong(host), std::vector<std::string>());
    rewriteRecord5(host);
    expectUndoReachesTheVersionBefore(host, "after a write in the same tick");
}

// Commands that only report still report from what they read: a range that
// could not be read reads as zeros, and a report built on them names files in
// data/ as edits they are not. They should say the resource cannot be read
// (status 3), as the commands that write do.
TEST(ResourceReview, ReportsSayARangeThatCannotBeRead) {
    const struct {
        const char* what;
        std::vector<const char*> words;
    } reports[] = {
        {"status", {"status"}},
        {"update -n", {"update", "-n"}},
    };
    for (const auto& report : reports) {
        ReviewHost host;
        makeArchive(host);
        host.failRead = 2;
        const testing::PackResult result = run(host, report.words);
        EXPECT_EQ(result.status, PackStatus::archiveUnsafe) << report.what << ": " << result.out << result.err;
        EXPECT_NE(result.err.find("S.RES: cannot be read: Input/output error"), std::string::npos)
            << report.what << ": " << result.out << result.err;
    }
}

}  // namespace
}  // namespace quill::pack
