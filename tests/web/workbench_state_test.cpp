// What the workbench's requests do to an archive, apart from HTTP: Save
// through the staged changes, refused with nothing written when the archive
// on disk is not the one the page loaded.
#include <gtest/gtest.h>

#include "support/memory_host.h"
#include "unpack/unpack.h"
#include "web/workbench_state.h"

namespace quill::web {
namespace {

using testing::MemoryHost;
using testing::toBytes;
using testing::toText;

std::string hex(const std::string& text) {
    std::string out;
    for (const char c : text) {
        static constexpr char kDigits[] = "0123456789abcdef";
        const auto byte = static_cast<unsigned char>(c);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    }
    return out;
}

// A .WAV of the game's format holding these samples.
std::string gameWav(const std::string& samples) {
    const auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
        return s;
    };
    const auto n = static_cast<std::uint32_t>(samples.size());
    return "RIFF" + le(n + 36, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(11025, 4) + le(11025, 4) +
           le(1, 2) + le(8, 2) + "data" + le(n, 4) + samples;
}

class Workbench : public ::testing::Test {
protected:
    MemoryHost host;
    ServeOptions options{"G\\S.RD", 0, false, false};

    void SetUp() override {
        host.directories = {"G", "G\\data"};
        host.files["G\\S.RD"] = toBytes("4 0 A.TXT\r\n6 4 B.DIG\r\n");
        host.files["G\\S.RES"] = toBytes("textSOUNDS");
    }
    std::string versionOf(WorkbenchState& state) {
        const Reply reply = state.reload();
        EXPECT_EQ(reply.status, 200) << reply.body;
        const std::size_t at = reply.body.find("\"version\":\"") + 11;
        return reply.body.substr(at, reply.body.find('"', at) - at);
    }
};

struct SaveCase {
    const char* what;
    std::string changes;
    std::map<std::string, std::string> parts;
    const char* list;      // the list after Save; null: refused, nothing written
    const char* resource;  // the resource after Save
    const char* message;   // in the reply
};

TEST_F(Workbench, SaveCommitsTheStagedChangesOrWritesNothing) {
    const SaveCase cases[] = {
        {"a replacement", "replace 1 f0 raw", {{"f0", "new!"}}, "4 10 A.TXT\r\n6 4 B.DIG\r\n", "textSOUNDSnew!", "rewritten"},
        {"a sound from a .WAV, scrambled", "replace 2 f0 wav", {{"f0", gameWav(std::string("\x10\x20\x30", 3))}},
         "4 0 A.TXT\r\n3 10 B.DIG\r\n", "textSOUNDS\x10\x20\x30", "rewritten"},
        {"an addition, a removal and a rename", "add f0 raw " + hex("C.BIN") + "\nremove 1\nrename 2 " + hex("D.DIG"),
         {{"f0", "xyz"}}, "6 4 D.DIG\r\n3 10 C.BIN\r\n", "textSOUNDSxyz", "rewritten"},
        {"a record out of range", "remove 3", {}, nullptr, nullptr, "it has 2 records"},
        {"bytes that did not come", "replace 1 f9 raw", {}, nullptr, nullptr, "did not arrive"},
        {"a .WAV for a text", "replace 1 f0 wav", {{"f0", gameWav("abc")}}, nullptr, nullptr, "sound (.DIG) only"},
        {"a .WAV of another format", "replace 2 f0 wav", {{"f0", "RIFF....WAVE"}}, nullptr, nullptr, "nothing written"},
        {"an empty record", "replace 1 f0 raw", {{"f0", ""}}, nullptr, nullptr, "empty"},
        {"a change it does not know", "delete 1", {}, nullptr, nullptr, "change 1 of 1 is not one the workbench knows"},
        {"no change", "", {}, nullptr, nullptr, "no change"},
    };
    for (const SaveCase& c : cases) {
        SetUp();
        WorkbenchState state(host, options);
        const std::string version = versionOf(state);
        std::map<std::string, std::string_view> parts(c.parts.begin(), c.parts.end());
        const Reply reply = state.save(version, c.changes, parts);
        EXPECT_NE(reply.body.find(c.message), std::string::npos) << c.what << ": " << reply.body;
        EXPECT_EQ(reply.body.find("\"ok\":true") != std::string::npos, c.list != nullptr) << c.what << ": " << reply.body;
        EXPECT_EQ(toText(host.files.at("G\\S.RD")), c.list ? c.list : "4 0 A.TXT\r\n6 4 B.DIG\r\n") << c.what;
        EXPECT_EQ(toText(host.files.at("G\\S.RES")), c.resource ? c.resource : "textSOUNDS") << c.what;
    }
}

// Browsers send a form's text fields with CR LF line ends; any line end is one.
TEST_F(Workbench, SaveTakesManyChangesWhateverTheirLineEnds) {
    const std::string lines[] = {"replace 1 f0 raw", "add f1 raw " + hex("C.BIN"), "add f2 wav " + hex("E.DIG"),
                                 "rename 2 " + hex("D.DIG"), "add f3 raw " + hex("F.TXT")};
    const std::map<std::string, std::string> partsText{
        {"f0", "new!"}, {"f1", "xyz"}, {"f2", gameWav(std::string("\x05\x06", 2))}, {"f3", "ff"}};
    const std::map<std::string, std::string_view> parts(partsText.begin(), partsText.end());
    for (const char* end : {"\n", "\r\n", "\r", "mixed"}) {
        SetUp();
        std::string changes;
        for (std::size_t i = 0; i < std::size(lines); ++i) {
            const std::string mixed[] = {"\r\n", "\n", "\r\n\r\n", "\r", ""};
            changes += lines[i] + (std::string(end) == "mixed" ? mixed[i] : std::string(end));
        }
        WorkbenchState state(host, options);
        const Reply reply = state.save(versionOf(state), changes, parts);
        EXPECT_NE(reply.body.find("\"ok\":true"), std::string::npos) << end << ": " << reply.body;
        EXPECT_EQ(toText(host.files.at("G\\S.RD")), "4 10 A.TXT\r\n6 4 D.DIG\r\n3 14 C.BIN\r\n2 17 E.DIG\r\n2 19 F.TXT\r\n")
            << end;
        EXPECT_EQ(toText(host.files.at("G\\S.RES")), std::string("textSOUNDSnew!xyz\x05\x06" "ff", 21)) << end;
    }
}

// A refused Save names each refused change by its record (number and name) or
// its new name, never by the fields the page sent; nothing is written.
TEST_F(Workbench, ARefusedSaveNamesEveryRefusedChange) {
    const std::map<std::string, std::string> partsText{{"f0", "RIFF....WAVE"}, {"f1", gameWav("ab")}, {"f2", ""}};
    const std::map<std::string, std::string_view> parts(partsText.begin(), partsText.end());
    const std::string changes = "replace 2 f0 wav\r\nadd f1 wav " + hex("N.TXT") + "\r\nrename 1 zz\r\nadd f9 raw " +
                                hex("M.BIN") + "\r\nreplace 1 f2 raw";
    WorkbenchState state(host, options);
    const Reply reply = state.save(versionOf(state), changes, parts);
    for (const char* said : {"record 2 B.DIG, its new bytes: ", "the new record N.TXT: a .WAV goes into a sound (.DIG) only",
                             "record 1 A.TXT: its new name did not arrive whole", "the new record M.BIN did not arrive",
                             "nothing written"}) {
        EXPECT_NE(reply.body.find(said), std::string::npos) << said << " in " << reply.body;
    }
    for (const char* never : {"hex", "f0", "f9", "zz", "\\r"}) {
        EXPECT_EQ(reply.body.find(never), std::string::npos) << never << " in " << reply.body;
    }
    EXPECT_EQ(toText(host.files.at("G\\S.RD")), "4 0 A.TXT\r\n6 4 B.DIG\r\n");
    // The empty replacement, once the rest is right, is named by its record too.
    const Reply empty = state.save(versionOf(state), "remove 2\r\nreplace 1 f2 raw", parts);
    EXPECT_NE(empty.body.find("record 1 (A.TXT): would be empty"), std::string::npos) << empty.body;
}

struct NameCheckCase {
    const char* what;
    std::string typed;
    std::string record;   // empty: a new record
    std::string changes;  // staged before it
    const char* problem;  // empty: taken
    const char* note;     // empty: none
};

// The name check agrees with Save: judged against the archive as the staged
// changes leave it, a record may take its own name in another case, or its
// own .WAV's; a directory an unpack would stop at is taken and named.
TEST_F(Workbench, TheNameCheckJudgesTheArchiveAsItWillBe) {
    const NameCheckCase cases[] = {
        {"its own name in another case", "a.txt", "1", "", "", ""},
        {"a sound's own .WAV name", "B.WAV", "2", "", "", ""},
        {"another record's name", "b.dig", "1", "", "record 2 (B.DIG) is written to the same file", ""},
        {"another sound's .WAV", "B.WAV", "1", "", "record 2 (B.DIG) is written to the same file or its .WAV", ""},
        {"a new record on a record's name", "A.txt", "", "", "record 1 (A.TXT) is written to the same file", ""},
        {"a new record on a sound's .WAV", "b.wav", "", "", "or its .WAV", ""},
        {"a name a staged rename frees", "A.TXT", "", "rename 1 " + hex("C.TXT"), "", ""},
        {"a name a staged removal frees", "B.WAV", "", "remove 2\r\n", "", ""},
        {"a name a staged rename takes", "C.TXT", "2", "rename 1 " + hex("C.TXT") + "\r\n", "another new record", ""},
        {"a name a staged addition takes", "x.bin", "", "add f0 raw " + hex("X.BIN"), "another new record", ""},
        {"a rename replacing its own staged one", "C.TXT", "1", "rename 1 " + hex("D.TXT"), "", ""},
        {"too long", "ABCDEFGHI.TXT", "", "", "longer than 12 bytes", ""},
        {"a directory not there", "QUEST\\Q1.TXT", "", "",
         "", "G/data/QUEST does not exist, and the unpacker makes no directory but the data directory: an unpack stops"},
        {"a directory not there, for a rename", "QUEST\\A.TXT", "1", "", "", "QUEST does not exist"},
        {"a directory that is there", "SFX\\Q1.TXT", "", "", "", ""},
    };
    host.directories.insert("G\\data\\SFX");
    WorkbenchState state(host, options);
    versionOf(state);
    for (const NameCheckCase& c : cases) {
        const Reply reply = state.nameCheck(c.typed, c.record, c.changes);
        ASSERT_EQ(reply.status, 200) << c.what << ": " << reply.body;
        if (*c.problem == '\0') {
            EXPECT_NE(reply.body.find("\"problem\":\"\""), std::string::npos) << c.what << ": " << reply.body;
        } else {
            EXPECT_NE(reply.body.find(c.problem), std::string::npos) << c.what << ": " << reply.body;
        }
        if (*c.note == '\0') {
            EXPECT_NE(reply.body.find("\"note\":\"\""), std::string::npos) << c.what << ": " << reply.body;
        } else {
            EXPECT_NE(reply.body.find(c.note), std::string::npos) << c.what << ": " << reply.body;
        }
    }
    EXPECT_EQ(state.nameCheck("C.TXT", "3", "").status, 404);
    // What the check took, Save takes.
    const std::map<std::string, std::string_view> parts{{"f0", "q"}};
    const Reply saved = state.save(versionOf(state), "rename 1 " + hex("a.txt") + "\r\nrename 2 " + hex("B.WAV") +
                                                      "\r\nadd f0 raw " + hex("QUEST\\Q1.TXT"), parts);
    EXPECT_NE(saved.body.find("\"ok\":true"), std::string::npos) << saved.body;
    EXPECT_EQ(toText(host.files.at("G\\S.RD")), "4 0 a.txt\r\n6 4 B.WAV\r\n1 10 QUEST\\Q1.TXT\r\n");
    // The directory the new record needs is made in data/, as add makes it, so an unpack completes.
    EXPECT_EQ(host.directories.count("G\\data\\QUEST"), 1u);
    const std::string view = state.reload().body;
    EXPECT_NE(view.find("\"completes\":true"), std::string::npos) << view;
}

// The page polls the stamp: it changes when the archive on disk does.
TEST_F(Workbench, TheStampChangesWithTheArchiveOnDisk) {
    WorkbenchState state(host, options);
    const std::string view = state.reload().body;
    const std::string before = state.stamp().body;
    EXPECT_NE(before.find("\"stamp\":\""), std::string::npos);
    EXPECT_NE(view.find(before.substr(1, before.size() - 2)), std::string::npos) << view << " holds " << before;
    EXPECT_EQ(state.stamp().body, before);
    host.files["G\\S.RES"] = toBytes("textSOUNDSmore");
    host.times["G\\S.RES"] = 99;
    EXPECT_NE(state.stamp().body, before);
}

TEST_F(Workbench, SaveIsRefusedWhenTheArchiveChangedSinceThePageLoadedIt) {
    WorkbenchState state(host, options);
    const std::string version = versionOf(state);
    const std::map<std::string, std::string_view> parts{{"f0", "new!"}};
    // Another page's Save, or another quillpack, changes the archive.
    ASSERT_NE(state.save(version, "replace 1 f0 raw", parts).body.find("\"ok\":true"), std::string::npos);
    const auto list = host.files.at("G\\S.RD");
    const auto resource = host.files.at("G\\S.RES");
    const Reply stale = state.save(version, "remove 2", {});
    EXPECT_NE(stale.body.find("\"changed\":true"), std::string::npos) << stale.body;
    EXPECT_NE(stale.body.find("nothing written"), std::string::npos) << stale.body;
    EXPECT_EQ(host.files.at("G\\S.RD"), list);
    EXPECT_EQ(host.files.at("G\\S.RES"), resource);
    // The resource on disk is no longer the one the old version was read
    // from: its records are refused (the page reloads) rather than read from it.
    const Reply old = state.record("1", false, version, SIZE_MAX, false);
    EXPECT_EQ(old.status, 409);
    EXPECT_NE(old.body.find("\"changed\":true"), std::string::npos) << old.body;
    const std::string fresh = versionOf(state);
    EXPECT_EQ(state.record("1", false, version, SIZE_MAX, false).status, 409);
    EXPECT_NE(fresh, version);
    EXPECT_EQ(state.record("1", false, fresh, SIZE_MAX, false).body, "new!");
}

TEST_F(Workbench, ReadOnlyRefusesSave) {
    options.readOnly = true;
    WorkbenchState state(host, options);
    const std::string version = versionOf(state);
    EXPECT_EQ(state.save(version, "remove 2", {}).status, 403);
    EXPECT_EQ(toText(host.files.at("G\\S.RD")), "4 0 A.TXT\r\n6 4 B.DIG\r\n");
}

// Another program rewrites the resource in place (same size) after the page
// loaded it: the page's records are refused as changed, never served from the
// new bytes under the old version.
TEST_F(Workbench, ARecordRewrittenInPlaceIsNotServedUnderTheOldVersion) {
    WorkbenchState state(host, options);
    const std::string version = versionOf(state);
    ASSERT_EQ(state.record("1", false, version, SIZE_MAX, false).body, "text");
    host.files.at("G\\S.RES")[0] = std::byte{'T'};
    host.changed("G\\S.RES");
    const Reply rewritten = state.record("1", false, version, SIZE_MAX, false);
    EXPECT_EQ(rewritten.status, 409);
    EXPECT_NE(rewritten.body.find("\"changed\":true"), std::string::npos) << rewritten.body;
    EXPECT_EQ(state.record("1", false, versionOf(state), SIZE_MAX, false).body, "Text");
}

TEST_F(Workbench, RecordsAreServedByNumberOnly) {
    WorkbenchState state(host, options);
    const std::string version = versionOf(state);
    EXPECT_EQ(state.record("1", false, version, SIZE_MAX, true).body, "text");
    EXPECT_EQ(state.record("1", false, version, SIZE_MAX, true).fileName, "A.TXT");
    EXPECT_EQ(state.record("1", false, version, 2, false).body, "te");
    const Reply wav = state.record("2", true, version, SIZE_MAX, true);
    EXPECT_EQ(wav.type, "audio/wav");
    EXPECT_EQ(wav.fileName, "B.WAV");
    EXPECT_EQ(wav.body.size(), 44u + 6u);
    for (const char* number : {"0", "3", "-1", "1x", "", "99999999999"}) {
        EXPECT_EQ(state.record(number, false, version, SIZE_MAX, false).status, 404) << number;
    }
    EXPECT_EQ(state.record("1", true, version, SIZE_MAX, false).status, 404);  // not a sound
}

}  // namespace
}  // namespace quill::web
