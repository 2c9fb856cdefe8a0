// After an update commits, data/ is made what an unpack of the new archive
// leaves: never through a cut-short file, never over a file saved meanwhile,
// and for every record of a changed group.
#include <gtest/gtest.h>

#include <functional>

#include "pack/pack.h"
#include "sound/dig_to_wav.h"
#include "support/memory_host.h"
#include "support/scratch.h"
#include "unpack/unpack.h"

namespace quill::pack {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::toBytes;
using testing::toText;

// Runs `whileAppending` when the update opens the resource to append: what
// the user does while the command runs.
class BusyHost : public MemoryHost {
public:
    std::function<void(MemoryHost&)> whileAppending;
    std::unique_ptr<WriteFile> openForAppending(const std::string& path, NameCase nameCase,
                                                std::int64_t& size) override {
        if (whileAppending) whileAppending(*this);
        return MemoryHost::openForAppending(path, nameCase, size);
    }
};

struct Result {
    PackStatus status;
    std::string out;
    std::string err;
};

class UpdateRefresh : public ::testing::Test {
protected:
    BusyHost host;
    const std::string list = "5 0 A.BIN\r\n12 5 SHOT.DIG\r\n";

    void SetUp() override {
        host.directories = {"G", "G\\data"};
        host.files["G\\S.RD"] = toBytes(list);
        host.files["G\\S.RES"] = toBytes("aaaaaSOUNDSOUNDxx");
        testing::CapturedConsole console;
        const char* unpack[] = {"quillfane", "G\\S.RD", "-dig2wav"};
        ASSERT_EQ(quill::run(3, unpack, host, console), ExitCode::ok);
    }
    Result update(bool wav2dig) {
        const char* arguments[] = {"quillpack", "update", "G\\S.RD", "-wav2dig"};
        testing::CapturedConsole out;
        testing::CapturedConsole err;
        const PackStatus status = runPack(wav2dig ? 4 : 3, arguments, host, out, err);
        return {status, out.text, err.text};
    }
    Bytes wavOf(const std::string& sound) {
        const Bytes entry = toBytes(sound);
        const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(entry.size()));
        Bytes wav(header.begin(), header.end());
        wav.resize(header.size() + entry.size());
        unscrambleInto(entry, 0, std::span(wav).subspan(header.size()));
        return wav;
    }
};

TEST_F(UpdateRefresh, AFileThatCannotBeRefreshedIsRemovedNotLeftStale) {
    host.files["G\\data\\SHOT.DIG"] = toBytes("a new sound");
    host.unwritable.insert("G\\data\\SHOT.WAV.quillpack-refresh");
    const Result first = update(false);
    EXPECT_EQ(first.status, PackStatus::dataNotRefreshed);
    EXPECT_NE(first.err.find("G/data/SHOT.WAV: not refreshed ("), std::string::npos) << first.err;
    EXPECT_NE(first.err.find("; it is missing now: an unpack makes it again"), std::string::npos) << first.err;
    EXPECT_EQ(host.files.count("G\\data\\SHOT.WAV.quillpack-old"), 0u);
    EXPECT_EQ(host.files.count("G\\data\\SHOT.WAV"), 0u);
    EXPECT_EQ(host.files.count("G\\data\\SHOT.WAV.quillpack-refresh"), 0u);
    // Nothing stale is left to be taken back: the edit stays, with and without the option.
    const Bytes archived = host.files.at("G\\S.RES");
    for (const bool wav2dig : {true, false}) {
        const Result again = update(wav2dig);
        EXPECT_EQ(again.status, PackStatus::done) << again.err;
        EXPECT_NE(again.out.find("nothing changed"), std::string::npos) << again.out;
        EXPECT_EQ(host.files.at("G\\S.RES"), archived);
    }
}

TEST_F(UpdateRefresh, AFileSavedWhileTheUpdateRunsIsLeftAsSaved) {
    host.files["G\\data\\SHOT.DIG"] = toBytes("a new sound");
    const Bytes saved = wavOf("the user's own save");
    host.whileAppending = [&](MemoryHost& files) {
        files.files["G\\data\\SHOT.WAV"] = saved;
        files.changed("G\\data\\SHOT.WAV");
    };
    const Result result = update(false);
    EXPECT_EQ(result.status, PackStatus::dataNotRefreshed);
    EXPECT_NE(result.err.find("G/data/SHOT.WAV: changed since the update read it; left as it is"), std::string::npos)
        << result.err;
    EXPECT_EQ(host.files.at("G\\data\\SHOT.WAV"), saved);
}

TEST_F(UpdateRefresh, AListSavedWhileTheUpdateRunsIsNotRenamedOver) {
    host.files["G\\data\\A.BIN"] = toBytes("edited");
    const Bytes resource = host.files.at("G\\S.RES");
    const Bytes saved = toBytes(list + "3 0 MINE.TXT\r\n");
    host.whileAppending = [&](MemoryHost& files) {
        files.files["G\\S.RD"] = saved;
        files.changed("G\\S.RD");
    };
    const Result result = update(false);
    EXPECT_EQ(result.status, PackStatus::writeFailed);
    EXPECT_NE(result.err.find("G/S.RD: changed while the command ran; the archive is as it was"), std::string::npos)
        << result.err;
    EXPECT_EQ(host.files.at("G\\S.RD"), saved);
    EXPECT_EQ(host.files.at("G\\S.RES"), resource);
}

TEST_F(UpdateRefresh, AFileSavedWhereOneWasSetAsideIsKeptWhenTheCommitFails) {
    host.files["G\\data\\SHOT.DIG"] = toBytes("a new sound");
    const Bytes resource = host.files.at("G\\S.RES");
    const Bytes saved = wavOf("the user's own save");
    host.whileAppending = [&](MemoryHost& files) {
        // The list saved too, so the commit fails and the file set aside would go back.
        files.files["G\\S.RD"] = toBytes(list + "3 0 MINE.TXT\r\n");
        files.changed("G\\S.RD");
        files.files["G\\data\\SHOT.WAV"] = saved;
        files.changed("G\\data\\SHOT.WAV");
    };
    const Result result = update(false);
    EXPECT_EQ(result.status, PackStatus::writeFailed);
    EXPECT_NE(result.err.find("G/data/SHOT.WAV.quillpack-old: left as it is, since G/data/SHOT.WAV was saved "
                              "meanwhile; it holds no edit: delete it"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(host.files.at("G\\data\\SHOT.WAV"), saved);
    EXPECT_EQ(host.files.count("G\\data\\SHOT.WAV.quillpack-old"), 1u);
    EXPECT_EQ(host.files.at("G\\S.RES"), resource);
}

TEST_F(UpdateRefresh, AFileInTheWayOfSettingAsideStopsTheUpdateUntouched) {
    host.files["G\\data\\SHOT.DIG"] = toBytes("a new sound");
    host.files["G\\data\\SHOT.WAV.quillpack-old"] = toBytes("the user's");
    const Bytes wav = host.files.at("G\\data\\SHOT.WAV");
    const Bytes resource = host.files.at("G\\S.RES");
    const Result result = update(false);
    EXPECT_EQ(result.status, PackStatus::writeFailed);
    EXPECT_NE(result.err.find("G/data/SHOT.WAV.quillpack-old: is in the way of setting G/data/SHOT.WAV aside"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(toText(host.files.at("G\\data\\SHOT.WAV.quillpack-old")), "the user's");
    EXPECT_EQ(host.files.at("G\\data\\SHOT.WAV"), wav);
    EXPECT_EQ(host.files.at("G\\S.RES"), resource);
    EXPECT_EQ(toText(host.files.at("G\\S.RD")), list);
}

TEST_F(UpdateRefresh, FilesAStoppedUpdateLeftAreNamed) {
    // Stopped between the commit and the refresh: the .WAV set aside, or half written.
    for (const std::string left : {"G\\data\\SHOT.WAV.quillpack-old", "G\\data\\SHOT.WAV.quillpack-refresh"}) {
        host.files.erase("G\\data\\SHOT.WAV");
        host.files[left] = toBytes("old bytes");
        const Result result = update(false);
        EXPECT_EQ(result.status, PackStatus::done) << result.err;
        const std::string shown = "G/data/SHOT.WAV" + left.substr(left.rfind('.'));
        EXPECT_NE(result.out.find(shown + ": left by an update that was stopped; it holds no edit (an unpack writes "
                                          "G/data/SHOT.WAV afresh): delete it"),
                  std::string::npos)
            << result.out;
        host.files.erase(left);
    }
}

TEST_F(UpdateRefresh, EveryUnusableInputIsNamedBeforeTheStatus) {
    host.files["G\\S.RD"] = toBytes(list + "4 0 TWO.DIG\r\n");
    testing::CapturedConsole console;
    const char* unpack[] = {"quillfane", "G\\S.RD", "-dig2wav"};
    ASSERT_EQ(quill::run(3, unpack, host, console), ExitCode::ok);
    host.files["G\\data\\SHOT.WAV"] = toBytes("not a wave file");
    host.files["G\\data\\TWO.WAV"] = toBytes("nor this one");
    host.files["G\\data\\A.BIN"] = Bytes{};
    const Result result = update(true);
    EXPECT_EQ(result.status, PackStatus::inputUnusable);
    for (const char* named : {"G/data/SHOT.WAV: ", "G/data/TWO.WAV: ", "G/data/A.BIN: empty"}) {
        EXPECT_NE(result.err.find(named), std::string::npos) << named << "\n" << result.err;
    }
}

TEST_F(UpdateRefresh, EveryRecordOfAChangedGroupGetsItsWavRefreshed) {
    // ".\A.DIG" is A.DIG's file, but not a sound by the first-dot rule: only
    // record 1 makes A.WAV. On the system's own file system, where both
    // spellings lead to one file.
    testing::ScratchDirectory scratch;
    testing::writeFile(scratch.path() / "D.RD", "6 0 A.DIG\r\n6 6 .\\A.DIG\r\n");
    testing::writeFile(scratch.path() / "D.RES", "abcdefghijkl");
    const std::string listPath = (scratch.path() / "D.RD").string();
    testing::CapturedConsole console;
    const char* unpack[] = {"quillfane", listPath.c_str(), "-dig2wav"};
    ASSERT_EQ(quill::run(3, unpack, systemHost(), console), ExitCode::ok);
    testing::writeFile(scratch.path() / "data" / "A.DIG", "edited sound");
    const char* arguments[] = {"quillpack", "update", listPath.c_str()};
    testing::CapturedConsole out;
    testing::CapturedConsole err;
    ASSERT_EQ(runPack(3, arguments, systemHost(), out, err), PackStatus::done) << err.text;
    EXPECT_EQ(toBytes(testing::readFile(scratch.path() / "data" / "A.WAV")), wavOf("edited sound"));
    testing::CapturedConsole againOut;
    EXPECT_EQ(runPack(3, arguments, systemHost(), againOut, err), PackStatus::done) << err.text;
    EXPECT_NE(againOut.text.find("nothing changed"), std::string::npos) << againOut.text;
}

// The file a change is taken from holds the record's new bytes: data/'s
// check after the change neither reads it again nor rewrites it, and the
// change stands. update reads it twice: to compare it, and as it appends it
// (its bytes are not held in memory meanwhile); add holds what it read.
TEST_F(UpdateRefresh, TheFileAChangeIsTakenFromIsNotReadAgainForData) {
    struct Case {
        const char* command;
        const char* path;
        int reads;
    };
    for (const Case& c : {Case{"update", "G\\data\\A.BIN", 2}, Case{"add", "G\\data\\NEW.BIN", 1}}) {
        SCOPED_TRACE(c.command);
        host = BusyHost{};
        SetUp();
        host.files[c.path] = toBytes("new bytes");
        host.changed(c.path);
        host.readOpens.clear();
        const char* arguments[] = {"quillpack", c.command, "G\\S.RD", c.path};
        testing::CapturedConsole out;
        testing::CapturedConsole err;
        ASSERT_EQ(runPack(std::string(c.command) == "add" ? 4 : 3, arguments, host, out, err), PackStatus::done)
            << err.text;
        EXPECT_EQ(host.readOpens[c.path], c.reads);
        EXPECT_EQ(toText(host.files.at(c.path)), "new bytes");
        EXPECT_EQ(host.files.count(std::string(c.path) + ".quillpack-old"), 0u);
        // What an unpack of the changed archive leaves there, and nothing left to take.
        const Result again = update(false);
        EXPECT_EQ(again.status, PackStatus::done) << again.err;
        EXPECT_NE(again.out.find("nothing changed"), std::string::npos) << again.out;
        host.files.erase(c.path);
        testing::CapturedConsole console;
        const char* unpack[] = {"quillfane", "G\\S.RD"};
        ASSERT_EQ(quill::run(2, unpack, host, console), ExitCode::ok);
        EXPECT_EQ(toText(host.files.at(c.path)), "new bytes");
    }
}

// An edited file's bytes stay in it until the commit appends them: should it
// change in between, in any way, nothing of it goes in and the archive is as it
// was; the file is left as the user saved it, for the next update.
TEST_F(UpdateRefresh, AnEditedFileChangedBeforeItIsAppendedStopsTheUpdate) {
    const struct {
        const char* what;
        std::function<void(MemoryHost&)> change;
    } cases[] = {
        {"the same length", [](MemoryHost& files) { files.files["G\\data\\A.BIN"] = toBytes("EDITED, too"); }},
        {"longer", [](MemoryHost& files) { files.files["G\\data\\A.BIN"] = toBytes("edited, and more"); }},
        {"shorter", [](MemoryHost& files) { files.files["G\\data\\A.BIN"] = toBytes("edit"); }},
        {"removed", [](MemoryHost& files) { files.files.erase("G\\data\\A.BIN"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host = BusyHost{};
        SetUp();
        const Bytes listBefore = host.files.at("G\\S.RD");
        const Bytes resource = host.files.at("G\\S.RES");
        host.files["G\\data\\A.BIN"] = toBytes("edited, too");
        host.changed("G\\data\\A.BIN");
        host.whileAppending = c.change;
        const Result result = update(false);
        EXPECT_EQ(result.status, PackStatus::writeFailed) << result.out << result.err;
        EXPECT_NE(result.err.find("G/data/A.BIN"), std::string::npos) << result.err;
        EXPECT_EQ(host.files.at("G\\S.RD"), listBefore);
        EXPECT_EQ(host.files.at("G\\S.RES"), resource);
        EXPECT_EQ(host.files.count("G\\S.RD.history"), 0u);
        // The sound's .WAV, set aside for the refresh, is back.
        EXPECT_EQ(host.files.count("G\\data\\SHOT.WAV"), 1u);
        for (const auto& [path, bytes] : host.files) EXPECT_EQ(path.find(".quillpack-"), std::string::npos) << path;
    }
}

}  // namespace
}  // namespace quill::pack
