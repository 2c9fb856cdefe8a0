// Every changing command makes bytes durable before it renames them into
// place: the resource's appended bytes before the new list, each staged file
// before it replaces its target. A crash of the machine between the two could
// otherwise leave a list pointing at bytes that never reached the disk.
#include <gtest/gtest.h>

#include "pack/pack.h"
#include "support/memory_host.h"
#include "support/pack_run.h"

namespace quill::pack {
namespace {

using testing::MemoryHost;
using testing::toBytes;

TEST(Durability, NothingIsRenamedIntoPlaceBeforeItsBytesAreOnTheDisk) {
    const struct {
        const char* what;
        std::vector<const char*> words;
        std::vector<const char*> first = {};  // run before, unwatched
    } commands[] = {
        {"update", {"update", "G\\S.RD"}},
        {"add", {"add", "G\\S.RD", "G\\data\\NEW.BIN"}},
        {"remove", {"remove", "G\\S.RD", "B.BIN"}},
        {"rename", {"rename", "G\\S.RD", "B.BIN", "C.BIN"}},
        {"compact", {"compact", "G\\S.RD", "G\\N.RD"}},
        {"undo", {"undo", "G\\S.RD"}, {"rename", "G\\S.RD", "B.BIN", "C.BIN"}},
        {"restore", {"restore", "G\\S.RD", "1"}, {"remove", "G\\S.RD", "B.BIN"}},
        {"create", {"create", "G\\N.RD", "G\\data"}},
    };
    for (const auto& command : commands) {
        MemoryHost host;
        host.directories = {"G", "G\\data"};
        host.files["G\\S.RD"] = toBytes("5 0 A.BIN\r\n3 5 B.BIN\r\n3 5 D.BIN\r\n");
        host.files["G\\S.RES"] = toBytes("aaaaabbbXYZ");
        host.files["G\\data\\A.BIN"] = toBytes("an edit of A");
        host.files["G\\data\\B.BIN"] = toBytes("bbb");
        host.files["G\\data\\NEW.BIN"] = toBytes("new");
        if (!command.first.empty()) {
            ASSERT_EQ(testing::runQuillpack(host, command.first).status, PackStatus::done) << command.what;
            host.renamesBeforeDurable.clear();
        }
        const testing::PackResult result = testing::runQuillpack(host, command.words);
        ASSERT_EQ(result.status, PackStatus::done) << command.what << ": " << result.err;
        EXPECT_EQ(host.renamesBeforeDurable, std::vector<std::string>()) << command.what;
        EXPECT_EQ(host.unsynced, std::set<std::string>()) << command.what;
        // The command did rename something into place: the check above looked at a real commit.
        if (std::string(command.what) == "compact" || std::string(command.what) == "create") {
            EXPECT_EQ(host.files.count("G\\N.RD"), 1u);
        } else {
            // undo and restore: back to the list as it was, which the first command had changed.
            const bool back = !command.first.empty();
            EXPECT_EQ(host.files.at("G\\S.RD") == toBytes("5 0 A.BIN\r\n3 5 B.BIN\r\n3 5 D.BIN\r\n"), back) << command.what;
            EXPECT_EQ(host.files.count("G\\S.RD.history"), 1u) << command.what;
        }
    }
}

}  // namespace
}  // namespace quill::pack
