// quillpack create on the in-memory host: the new pair unpacks to exactly the
// folder it was made from, sounds and their .WAV files are taken as the
// unpacker writes them, and anything that cannot be a record is named, all of
// it, before a byte is written.
#include <gtest/gtest.h>

#include <map>
#include <set>

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
using Files = std::map<std::string, std::string>;

std::string soundBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + 7) & 0xff);
    return bytes;
}

std::string wavOf(const std::string& sound) { return toText(companionBytes(toBytes(sound))); }

// Reads 3 GB when measured, so a folder can hold more than a resource takes
// without the test holding it.
class HugeFile : public ReadFile {
public:
    bool measure(std::int64_t& size) override {
        size = 3'000'000'000;
        return true;
    }
    std::size_t read(std::span<std::byte>) override { return 0; }
    bool failed() const override { return false; }
    bool readAt(std::int64_t, std::span<std::byte>) override { return false; }
};

// The in-memory disk with what it cannot hold by itself: links, devices and a
// file too large for any resource.
class FolderHost : public MemoryHost {
public:
    std::set<std::string> links;
    std::set<std::string> devices;
    std::set<std::string> huge;

    PathState lookUp(const std::string& path, std::string& reason) override {
        if (links.count(path) != 0) return PathState::link;
        if (devices.count(path) != 0) return PathState::notAFile;
        return MemoryHost::lookUp(path, reason);
    }
    bool listDirectory(const std::string& path, std::vector<std::string>& names) override {
        if (devices.count(path) != 0) {
            failure = "Not a directory";
            return false;
        }
        return MemoryHost::listDirectory(path, names);
    }
    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override {
        if (huge.count(path) != 0) return std::make_unique<HugeFile>();
        return MemoryHost::openForReading(path, nameCase);
    }
};

class CreateCommand : public ::testing::Test {
protected:
    FolderHost host;

    void SetUp() override { host.directories = {"G", "G\\mods"}; }

    // A file, with every directory on its way.
    void put(const std::string& path, const std::string& bytes) {
        for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
            host.directories.insert(path.substr(0, at));
        }
        host.files[path] = toBytes(bytes);
    }
    testing::PackResult create(std::vector<const char*> words) {
        words.insert(words.begin(), "create");
        return testing::runQuillpack(host, std::move(words));
    }
    Files below(const MemoryHost& on, const std::string& directory) const {
        Files files;
        for (const auto& [path, bytes] : on.files) {
            if (path.starts_with(directory + "\\")) files[path.substr(directory.size() + 1)] = toText(bytes);
        }
        return files;
    }
    // What the unpacker leaves in data/ from the pair, on a disk holding only
    // the pair and the directories.
    Files unpacked(const std::string& stem, bool dig2wav, int expectedStatus = 0) {
        MemoryHost fresh;
        fresh.directories = host.directories;
        fresh.files[stem + ".RD"] = host.files.at(stem + ".RD");
        fresh.files[stem + ".RES"] = host.files.at(stem + ".RES");
        testing::CapturedConsole console;
        const std::string list = stem + ".RD";
        const char* arguments[] = {"quillfane", list.c_str(), "-dig2wav"};
        EXPECT_EQ(static_cast<int>(quill::run(dig2wav ? 3 : 2, arguments, fresh, console)), expectedStatus)
            << console.text;
        return below(fresh, "G\\data");
    }
    // Nothing at all of a new pair: no list, no resource, no temporary.
    void expectNoPair(const std::string& stem) const {
        for (const auto& [path, bytes] : host.files) {
            EXPECT_FALSE(path.starts_with(stem + ".")) << path;
        }
    }
};

TEST_F(CreateCommand, AFolderWithSubdirectoriesUnpacksToExactlyItself) {
    struct Case {
        const char* what;
        const char* directory;  // as typed; null: the default, data/ beside the list
        std::string root;       // where the files are
    };
    for (const Case& c : {Case{"a folder given", "G\\mods", "G\\mods"}, Case{"data/ beside the list", nullptr, "G\\data"},
                          Case{"a folder given with a separator after it", "G\\mods\\", "G\\mods"}}) {
        SCOPED_TRACE(c.what);
        host.files.clear();
        host.directories = {"G", "G\\mods", "G\\data"};
        put(c.root + "\\Z.BIN", "zz");
        put(c.root + "\\b.bin", "lower case after upper");
        put(c.root + "\\A.BIN", "first");
        put(c.root + "\\SFX\\SHOT.DIG", soundBytes(600));
        put(c.root + "\\SFX\\SHOT.WAV", wavOf(soundBytes(600)));
        put(c.root + "\\SFX\\D\\B.TXT", "deeper");
        const Files folder = below(host, c.root);
        const auto result = c.directory != nullptr ? create({"G\\NEW.RD", c.directory}) : create({"G\\NEW.RD"});
        ASSERT_EQ(result.status, PackStatus::done) << result.err;
        // Byte order of the names as the list holds them: '\' (0x5C) after
        // capitals, before small letters; a directory's files where its name sorts.
        EXPECT_EQ(toText(host.files.at("G\\NEW.RD")),
                  "5 0 A.BIN\r\n6 5 SFX\\D\\B.TXT\r\n600 11 SFX\\SHOT.DIG\r\n2 611 Z.BIN\r\n22 613 b.bin\r\n");
        EXPECT_EQ(toText(host.files.at("G\\NEW.RES")), "first" "deeper" + soundBytes(600) + "zz" "lower case after upper");
        EXPECT_NE(result.out.find("record 3 SFX\\SHOT.DIG: 600 bytes, from G/" + c.root.substr(2) +
                                  "/SFX/SHOT.DIG (its .WAV beside it agrees)\n"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("wrote G/NEW.RD (5 records) and G/NEW.RES (635 bytes)\n"), std::string::npos)
            << result.out;
        EXPECT_EQ(unpacked("G\\NEW", true), folder);
        // Without -dig2wav, all but the sound's .WAV.
        Files plain = folder;
        plain.erase("SFX\\SHOT.WAV");
        EXPECT_EQ(unpacked("G\\NEW", false), plain);
        // The unpacker makes no directory below data/: create made them.
        EXPECT_EQ(host.directories.count("G\\data\\SFX\\D"), 1u);
        EXPECT_TRUE(host.renamesBeforeDurable.empty());
        EXPECT_TRUE(host.catching);
        EXPECT_TRUE(host.locked.empty());
    }
}

TEST_F(CreateCommand, SoundsGoInWithTheirWavOnlyWhenBothAgree) {
    const std::string sound = soundBytes(900);
    struct Case {
        const char* what;
        Files folder;
        bool wav2dig;
        PackStatus status;
        std::string list;     // when made
        std::string message;  // in the output or the errors
    };
    const std::vector<Case> cases = {
        {"a .DIG alone", {{"S.DIG", sound}}, false, PackStatus::done, "900 0 S.DIG\r\n", "record 1 S.DIG: 900 bytes"},
        {"a .DIG and the .WAV an unpack writes from it", {{"S.DIG", sound}, {"S.WAV", wavOf(sound)}}, false,
         PackStatus::done, "900 0 S.DIG\r\n", "(its .WAV beside it agrees)"},
        {"the same with -wav2dig", {{"S.DIG", sound}, {"S.WAV", wavOf(sound)}}, true, PackStatus::done,
         "900 0 S.DIG\r\n", "(its .WAV beside it agrees)"},
        {"a .WAV edited after its .DIG", {{"S.DIG", sound}, {"S.WAV", wavOf(soundBytes(901))}}, false,
         PackStatus::inputUnusable, "",
         "G/mods/S.WAV: differs from the .WAV an unpack with -dig2wav writes from G/mods/S.DIG; remove the one of the "
         "two not wanted\n"},
        {"the same with -wav2dig", {{"S.DIG", sound}, {"S.WAV", wavOf(soundBytes(901))}}, true,
         PackStatus::inputUnusable, "", "G/mods/S.WAV: differs from the .WAV"},
        {"a lone .WAV, taken as it is", {{"S.WAV", wavOf(sound)}}, false, PackStatus::done,
         std::to_string(944) + " 0 S.WAV\r\n", "1 .WAV file with no .DIG beside it taken as it is (-wav2dig makes "
                                               "sounds of them)\n"},
        {"a lone .WAV with -wav2dig, a sound", {{"S.WAV", wavOf(sound)}}, true, PackStatus::done, "900 0 S.DIG\r\n",
         "record 1 S.DIG: 900 bytes, from G/mods/S.WAV (its samples scrambled)\n"},
        {"a lone .wav with -wav2dig keeps its letter case", {{"s.wav", wavOf(sound)}}, true, PackStatus::done,
         "900 0 s.dig\r\n", "record 1 s.dig"},
        {"a .WAV the game cannot play", {{"S.WAV", "RIFF....WAVEjunk"}}, true, PackStatus::inputUnusable, "",
         "G/mods/S.WAV: "},
        // On Linux an unpack writes S.WAV beside S.DIG, never s.wav.
        {"a .wav in another letter case", {{"S.DIG", sound}, {"s.wav", wavOf(sound)}}, false,
         PackStatus::inputUnusable, "",
         "G/mods/s.wav: the .WAV of S.DIG, but an unpack with -dig2wav writes it as S.WAV; rename it so\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.files.clear();
        for (const auto& [name, bytes] : c.folder) put("G\\mods\\" + name, bytes);
        const auto result = c.wav2dig ? create({"G\\NEW.RD", "G\\mods", "-wav2dig"}) : create({"G\\NEW.RD", "G\\mods"});
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE((result.out + result.err).find(c.message), std::string::npos) << result.out << result.err;
        if (c.status != PackStatus::done) {
            EXPECT_NE(result.err.find("nothing written"), std::string::npos) << result.err;
            expectNoPair("G\\NEW");
            continue;
        }
        EXPECT_EQ(toText(host.files.at("G\\NEW.RD")), c.list);
        const Files back = unpacked("G\\NEW", true);
        if (!c.wav2dig || c.folder.size() == 2) {
            // Exactly the folder, or with a sound's .WAV added when it had none.
            Files expected = c.folder;
            if (c.folder.count("S.DIG") != 0) expected["S.WAV"] = wavOf(sound);
            EXPECT_EQ(back, expected);
        } else {
            // A converted .WAV: its samples come back exactly, beside the .DIG made of them.
            const std::string wav = c.folder.begin()->first;
            EXPECT_EQ(back.at(wav == "s.wav" ? "s.dig" : "S.DIG"), sound);
            EXPECT_EQ(back.at(wav == "s.wav" ? "s.WAV" : "S.WAV"), wavOf(sound));
        }
    }
}

TEST_F(CreateCommand, EveryFileThatCannotBeARecordIsNamedAndNothingIsWritten) {
    put("G\\mods\\GOOD.BIN", "fine");
    put("G\\mods\\SFX\\FINE.BIN", "fine too");
    put("G\\mods\\THIRTEEN.BYTE", "13-byte name");
    put("G\\mods\\SFX\\LONGER.BIN", "12 with SFX\\ in front");
    put("G\\mods\\SP ACE.BIN", "a space");
    put("G\\mods\\EMPTY.BIN", "");
    put("G\\mods\\A:B.BIN", "a colon");
    put("G\\mods\\A?B.BIN", "a question mark");
    put("G\\mods\\CON.TXT", "a device name on Windows");
    put("G\\mods\\TRAIL.", "a trailing dot");
    put("G\\mods\\DUP.BIN", "one");
    put("G\\mods\\dup.bin", "the same file on Windows");
    put("G\\mods\\X.WAV", "the .WAV of X.DIG, a record");
    put("G\\mods\\X.DIG", "a sound");
    put("G\\mods\\LINK.BIN", "");
    host.links.insert("G\\mods\\LINK.BIN");
    put("G\\mods\\FIFO", "");
    host.devices.insert("G\\mods\\FIFO");
    const auto result = create({"G\\NEW.RD", "G\\mods"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    for (const char* named : {"G/mods/THIRTEEN.BYTE: as THIRTEEN.BYTE, longer than 12 bytes",
                              "G/mods/SFX/LONGER.BIN: as SFX\\LONGER.BIN, longer than 12 bytes",
                              "G/mods/SP ACE.BIN: as SP ACE.BIN, holds white space",
                              "G/mods/EMPTY.BIN: empty",
                              "G/mods/A:B.BIN: as A:B.BIN, ",
                              "G/mods/A?B.BIN: as A?B.BIN, holds a character no Windows file name may hold",
                              "G/mods/CON.TXT: as CON.TXT, the unpacker refuses it",
                              "G/mods/TRAIL.: as TRAIL., a part of it is empty",
                              "DUP.BIN: another new record is written to the same file",
                              "G/mods/LINK.BIN: a symbolic link",
                              "G/mods/FIFO: neither a regular file nor a directory that can be read"}) {
        EXPECT_NE(result.err.find(named), std::string::npos) << named << "\n" << result.err;
    }
    // X.WAV is a companion here, but not what an unpack writes from X.DIG.
    EXPECT_NE(result.err.find("G/mods/X.WAV: differs from the .WAV"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("nothing written (12 problems)\n"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("GOOD.BIN"), std::string::npos);
    EXPECT_EQ(result.err.find("FINE.BIN"), std::string::npos);
    EXPECT_TRUE(result.out.empty()) << result.out;
    expectNoPair("G\\NEW");
    EXPECT_EQ(host.directories.count("G\\data"), 0u);
}

TEST_F(CreateCommand, MoreThanAListOrAResourceHoldsIsRefused) {
    for (int i = 0; i < 1000; ++i) put("G\\mods\\F" + std::to_string(i), "x");
    auto result = create({"G\\NEW.RD", "G\\mods"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    EXPECT_NE(result.err.find("the list would hold 1000 records; the unpacker reads 999"), std::string::npos)
        << result.err;
    expectNoPair("G\\NEW");

    host.files.clear();
    put("G\\mods\\A.BIN", "small");
    put("G\\mods\\BIG.BIN", "measured as 3 GB");
    put("G\\mods\\C.BIN", "after it");
    host.huge.insert("G\\mods\\BIG.BIN");
    result = create({"G\\NEW.RD", "G\\mods"});
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    EXPECT_NE(result.err.find("G/mods/BIG.BIN: the resource would pass 2147483647 bytes, the most the unpacker reads, "
                              "from here on (2 files left out, in name order)"),
              std::string::npos)
        << result.err;
    expectNoPair("G\\NEW");
}

TEST_F(CreateCommand, AnExistingArchiveOrAPlaceItCannotGoIsRefused) {
    struct Case {
        const char* what;
        std::vector<const char*> words;
        std::string existing;  // a file there before
        PackStatus status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"the list", {"G\\NEW.RD", "G\\mods"}, "G\\NEW.RD", PackStatus::badCommandLine,
         "G/NEW.RD: already there; create makes a new archive and replaces nothing"},
        {"its resource alone", {"G\\NEW.RD", "G\\mods"}, "G\\NEW.RES", PackStatus::badCommandLine,
         "G/NEW.RES: already there"},
        {"a history left from an archive that stood here", {"G\\NEW.RD", "G\\mods"}, "G\\NEW.RD.history",
         PackStatus::badCommandLine, "G/NEW.RD.history: already there, the history of an archive that stood here"},
        {"a list that would be its own resource", {"G\\NEW", "G\\mods"}, "", PackStatus::badCommandLine,
         "G/NEW: has no extension, so it would be its own resource"},
        {"a list inside the folder", {"G\\mods\\NEW.RD", "G\\mods"}, "", PackStatus::badCommandLine,
         "G/mods/NEW.RD: inside G/mods, which would then hold files no record writes"},
        {"no such folder", {"G\\NEW.RD", "G\\nowhere"}, "", PackStatus::inputUnusable,
         "G/nowhere: not a directory that can be read"},
        {"a folder with no file", {"G\\NEW.RD", "G\\empty"}, "", PackStatus::inputUnusable,
         "G/empty: holds no file; an archive needs a record"},
        {"no directory for the list", {"G\\no\\NEW.RD", "G\\mods"}, "", PackStatus::writeFailed,
         "G/no/NEW.RES: cannot be made"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.files.clear();
        host.directories = {"G", "G\\mods", "G\\empty", "G\\empty\\SUB"};
        put("G\\mods\\A.BIN", "a file");
        if (!c.existing.empty()) put(c.existing, "someone's");
        const std::map<std::string, Bytes> before = host.files;
        const auto result = create(c.words);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(host.files, before);
        EXPECT_TRUE(host.locked.empty());
    }
}

TEST_F(CreateCommand, DryRunSaysWhatWouldBeMadeAndWritesNothing) {
    put("G\\mods\\A.BIN", "aaa");
    put("G\\mods\\SFX\\S.WAV", wavOf(soundBytes(30)));
    const std::map<std::string, Bytes> before = host.files;
    const std::set<std::string> directories = host.directories;
    const auto result = create({"G\\NEW.RD", "G\\mods", "-wav2dig", "--dry-run"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    EXPECT_EQ(result.out,
              "record 1 A.BIN: 3 bytes, from G/mods/A.BIN\n"
              "record 2 SFX\\S.DIG: 30 bytes, from G/mods/SFX/S.WAV (its samples scrambled)\n"
              "would write G/NEW.RD (2 records) and G/NEW.RES (33 bytes); nothing written (-n)\n");
    EXPECT_EQ(host.files, before);
    EXPECT_EQ(host.directories, directories);
    EXPECT_TRUE(host.unsynced.empty());
}

TEST_F(CreateCommand, AFailedWriteOrCtrlCLeavesNothingBehind) {
    put("G\\mods\\A.BIN", "aaa");
    put("G\\mods\\B.BIN", "bbb");
    // The resource cannot be written: a full disk.
    host.unwritable.insert("G\\NEW.RES");
    auto result = create({"G\\NEW.RD", "G\\mods"});
    EXPECT_EQ(result.status, PackStatus::writeFailed);
    EXPECT_NE(result.err.find("G/NEW.RES: writing failed; nothing written\n"), std::string::npos) << result.err;
    expectNoPair("G\\NEW");
    // The temporary list cannot be written, after the resource was.
    host.unwritable = {"G\\NEW.RD.quillpack-create"};
    result = create({"G\\NEW.RD", "G\\mods"});
    EXPECT_EQ(result.status, PackStatus::writeFailed);
    expectNoPair("G\\NEW");
    host.unwritable.clear();
    // Ctrl+C noted before the command looked at anything.
    host.interruptNoted = true;
    result = create({"G\\NEW.RD", "G\\mods"});
    EXPECT_EQ(result.status, PackStatus::interrupted);
    EXPECT_EQ(result.err, "interrupted; nothing written\n");
    expectNoPair("G\\NEW");
    host.interruptNoted = false;
    EXPECT_EQ(create({"G\\NEW.RD", "G\\mods"}).status, PackStatus::done);
}

}  // namespace
}  // namespace quill::pack
