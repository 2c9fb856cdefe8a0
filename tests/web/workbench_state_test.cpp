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
        {"a record out of range", "remove 3", {}, nullptr, nullptr, "the list has 2 records"},
        {"bytes that did not come", "replace 1 f9 raw", {}, nullptr, nullptr, "did not arrive"},
        {"a .WAV for a text", "replace 1 f0 wav", {{"f0", gameWav("abc")}}, nullptr, nullptr, "sound (.DIG) only"},
        {"a .WAV of another format", "replace 2 f0 wav", {{"f0", "RIFF....WAVE"}}, nullptr, nullptr, "nothing written"},
        {"an empty record", "replace 1 f0 raw", {{"f0", ""}}, nullptr, nullptr, "empty"},
        {"a change it does not know", "delete 1", {}, nullptr, nullptr, "does not know"},
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
    // The page that saved reloads; from then on the old version's records are refused.
    EXPECT_EQ(state.record("1", false, version, SIZE_MAX, false).body, "text");
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
