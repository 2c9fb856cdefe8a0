// quillpack add, remove, rename and extract over lists of every shape the
// unpacker reads: the list's other bytes kept, the new records read back as
// meant, names checked as the game and both unpackers see them, and data/
// left as an unpack of the new archive leaves it.
#include <gtest/gtest.h>

#include "pack/pack.h"
#include "sound/dig_to_wav.h"
#include "support/memory_host.h"
#include "support/pack_run.h"
#include "unpack/unpack.h"

namespace quill::pack {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::toBytes;
using testing::toText;

using Result = testing::PackResult;

class RecordCommands : public ::testing::Test {
protected:
    MemoryHost host;

    void archive(const std::string& list, const std::string& resource) {
        host.files.clear();
        host.directories = {"G", "G\\data"};
        host.files["G\\S.RD"] = toBytes(list);
        host.files["G\\S.RES"] = toBytes(resource);
    }
    Result run(std::vector<const char*> arguments) { return testing::runQuillpack(host, std::move(arguments)); }
    std::string list() const { return toText(host.files.at("G\\S.RD")); }
    // What an unpack of the pair leaves, by name under data/.
    std::map<std::string, std::string> unpacked() {
        MemoryHost fresh;
        fresh.directories = {"G", "G\\data", "G\\data\\SFX"};
        fresh.files["G\\S.RD"] = host.files.at("G\\S.RD");
        fresh.files["G\\S.RES"] = host.files.at("G\\S.RES");
        testing::CapturedConsole console;
        const char* arguments[] = {"quillfane", "G\\S.RD"};
        EXPECT_EQ(quill::run(2, arguments, fresh, console), ExitCode::ok) << console.text;
        std::map<std::string, std::string> files;
        for (const auto& [path, bytes] : fresh.files) {
            if (path.starts_with("G\\data\\")) files[path.substr(7)] = toText(bytes);
        }
        return files;
    }
};

TEST_F(RecordCommands, AddAppendsRecordsInTheListsOwnStyleKeepingEveryOtherByte) {
    struct Case {
        const char* what;
        std::string list;
        std::string expected;
    };
    // The new file "new!" lands at offset 10, past the old resource.
    const std::vector<Case> cases = {
        {"CR LF lines", "5 0 A.BIN\r\n5 5 B.BIN\r\n", "5 0 A.BIN\r\n5 5 B.BIN\r\n4 10 N.BIN\r\n"},
        {"LF lines", "5 0 A.BIN\n5 5 B.BIN\n", "5 0 A.BIN\n5 5 B.BIN\n4 10 N.BIN\n"},
        {"no line end at the end", "5 0 A.BIN\r\n5 5 B.BIN", "5 0 A.BIN\r\n5 5 B.BIN\r\n4 10 N.BIN\r\n"},
        {"one line", "5 0 A.BIN 5 5 B.BIN", "5 0 A.BIN 5 5 B.BIN\r\n4 10 N.BIN\r\n"},
        {"text after the records", "5 0 A.BIN\r\n5 5 B.BIN\r\n; the end\r\n",
         "5 0 A.BIN\r\n5 5 B.BIN\r\n4 10 N.BIN\r\n; the end\r\n"},
        {"a 12-byte name cut short", "5 0 A.BIN\r\n5 5 ABCDEFGHIJKLMN\r\n",
         "5 0 A.BIN\r\n5 5 ABCDEFGHIJKL\r\n4 10 N.BIN\r\nMN\r\n"},
        {"a NUL after the last name", std::string("5 0 A.BIN\n5 5 B.BIN\0junk", 24),
         std::string("5 0 A.BIN\n5 5 B.BIN\n4 10 N.BIN\n\0junk", 36)},
        {"Ctrl-Z after the records", "5 0 A.BIN\r\n5 5 B.BIN\x1A" "9 9 X\r\n",
         "5 0 A.BIN\r\n5 5 B.BIN\r\n4 10 N.BIN\x1A" "9 9 X\r\n"},
    };
    for (const Case& c : cases) {
        archive(c.list, "aaaaabbbbb");
        host.files["G\\data\\N.BIN"] = toBytes("new!");
        const Result result = run({"add", "G\\S.RD", "G\\data\\N.BIN"});
        EXPECT_EQ(result.status, PackStatus::done) << c.what << result.err;
        EXPECT_EQ(list(), c.expected) << c.what;
        EXPECT_EQ(toText(host.files.at("G\\S.RES")), "aaaaabbbbbnew!") << c.what;
        EXPECT_EQ(unpacked().at("N.BIN"), "new!") << c.what;
    }
}

TEST_F(RecordCommands, RemoveAndRenameChangeOnlyTheirRecordsText) {
    struct Case {
        const char* what;
        std::string list;
        std::vector<const char*> command;  // after the list
        std::string expected;
    };
    const std::string three = "5 0 A.BIN\r\n3 5 B.BIN\r\n2 8 C.BIN\r\n";
    const std::vector<Case> cases = {
        {"the first", three, {"remove", "A.BIN"}, "3 5 B.BIN\r\n2 8 C.BIN\r\n"},
        {"one in the middle", three, {"remove", "B.BIN"}, "5 0 A.BIN\r\n2 8 C.BIN\r\n"},
        {"the last", three, {"remove", "C.BIN"}, "5 0 A.BIN\r\n3 5 B.BIN\r\n"},
        {"the last two", three, {"remove", "C.BIN", "B.BIN"}, "5 0 A.BIN\r\n"},
        {"a name given in another case", three, {"remove", "b.bin"}, "5 0 A.BIN\r\n2 8 C.BIN\r\n"},
        {"every record of a repeated name", "5 0 A.BIN\r\n3 5 B.BIN\r\n2 8 A.BIN\r\n", {"remove", "A.BIN"},
         "3 5 B.BIN\r\n"},
        {"fields run together", "5 0A.BIN 3 5B.BIN 2 8C.BIN", {"remove", "B.BIN"}, "5 0A.BIN 2 8C.BIN"},
        {"a renamed record", three, {"rename", "B.BIN", "SFX\\NEW.TXT"}, "5 0 A.BIN\r\n3 5 SFX\\NEW.TXT\r\n2 8 C.BIN\r\n"},
        {"a 12-byte name run into the next record", "5 0 ABCDEFGHIJKL3 5 B.BIN\r\n", {"rename", "ABCDEFGHIJKL", "X"},
         "5 0 X 3 5 B.BIN\r\n"},
        {"a name right after its offset", "5 0A.BIN 3 5B.BIN", {"rename", "A.BIN", "1.BIN"}, "5 0 1.BIN 3 5B.BIN"},
        {"text glued to the last name", "5 0 A.BIN\r\n3 5 CCCCCCCCCCCC7 x", {"remove", "CCCCCCCCCCCC"},
         "5 0 A.BIN 7 x"},
        {"a name with a carriage return inside", "5 0 A.B\rIN\r\n3 5 B.BIN\r\n", {"rename", "A.BIN", "Z.BIN"},
         "5 0 Z.BIN\r\n3 5 B.BIN\r\n"},
    };
    for (const Case& c : cases) {
        archive(c.list, "aaaaabbbcc");
        std::vector<const char*> arguments = {c.command[0], "G\\S.RD"};
        arguments.insert(arguments.end(), c.command.begin() + 1, c.command.end());
        const Result result = run(arguments);
        EXPECT_EQ(result.status, PackStatus::done) << c.what << result.err;
        EXPECT_EQ(list(), c.expected) << c.what;
        // Nothing is appended: the bytes stay until compact.
        EXPECT_EQ(toText(host.files.at("G\\S.RES")), "aaaaabbbcc") << c.what;
    }
}

TEST_F(RecordCommands, NamesTheUnpackerWouldNotWriteAsTheirOwnFileAreRefused) {
    struct Case {
        const char* name;
        const char* problem;  // found in the message
    };
    const std::vector<Case> cases = {
        {"ABCDEFGHI.BIN", "longer than 12 bytes"},
        {"A B", "white space"},
        {"..\\OUT.BIN", "the unpacker refuses it"},
        {"CON", "the unpacker refuses it"},
        {"A:B", "the unpacker refuses it"},
        {"a.bin", "record 1 (A.BIN) is written to the same file"},
        {"A.BIN.", "ends in a dot or a space"},
        {".", "ends in a dot or a space"},
        {"SFX\\", "a part of it is empty"},
        {"A*B.BIN", "no Windows file name may hold"},
        {"A\x01", "no Windows file name may hold"},
        {"SHOT.WAV", "record 2 (SHOT.DIG) is written to the same file or its .WAV"},
        {"B.BIN", "record 3 (B.BIN) is written to the same file"},
    };
    const std::string before = "5 0 A.BIN\r\n3 5 SHOT.DIG\r\n2 8 B.BIN\r\n";
    for (const Case& c : cases) {
        for (const char* command : {"add", "rename"}) {
            archive(before, "aaaaabbbcc");
            host.files["G\\data\\new"] = toBytes("new bytes");
            const Result result = std::string(command) == "add"
                                      ? run({"add", "G\\S.RD", "G\\data\\new", "--as", c.name})
                                      : run({"rename", "G\\S.RD", "B.BIN", c.name});
            if (std::string(command) == "rename" && std::string(c.name) == "B.BIN") continue;  // its own name
            EXPECT_EQ(result.status, PackStatus::inputUnusable) << command << " " << c.name;
            // add says of a name already listed what to do instead.
            const std::string problem = std::string(command) == "add" && std::string(c.name) == "B.BIN"
                                            ? "B.BIN is already in the archive (record 3)" : c.problem;
            EXPECT_NE(result.err.find(problem), std::string::npos) << command << " " << c.name << ": " << result.err;
            EXPECT_EQ(list(), before) << c.name;
            EXPECT_EQ(toText(host.files.at("G\\S.RES")), "aaaaabbbcc") << c.name;
        }
    }
}

TEST_F(RecordCommands, AddRefusesWhatCouldNotBeARecord) {
    archive("5 0 A.BIN\r\n", "aaaaa");
    host.files["G\\data\\EMPTY"];
    host.files["G\\elsewhere"] = toBytes("x");
    host.files["G\\data\\OK.BIN"] = toBytes("ok");
    const Result result = run({"add", "G\\S.RD", "G\\data\\EMPTY", "G\\elsewhere", "G\\data\\GONE", "G\\data\\OK.BIN"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    // Every problem is named before anything is written.
    EXPECT_NE(result.err.find("G/data/EMPTY: empty"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("G/elsewhere: not under G/data/; give the record's name with --as NAME"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("G/data/GONE: no such file"), std::string::npos) << result.err;
    EXPECT_EQ(list(), "5 0 A.BIN\r\n");
    // --as names one file only.
    EXPECT_EQ(run({"add", "G\\S.RD", "G\\data\\OK.BIN", "G\\elsewhere", "--as", "X"}).status, PackStatus::badCommandLine);
}

TEST_F(RecordCommands, TheListHoldsNoMoreThanTheUnpackerReads) {
    std::string full;
    for (int i = 0; i < 998; ++i) full += "1 0 F" + std::to_string(i) + "\r\n";
    archive(full, "x");
    host.files["G\\data\\A"] = toBytes("a");
    host.files["G\\data\\B"] = toBytes("b");
    // The 999th record goes in; a 1000th would never be read.
    EXPECT_EQ(run({"add", "G\\S.RD", "G\\data\\A"}).status, PackStatus::done);
    const Result past = run({"add", "G\\S.RD", "G\\data\\B"});
    EXPECT_EQ(past.status, PackStatus::inputUnusable);
    EXPECT_NE(past.err.find("the list would hold 1000 records"), std::string::npos) << past.err;
    EXPECT_EQ(unpacked().at("A"), "a");
    // At 999, removing one would let a record past them in: refused with the reason.
    host.files["G\\S.RD"] = toBytes(toText(host.files.at("G\\S.RD")) + "1 0 PAST\r\n");
    const Result removed = run({"remove", "G\\S.RD", "F5"});
    EXPECT_EQ(removed.status, PackStatus::inputUnusable);
    EXPECT_NE(removed.err.find("the list holds 999 records"), std::string::npos) << removed.err;
}

TEST_F(RecordCommands, RemoveAndRenameRefuseNamesNotInTheList) {
    archive("5 0 A.BIN\r\n3 5 B.BIN\r\n3 5 B.BIN\r\n", "aaaaabbb");
    const std::string before = list();
    const std::vector<std::pair<std::vector<const char*>, const char*>> cases = {
        {{"remove", "G\\S.RD", "A.BIN", "NONE"}, "NONE: not in G/S.RD"},
        {{"rename", "G\\S.RD", "NONE", "X"}, "NONE: not in G/S.RD"},
        {{"rename", "G\\S.RD", "B.BIN", "X"}, "B.BIN: names 2 records"},
        {{"remove", "G\\S.RD", "A.BIN", "B.BIN"}, "every record would be gone"},
    };
    for (const auto& [arguments, problem] : cases) {
        const Result result = run(arguments);
        EXPECT_EQ(result.status, PackStatus::inputUnusable) << problem;
        EXPECT_NE(result.err.find(problem), std::string::npos) << result.err;
        EXPECT_EQ(list(), before) << problem;
    }
}

TEST_F(RecordCommands, DataIsLeftAsAnUnpackOfTheNewArchiveLeavesIt) {
    // On Windows A.BIN and a.bin are one file. Removing the later record: the
    // earlier one's bytes stand there again, or a later update would take the
    // old file for an edit and put it back.
    host.rules = NameRules::windows;
    archive("5 0 A.BIN\r\n3 5 B.BIN\r\n3 8 a.bin\r\n", "aaaaabbbccc");
    host.files["G\\data\\A.BIN"] = toBytes("ccc");
    host.files["G\\data\\B.BIN"] = toBytes("bbb");
    Result result = run({"remove", "G\\S.RD", "a.bin"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    EXPECT_EQ(list(), "5 0 A.BIN\r\n3 5 B.BIN\r\n");
    EXPECT_EQ(toText(host.files.at("G\\data\\A.BIN")), "aaaaa");
    result = run({"update", "G\\S.RD"});
    EXPECT_NE(result.out.find("nothing changed"), std::string::npos) << result.out << result.err;

    // A file there that is an edit not put back stops the change: it would be lost.
    archive("5 0 A.BIN\r\n3 5 B.BIN\r\n3 8 a.bin\r\n", "aaaaabbbccc");
    host.files["G\\data\\A.BIN"] = toBytes("my edit");
    result = run({"remove", "G\\S.RD", "a.bin"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    EXPECT_NE(result.err.find("G\\data\\A.BIN: holds bytes the archive does not"), std::string::npos) << result.err;
    EXPECT_EQ(toText(host.files.at("G\\data\\A.BIN")), "my edit");
    EXPECT_EQ(list(), "5 0 A.BIN\r\n3 5 B.BIN\r\n3 8 a.bin\r\n");

    // An edit not put back yet would be left behind by a rename: refused.
    host.rules = NameRules::posix;
    archive("5 0 A.BIN\r\n3 5 B.BIN\r\n", "aaaaabbb");
    host.files["G\\data\\B.BIN"] = toBytes("edited");
    result = run({"rename", "G\\S.RD", "B.BIN", "C.BIN"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    EXPECT_NE(result.err.find("G/data/B.BIN: an edit not put back yet"), std::string::npos) << result.err;
    EXPECT_EQ(list(), "5 0 A.BIN\r\n3 5 B.BIN\r\n");

    // Renaming moves the record's file in data/ with it: nothing is left
    // at the old name for an edit to be lost in.
    host.rules = NameRules::posix;
    archive("5 0 A.BIN\r\n3 5 B.BIN\r\n", "aaaaabbb");
    host.files["G\\data\\B.BIN"] = toBytes("bbb");
    ASSERT_EQ(run({"rename", "G\\S.RD", "B.BIN", "C.BIN"}).status, PackStatus::done);
    EXPECT_EQ(host.files.count("G\\data\\B.BIN"), 0u);
    EXPECT_EQ(toText(host.files.at("G\\data\\C.BIN")), "bbb");
    EXPECT_EQ(host.files.count("G\\data\\B.BIN.quillpack-old"), 0u);

    // A file already at a new record's path that the archive does not hold is refused.
    archive("5 0 A.BIN\r\n", "aaaaa");
    host.files["G\\data\\C.BIN"] = toBytes("mine");
    host.files["G\\other"] = toBytes("theirs");
    result = run({"add", "G\\S.RD", "G\\other", "--as", "C.BIN"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    EXPECT_NE(result.err.find("G/data/C.BIN: holds bytes the archive does not"), std::string::npos) << result.err;
    EXPECT_EQ(list(), "5 0 A.BIN\r\n");
}

TEST_F(RecordCommands, AFileAnUnpackWithoutDig2wavLeftIsNoEdit) {
    // A.WAV is a record of its own, which an unpack with -dig2wav writes over with A.DIG's sound.
    const std::string before = "4 0 A.WAV\r\n6 4 A.DIG\r\n3 0 C.BIN\r\n";
    for (const char* change : {"remove", "rename"}) {
        archive(before, "wwwwdddddd");
        testing::CapturedConsole console;
        const char* unpack[] = {"quillfane", "G\\S.RD"};
        ASSERT_EQ(quill::run(2, unpack, host, console), ExitCode::ok);
        Result result = std::string(change) == "remove" ? run({"remove", "G\\S.RD", "A.WAV"})
                                                        : run({"rename", "G\\S.RD", "A.WAV", "B.WAV"});
        ASSERT_EQ(result.status, PackStatus::done) << change << result.err;
        // The record's old file is not taken for an edit of the sound.
        const Bytes resource = host.files.at("G\\S.RES");
        for (const char* option : {"-wav2dig", "-n"}) {
            result = run({"update", "G\\S.RD", option});
            EXPECT_EQ(result.status, PackStatus::done) << change << option << result.err;
            EXPECT_NE(result.out.find("nothing changed"), std::string::npos) << change << option << result.out;
        }
        EXPECT_EQ(host.files.at("G\\S.RES"), resource) << change;
    }
    // An edit of the sound goes in although A.WAV holds the other record's bytes.
    archive(before, "wwwwdddddd");
    testing::CapturedConsole console;
    const char* unpack[] = {"quillfane", "G\\S.RD"};
    ASSERT_EQ(quill::run(2, unpack, host, console), ExitCode::ok);
    host.files["G\\data\\A.DIG"] = toBytes("edited sound");
    const Result result = run({"update", "G\\S.RD"});
    EXPECT_EQ(result.status, PackStatus::done) << result.err;
    EXPECT_EQ(toText(host.files.at("G\\data\\A.WAV")), "wwww");
}

TEST_F(RecordCommands, ARenamedRecordsFilesMoveWithItAndItsEditsAreNotLost) {
    struct Case {
        const char* what;
        NameRules rules;
        std::map<std::string, std::string> data;  // under G\\data before the rename
        const char* from;
        const char* to;
        std::map<std::string, std::string> after;  // every file under G\\data after it
    };
    const std::string sound = "\x10\x20\x30\x40";
    const std::string wav = toText(companionBytes(toBytes(sound)));
    const std::vector<Case> cases = {
        {"a file moves", NameRules::posix, {{"B.BIN", "bbb"}}, "B.BIN", "C.BIN", {{"C.BIN", "bbb"}}},
        {"into a directory", NameRules::posix, {{"B.BIN", "bbb"}}, "B.BIN", "SFX\\B.BIN", {{"SFX\\B.BIN", "bbb"}}},
        {"into a directory data/ lacks, made", NameRules::posix, {{"B.BIN", "bbb"}}, "B.BIN", "NEW\\B.BIN",
         {{"NEW\\B.BIN", "bbb"}}},
        {"a file not extracted stays missing", NameRules::posix, {}, "B.BIN", "C.BIN", {}},
        {"another letter case on Linux", NameRules::posix, {{"B.BIN", "bbb"}}, "B.BIN", "b.bin", {{"b.bin", "bbb"}}},
        {"another letter case on Windows: one file", NameRules::windows, {{"B.BIN", "bbb"}}, "B.BIN", "b.bin",
         {{"B.BIN", "bbb"}}},
        {"a sound without its .WAV", NameRules::posix, {{"D.DIG", sound}}, "D.DIG", "E.DIG", {{"E.DIG", sound}}},
        {"a sound and its .WAV", NameRules::posix, {{"D.DIG", sound}, {"D.WAV", wav}}, "D.DIG", "E.DIG",
         {{"E.DIG", sound}, {"E.WAV", wav}}},
        {"another record's file is left", NameRules::posix, {{"A.BIN", "aaaaa"}, {"B.BIN", "bbb"}}, "B.BIN", "C.BIN",
         {{"A.BIN", "aaaaa"}, {"C.BIN", "bbb"}}},
    };
    for (const Case& c : cases) {
        host.rules = c.rules;
        archive("5 0 A.BIN\r\n3 5 B.BIN\r\n4 8 D.DIG\r\n", "aaaaabbb" + sound);
        host.directories.insert("G\\data\\SFX");
        for (const auto& [name, bytes] : c.data) host.files["G\\data\\" + name] = toBytes(bytes);
        const Result result = run({"rename", "G\\S.RD", c.from, c.to});
        ASSERT_EQ(result.status, PackStatus::done) << c.what << result.err;
        std::map<std::string, std::string> files;
        for (const auto& [path, bytes] : host.files) {
            if (path.starts_with("G\\data\\")) files[path.substr(7)] = toText(bytes);
        }
        EXPECT_EQ(files, c.after) << c.what;
    }

    // An edit made after the rename, at the new name, goes in with update.
    host.rules = NameRules::posix;
    archive("5 0 A.BIN\r\n3 5 B.BIN\r\n", "aaaaabbb");
    host.files["G\\data\\B.BIN"] = toBytes("bbb");
    ASSERT_EQ(run({"rename", "G\\S.RD", "B.BIN", "C.BIN"}).status, PackStatus::done);
    host.files["G\\data\\C.BIN"] = toBytes("new text");
    const Result update = run({"update", "G\\S.RD"});
    ASSERT_EQ(update.status, PackStatus::done) << update.err;
    EXPECT_EQ(unpacked().at("C.BIN"), "new text");
}

TEST_F(RecordCommands, AddTakesADirectoryWholeAndNamesEveryProblemOfTheBatch) {
    // data/ as an unpack with -dig2wav left it, plus new files in a new directory.
    archive("5 0 A.BIN\r\n4 5 SFX\\S.DIG\r\n", "aaaaa\x10\x20\x30\x40");
    host.directories.insert({"G\\data\\SFX", "G\\data\\SFX\\N"});
    testing::CapturedConsole console;
    const char* unpack[] = {"quillfane", "G\\S.RD", "-dig2wav"};
    ASSERT_EQ(quill::run(3, unpack, host, console), ExitCode::ok) << console.text;
    host.files["G\\data\\SFX\\N\\B.TXT"] = toBytes("bbb");
    host.files["G\\data\\SFX\\A.TXT"] = toBytes("aaa");
    Result result = run({"add", "G\\S.RD", "G\\data\\SFX"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    // In name order, the sound and its .WAV passed over as the archive's.
    EXPECT_EQ(list(), "5 0 A.BIN\r\n4 5 SFX\\S.DIG\r\n3 9 SFX\\A.TXT\r\n3 12 SFX\\N\\B.TXT\r\n");
    EXPECT_NE(result.out.find("2 files in the directories given are the archive's already"), std::string::npos)
        << result.out;

    // Every refused file of a batch is named, and nothing is written.
    archive("5 0 A.BIN\r\n", "aaaaa");
    host.files["G\\data\\A.BIN"] = toBytes("aaaaa");
    host.files["G\\data\\EMPTY.TXT"] = {};
    host.files["G\\data\\GOOD.TXT"] = toBytes("good");
    host.files["G\\elsewhere.txt"] = toBytes("x");
    result = run({"add", "G\\S.RD", "G\\data\\A.BIN", "G\\data\\EMPTY.TXT", "G\\elsewhere.txt", "G\\data\\GOOD.TXT"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    EXPECT_EQ(result.err,
              "G/data/A.BIN: A.BIN is already in the archive (record 1); put a new version in with quillpack update\n"
              "G/data/EMPTY.TXT: empty; a record cannot be empty\n"
              "G/elsewhere.txt: not under G/data/; give the record's name with --as NAME\n"
              "nothing written\n");
    EXPECT_EQ(list(), "5 0 A.BIN\r\n");

    // A record in a directory data/ lacks: the directory is made, and the
    // user told an unpack elsewhere needs it.
    archive("5 0 A.BIN\r\n", "aaaaa");
    host.files["G\\elsewhere.txt"] = toBytes("quest");
    result = run({"add", "G\\S.RD", "G\\elsewhere.txt", "--as", "QUEST\\Q1.TXT"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    EXPECT_EQ(host.directories.count("G\\data\\QUEST"), 1u);
    EXPECT_NE(result.out.find("made G/data/QUEST: an unpack needs it"), std::string::npos) << result.out;
    EXPECT_EQ(list(), "5 0 A.BIN\r\n5 5 QUEST\\Q1.TXT\r\n");
    // Either slash separates directories, for the unpacker as here.
    result = run({"add", "G\\S.RD", "G\\elsewhere.txt", "--as", "Q2/Q2.TXT"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    EXPECT_EQ(host.directories.count("G\\data\\Q2"), 1u) << result.out;
}

TEST_F(RecordCommands, ASoundAddedFromItsWavGoesInScrambledAndItsWavIsRefreshed) {
    archive("5 0 A.BIN\r\n", "aaaaa");
    host.directories.insert("G\\data\\SFX");
    // A .WAV as an editor saves it: 8-bit mono 11025 Hz, with a LIST chunk.
    std::string wav("RIFF\0\0\0\0WAVEfmt ", 16);
    wav += std::string("\x10\x00\x00\x00\x01\x00\x01\x00\x11\x2b\x00\x00\x11\x2b\x00\x00\x01\x00\x08\x00", 20);
    wav += std::string("LIST\x04\x00\x00\x00info", 12);
    wav += std::string("data\x04\x00\x00\x00\x80\x81\x7f\x90", 12);
    host.files["G\\data\\SFX\\NEW.WAV"] = toBytes(wav);
    const Result result = run({"add", "G\\S.RD", "G\\data\\SFX\\NEW.WAV", "-WAV2DIG"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    EXPECT_EQ(list(), "5 0 A.BIN\r\n4 5 SFX\\NEW.DIG\r\n");
    // Put back in the tool's own form, so the next update finds nothing changed.
    const Result again = run({"update", "G\\S.RD", "-wav2dig"});
    EXPECT_EQ(again.status, PackStatus::done) << again.err;
    EXPECT_NE(again.out.find("nothing changed"), std::string::npos) << again.out;
    // Without -wav2dig a .WAV is a file like any other; with it, only sounds.
    EXPECT_EQ(run({"add", "G\\S.RD", "G\\data\\SFX\\NEW.WAV", "--as", "X.BIN", "-wav2dig"}).status,
              PackStatus::inputUnusable);
}

TEST_F(RecordCommands, ExtractWritesWhatAnUnpackWritesAndLeavesEditsAlone) {
    archive("5 0 A.BIN\r\n3 5 SFX\\B.DIG\r\n2 8 SFX\\D\\C.TXT\r\n2 8 A.BIN\r\n", "aaaaabbbcc");
    host.directories = {"G"};  // no data/ yet, nor any directory under it
    Result result = run({"extract", "G\\S.RD", "sfx/*"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err << result.out;
    EXPECT_EQ(toText(host.files.at("G\\data\\SFX\\B.DIG")), "bbb");
    EXPECT_EQ(toText(host.files.at("G\\data\\SFX\\D\\C.TXT")), "cc");
    EXPECT_EQ(host.files.count("G\\data\\A.BIN"), 0u);
    EXPECT_NE(result.out.find("extracted 2 files (5 bytes) to G/data/"), std::string::npos) << result.out;

    // What stands at a path is the last record written there, as in an unpack.
    result = run({"extract", "G\\S.RD", "A.BI?", "-dig2wav"});
    EXPECT_EQ(toText(host.files.at("G\\data\\A.BIN")), "cc");
    EXPECT_EQ(host.files.count("G\\data\\SFX\\B.WAV"), 0u);

    // An edit not put back yet is left alone and named, unless --overwrite.
    host.files["G\\data\\SFX\\B.DIG"] = toBytes("edited");
    result = run({"extract", "G\\S.RD"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    EXPECT_NE(result.err.find("G/data/SFX/B.DIG: differs from record 2 (SFX\\B.DIG)"), std::string::npos)
        << result.err;
    EXPECT_EQ(toText(host.files.at("G\\data\\SFX\\B.DIG")), "edited");
    EXPECT_EQ(run({"extract", "G\\S.RD", "--overwrite"}).status, PackStatus::done);
    EXPECT_EQ(toText(host.files.at("G\\data\\SFX\\B.DIG")), "bbb");

    // Elsewhere, with sounds as .WAV; a pattern that matches nothing is named and nothing is written.
    result = run({"extract", "G\\S.RD", "*.dig", "-C", "G\\out\\sounds", "-dig2wav"});
    EXPECT_EQ(result.status, PackStatus::done) << result.err;
    EXPECT_EQ(toText(host.files.at("G\\out\\sounds\\SFX\\B.DIG")), "bbb");
    EXPECT_EQ(host.files.count("G\\out\\sounds\\SFX\\B.WAV"), 1u);
    result = run({"extract", "G\\S.RD", "*.dig", "NOPE*", "-C", "G\\none"});
    EXPECT_EQ(result.status, PackStatus::badCommandLine);
    EXPECT_EQ(result.err, "'NOPE*': matches no entry of G/S.RD\n");
    EXPECT_EQ(host.directories.count("G\\none"), 0u);
}

TEST_F(RecordCommands, ExtractNamesRecordsAnUnpackWouldStopOnAndWritesTheRest) {
    archive("5 0 A.BIN\r\n3 50 BAD.BIN\r\n2 1 ..\\OUT\r\n2 8 C.BIN\r\n", "aaaaabbbcc");
    const Result result = run({"extract", "G\\S.RD"});
    EXPECT_EQ(result.status, PackStatus::archiveUnsafe);
    EXPECT_NE(result.err.find("record 2 (BAD.BIN): not extracted: "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("with status 5"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("record 3 (..\\OUT): not extracted: the unpacker refuses its name"), std::string::npos)
        << result.err;
    EXPECT_EQ(toText(host.files.at("G\\data\\A.BIN")), "aaaaa");
    EXPECT_EQ(toText(host.files.at("G\\data\\C.BIN")), "cc");
    EXPECT_EQ(host.files.count("G\\OUT"), 0u);
}

}  // namespace
}  // namespace quill::pack
