// quillpack's command line and its list, over an in-memory file system.
#include <gtest/gtest.h>

#include "pack/archive.h"
#include "pack/pack.h"
#include "unpack/unpack.h"
#include "support/memory_host.h"
#include "support/pack_run.h"

namespace quill::pack {
namespace {

using testing::toBytes;

using Result = testing::PackResult;

class PackCommand : public ::testing::Test {
protected:
    testing::MemoryHost host;

    Result run(std::vector<const char*> arguments) { return testing::runQuillpack(host, std::move(arguments)); }
};

TEST_F(PackCommand, ListSaysWhereAnUnpackStopsForADirectoryAsTheDiskStands) {
    host.directories = {"G", "G\\data"};
    host.files["G\\S.RD"] = toBytes("5 0 A\r\n3 5 SFX\\B\r\n");
    host.files["G\\S.RES"] = toBytes("0123456789");
    Result result = run({"list", "G\\S.RD"});
    EXPECT_EQ(result.status, PackStatus::archiveUnsafe);
    EXPECT_NE(result.out.find("unpack stops here: G/data/SFX does not exist"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("unpack       stops at record 2 with status 6"), std::string::npos) << result.out;
    host.files["G\\data\\SFX"] = toBytes("a file");
    result = run({"list", "G\\S.RD"});
    EXPECT_EQ(result.status, PackStatus::archiveUnsafe);
    EXPECT_NE(result.out.find("unpack stops here: G/data/SFX is not a directory (status 6)"), std::string::npos)
        << result.out;
    host.files.erase("G\\data\\SFX");
    host.directories.insert("G\\data\\SFX");
    EXPECT_EQ(run({"list", "G\\S.RD"}).status, PackStatus::done);
}

TEST_F(PackCommand, ListPrintsARowPerRecordAndASummary) {
    host.directories = {"G"};
    host.files["G\\S.RD"] = toBytes("5 0 A\r\n10 3 SHOT.DIG\r\n5 0 A\r\n4 96 \x1b[2J\r\n");
    host.files["G\\S.RES"] = testing::Bytes(100);
    const Result result = run({"list", "G\\S.RD"});
    EXPECT_EQ(result.status, PackStatus::done);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "    #  name                offset      length  unpack\n"
              "    1  A                        0           5  write; replaced by record 3; overlaps records 2, 3\n"
              "    2  SHOT.DIG                 3          10  write, and SHOT.WAV (sound, 0.001 s); overlaps records 1, 3\n"
              "    3  A                        0           5  write; overlaps records 1, 2\n"
              "    4  \\x1B[2J                 96           4  write\n"
              "\n"
              "records      4\n"
              "resource     100 bytes (G/S.RES)\n"
              "covered      17 bytes\n"
              "gaps         83 bytes\n"
              "overlapping  5 bytes\n"
              "unpack       completes\n");
}

TEST_F(PackCommand, ListExitsThreeWhenAnUnpackWouldStop) {
    host.directories = {"G"};
    host.files["G\\S.RD"] = toBytes("5 0 A\n5 99 B\n5 0 C\n");
    host.files["G\\S.RES"] = testing::Bytes(100);
    const Result result = run({"list", "G\\S.RD"});
    EXPECT_EQ(result.status, PackStatus::archiveUnsafe);
    EXPECT_NE(result.out.find("    2  B                       99           5  unpack stops here: past the end by 4 "
                              "bytes (status 5)\n"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(result.out.ends_with("unpack       stops at record 2 with status 5\n")) << result.out;
}

TEST_F(PackCommand, ListNamesTheFileItCannotUse) {
    struct Case {
        const char* what;
        std::map<std::string, testing::Bytes> files;
        PackStatus status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"no list", {}, PackStatus::listUnreadable, "G/S.RD: cannot be read: No such file or directory\n"},
        {"no record", {{"G\\S.RD", toBytes("x")}}, PackStatus::archiveUnsafe,
         "G/S.RD: no well-formed record; an unpack stops with status 3\n"},
        {"no resource", {{"G\\S.RD", toBytes("1 0 A")}}, PackStatus::archiveUnsafe,
         "G/S.RES: cannot be read: No such file or directory; an unpack stops with status 4\n"},
        {"empty resource", {{"G\\S.RD", toBytes("1 0 A")}, {"G\\S.RES", {}}}, PackStatus::archiveUnsafe,
         "G/S.RES: empty; an unpack stops with status 4\n"},
    };
    for (const auto& c : cases) {
        host.files = c.files;
        const Result result = run({"list", "G\\S.RD"});
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.err, c.err) << c.what;
        EXPECT_EQ(result.out, "") << c.what;
    }
}

TEST_F(PackCommand, AnUpdateWhileAnotherHoldsTheArchiveIsStatusFiveWithNothingWritten) {
    host.directories = {"G", "G\\data"};
    host.files["G\\S.RD"] = toBytes("5 0 A\n");
    host.files["G\\S.RES"] = toBytes("0123456789");
    host.files["G\\data\\A"] = toBytes("edited");
    const auto held = host.lockExclusive("G\\S.RES", NameCase::exact, LockWait::no);
    ASSERT_NE(held, nullptr);
    const Result result = run({"update", "G\\S.RD"});
    EXPECT_EQ(result.status, PackStatus::writeFailed);
    EXPECT_EQ(result.err, "G/S.RES: cannot be locked: another quillpack command is using it\n");
    EXPECT_EQ(testing::toText(host.files.at("G\\S.RD")), "5 0 A\n");
    EXPECT_EQ(testing::toText(host.files.at("G\\S.RES")), "0123456789");
}

TEST_F(PackCommand, MessagesShowControlBytesOfNamesEscaped) {
    host.directories = {"G", "G\\data"};
    host.files["G\\S.RD"] = toBytes("5 0 \x1b[2J\n");
    host.files["G\\S.RES"] = toBytes("0123456789");
    host.files["G\\data\\\x1b[2J"] = {};
    const Result empty = run({"update", "G\\S.RD"});
    EXPECT_EQ(empty.status, PackStatus::inputUnusable);
    EXPECT_EQ(empty.err, "G/data/\\x1B[2J: empty; a record cannot be empty\n");

    const Result noList = run({"list", "G\\\x07.RD"});
    EXPECT_EQ(noList.status, PackStatus::listUnreadable);
    EXPECT_EQ(noList.err, "G/\\x07.RD: cannot be read: No such file or directory\n");

    host.files["G\\S.RD"] = toBytes("5 0 A\n5 99 \x1b[2JB\n");
    for (const char* command : {"update", "compact"}) {
        const Result stops = std::string(command) == "update" ? run({"update", "G\\S.RD"})
                                                              : run({"compact", "G\\S.RD", "G\\N.RD"});
        EXPECT_EQ(stops.status, PackStatus::archiveUnsafe) << command;
        EXPECT_EQ(stops.err, "G/S.RD: an unpack stops at record 2 (\\x1B[2JB) with status 5; mend the list first\n")
            << command;
    }
}

TEST_F(PackCommand, AnUntouchedUnpackWithSharedCompanionPathsChangesNothing) {
    // Two sounds whose companions share a name (A.DIG and A.dig on Linux), and a
    // record whose own file a later sound's companion replaces (X.WAV before X.DIG).
    for (const char* list : {"5 0 A.DIG\n4 5 A.dig\n3 9 B.TXT\n", "5 0 X.WAV\n6 5 X.DIG\n"}) {
        host.files.clear();
        host.directories = {"G", "G\\data"};
        host.files["G\\S.RD"] = toBytes(list);
        host.files["G\\S.RES"] = toBytes("0123456789ABCDEF");
        testing::CapturedConsole console;
        const char* unpack[] = {"quillfane", "G\\S.RD", "-dig2wav"};
        ASSERT_EQ(quill::run(3, unpack, host, console), ExitCode::ok) << list;
        const Result result = run({"update", "G\\S.RD", "-wav2dig"});
        EXPECT_EQ(result.status, PackStatus::done) << list << result.err;
        EXPECT_EQ(result.out, "nothing changed: G/data/ matches the archive\n") << list;
        EXPECT_EQ(testing::toText(host.files.at("G\\S.RD")), list);
    }
}

TEST_F(PackCommand, CompactIntoAnArchiveAnotherCommandHoldsIsStatusFiveWithNothingWritten) {
    host.directories = {"G"};
    host.files["G\\S.RD"] = toBytes("5 0 A\n");
    host.files["G\\S.RES"] = toBytes("0123456789");
    host.files["G\\D.RD"] = toBytes("3 0 OLD\n");
    host.files["G\\D.RES"] = toBytes("old");
    {
        // An update of the destination is half-way: compact must not replace it.
        const auto held = host.lockExclusive("G\\D.RES", NameCase::exact, LockWait::no);
        ASSERT_NE(held, nullptr);
        const Result result = run({"compact", "G\\S.RD", "G\\D.RD"});
        EXPECT_EQ(result.status, PackStatus::writeFailed);
        EXPECT_EQ(result.err, "G/D.RES: cannot be locked: another quillpack command is using it\n");
        EXPECT_EQ(testing::toText(host.files.at("G\\D.RD")), "3 0 OLD\n");
        EXPECT_EQ(testing::toText(host.files.at("G\\D.RES")), "old");
    }
    // Released: the compact goes ahead.
    EXPECT_EQ(run({"compact", "G\\S.RD", "G\\D.RD"}).status, PackStatus::done);
    EXPECT_EQ(testing::toText(host.files.at("G\\D.RD")), "5 0 A\r\n");
}

TEST_F(PackCommand, CompactIntoANewDestinationIsLockedAndLeavesNothingWhenItFails) {
    host.directories = {"G"};
    host.files["G\\S.RD"] = toBytes("5 0 A\n");
    host.files["G\\S.RES"] = toBytes("0123456789");
    {
        // Another compact into the same new destination holds it: the file
        // it made is its own, and this one's failure leaves it there.
        bool created = false;
        const auto held = host.lockCreating("G\\N.RES", created);
        ASSERT_NE(held, nullptr);
        ASSERT_TRUE(created);
        EXPECT_EQ(run({"compact", "G\\S.RD", "G\\N.RD"}).status, PackStatus::writeFailed);
        EXPECT_EQ(host.files.count("G\\N.RD"), 0u);
        EXPECT_EQ(host.files.count("G\\N.RES"), 1u);
        host.files.erase("G\\N.RES");
    }
    // A compact that fails leaves no empty resource of its own behind.
    host.unwritable.insert("G\\N.RES.quillpack-compact");
    EXPECT_EQ(run({"compact", "G\\S.RD", "G\\N.RD"}).status, PackStatus::writeFailed);
    EXPECT_EQ(host.files.count("G\\N.RES"), 0u);
    EXPECT_EQ(host.files.count("G\\N.RES.quillpack-compact"), 0u);
    // An empty resource that was there already is not the compact's to remove.
    host.files["G\\N.RES"];
    EXPECT_EQ(run({"compact", "G\\S.RD", "G\\N.RD"}).status, PackStatus::writeFailed);
    EXPECT_EQ(host.files.count("G\\N.RES"), 1u);
    host.unwritable.clear();
    EXPECT_EQ(run({"compact", "G\\S.RD", "G\\N.RD"}).status, PackStatus::done);
    EXPECT_EQ(testing::toText(host.files.at("G\\N.RES")), "01234");
}

TEST_F(PackCommand, AListsTailIsNotHeldAndAnUpdateCopiesItByteForByte) {
    // Records, then 8 MiB the reader never needs.
    const std::string records = "5 0 A.BIN\r\n3 5 B.BIN\r\n";
    const std::string tail = "end of records" + std::string(8 << 20, 'x') + "\n";
    host.directories = {"G", "G\\data"};
    host.files["G\\S.RD"] = toBytes(records + tail);
    host.files["G\\S.RES"] = toBytes("0123456789");
    testing::CapturedConsole err;
    Archive archive;
    ASSERT_EQ(loadArchive(host, err, "G\\S.RD", archive), PackStatus::done) << err.text;
    EXPECT_EQ(archive.table->count, 2);
    EXPECT_LE(archive.listHead.size(), std::size_t{1} << 16);

    testing::CapturedConsole console;
    const char* unpack[] = {"quillfane", "G\\S.RD"};
    ASSERT_EQ(quill::run(2, unpack, host, console), ExitCode::ok);
    host.files["G\\data\\B.BIN"] = toBytes("edited");
    const Result result = run({"update", "G\\S.RD"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    EXPECT_EQ(testing::toText(host.files.at("G\\S.RD")), "5 0 A.BIN\r\n6 10 B.BIN\r\n" + tail);
}

}  // namespace
}  // namespace quill::pack
