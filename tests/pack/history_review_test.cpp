// Faults found in review of history, undo, redo and restore. Not in the build:
// each test shows one fault and fails (or crashes) until it is mended.
//   c++ -std=c++20 -O2 -g -DXXH_INLINE_ALL -Itests -Isrc -isystem BUILD/header-libraries/quill_xxhash
//       -isystem BUILD/header-libraries/quill_json tests/pack/history_review_test.cpp -o history_review_test
//       BUILD/tests/libquillfane_test_support.a -lgtest_main BUILD/libquillfane_system.a BUILD/libquillfane_core.a
//       -lgtest -pthread      (one command line; BUILD is a ci build directory)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pack_run.h"
#include "support/scratch.h"
#include "unpack/unpack.h"

namespace quill::pack {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDirectory;

testing::PackResult quillpack(const fs::path& root, std::vector<std::string> words) {
    words.insert(words.begin() + 1, (root / "S.RD").string());
    std::vector<const char*> arguments;
    for (const std::string& word : words) arguments.push_back(word.c_str());
    return testing::runQuillpack(systemHost(), arguments);
}

void prepare(const fs::path& root) {
    std::string resource(4000, '\0');
    for (std::size_t i = 0; i < resource.size(); ++i) resource[i] = static_cast<char>((i * 13 + i / 97) & 0xff);
    testing::writeFile(root / "S.RD", "100 0 A.BIN\r\n600 100 SHOT.DIG\r\n50 1000 B.TXT\r\n");
    testing::writeFile(root / "S.RES", resource);
    const std::string list = (root / "S.RD").string();
    const char* arguments[] = {"quillfane", list.c_str()};
    testing::CapturedConsole console;
    ASSERT_EQ(run(2, arguments, systemHost(), console), ExitCode::ok);
}

// Another tool cuts the resource back after an undo: redo must name the
// record whose bytes are gone. It reads the resource past its end first
// (layOutVersion copies the bytes of records it cannot match before
// bytesGone checks their range), and crashes on a large record.
TEST(HistoryReview, RedoAfterTheResourceWasCutNamesTheRecord) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    testing::writeFile(root / "data/B.TXT", std::string(5'000'000, 'b'));
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);
    ASSERT_EQ(quillpack(root, {"undo"}).status, PackStatus::done);
    fs::resize_file(root / "S.RES", 4000);
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{{"redo", "-n"}, {"redo"}, {"restore", "2"}}) {
        const testing::PackResult result = quillpack(root, words);
        EXPECT_EQ(result.status, PackStatus::inputUnusable) << words[0];
        EXPECT_NE(result.err.find("record 3 B.TXT: its bytes lie past the end"), std::string::npos) << result.err;
    }
}

// A version recorded after another tool rewrote a range in place (and the
// modder unpacked again) holds those very bytes: undo must reach it. One
// checksum is kept per range, the first one recorded, so every later version
// using the range is refused as "not the ones version N recorded".
TEST(HistoryReview, AVersionMadeAfterARewriteCanBeReachedAgain) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    testing::writeFile(root / "data/A.BIN", "first edit");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);  // version 2
    std::string resource = testing::readFile(root / "S.RES");
    resource[300] = static_cast<char>(resource[300] ^ 1);  // SHOT.DIG's bytes, rewritten by another tool
    testing::writeFile(root / "S.RES", resource);
    testing::writeFile(root / "data/SHOT.DIG", resource.substr(100, 600));  // unpacked again
    testing::writeFile(root / "data/B.TXT", "second edit");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);  // version 3, made with the rewritten bytes
    testing::writeFile(root / "data/A.BIN", "third edit");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);  // version 4
    const testing::PackResult undo = quillpack(root, {"undo"});
    EXPECT_EQ(undo.status, PackStatus::done) << undo.err;
}

// undo -n says what undo would do: an edit in data/ not put back stops undo,
// so it stops undo -n too.
TEST(HistoryReview, UndoDryRunRefusesWhatUndoRefuses) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    testing::writeFile(root / "data/B.TXT", "put back");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);
    testing::writeFile(root / "data/B.TXT", "not put back");
    const testing::PackResult dry = quillpack(root, {"undo", "-n"});
    const testing::PackResult real = quillpack(root, {"undo"});
    EXPECT_EQ(real.status, PackStatus::inputUnusable) << real.err;
    EXPECT_EQ(dry.status, real.status) << dry.out << dry.err;
}

// Undo after a list edited by hand goes back to the list before the hand
// edit, not forward to a version undo had left ahead.
TEST(HistoryReview, UndoAfterAHandEditGoesToTheListBeforeIt) {
    ScratchDirectory scratch;
    const fs::path& root = scratch.path();
    prepare(root);
    testing::writeFile(root / "data/B.TXT", "an edit");
    ASSERT_EQ(quillpack(root, {"update"}).status, PackStatus::done);  // version 2
    ASSERT_EQ(quillpack(root, {"undo"}).status, PackStatus::done);    // version 1
    const std::string before = testing::readFile(root / "S.RD");
    testing::writeFile(root / "S.RD", "100 0 A.BIN\r\n600 100 SHOT.DIG\r\n");  // B.TXT's line taken out by hand
    ASSERT_EQ(quillpack(root, {"undo"}).status, PackStatus::done);
    EXPECT_EQ(testing::readFile(root / "S.RD"), before);
}

}  // namespace
}  // namespace quill::pack
