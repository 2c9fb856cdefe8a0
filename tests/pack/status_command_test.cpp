// quillpack status: every way data/ can differ from an unpack of the archive,
// named once with its exit status; the same plan update then carries out; and
// list --json and status --json read back as JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <random>
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
using testing::PackResult;
using testing::runQuillpack;
using testing::toBytes;

// The in-memory disk with symbolic links: a link is listed in its directory
// and looked up as one, never followed.
class LinkHost : public MemoryHost {
public:
    std::set<std::string> links;
    PathState lookUp(const std::string& path, std::string& reason) override {
        if (links.count(path) != 0) return PathState::link;
        return MemoryHost::lookUp(path, reason);
    }
    bool listDirectory(const std::string& path, std::vector<std::string>& names) override {
        if (!MemoryHost::listDirectory(path, names)) return false;
        for (const std::string& link : links) {
            if (link.starts_with(path + "\\") && link.find('\\', path.size() + 1) == std::string::npos) {
                names.push_back(link.substr(path.size() + 1));
            }
        }
        return true;
    }
};

Bytes wavOf(const std::string& sound) {
    const Bytes entry = toBytes(sound);
    const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(entry.size()));
    Bytes wav(header.begin(), header.end());
    wav.resize(header.size() + entry.size());
    unscrambleInto(entry, 0, std::span(wav).subspan(header.size()));
    return wav;
}

// Unpacks the list at G\S.RD with -dig2wav, as a modder starts.
void unpack(MemoryHost& host) {
    testing::CapturedConsole console;
    const char* arguments[] = {"quillfane", "G\\S.RD", "-dig2wav"};
    ASSERT_EQ(quill::run(3, arguments, host, console), ExitCode::ok) << console.text;
}

class Status : public ::testing::Test {
protected:
    LinkHost host;

    void SetUp() override {
        host.files.clear();
        host.links.clear();
        host.directories = {"G", "G\\data", "G\\data\\SUB"};
        host.files["G\\S.RD"] = toBytes("5 0 A.BIN\r\n12 5 SHOT.DIG\r\n4 17 SUB\\C.TXT\r\n");
        host.files["G\\S.RES"] = toBytes("aaaaaSOUNDSOUNDxxtext");
        unpack(host);
    }
    PackResult status(std::vector<const char*> options = {}) {
        std::vector<const char*> arguments = {"status", "G\\S.RD"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runQuillpack(host, arguments);
    }
};

TEST_F(Status, NamesEachWayDataDiffersAndSaysSoInItsStatus) {
    struct Case {
        const char* what;
        std::function<void(LinkHost&)> change;
        std::string line;     // in the output, whole
        std::string summary;  // the counts after "differs from the archive: "
    };
    const std::vector<Case> cases = {
        {"an edited file", [](LinkHost& h) { h.files["G\\data\\A.BIN"] = toBytes("edited"); },
         "modified        G/data/A.BIN (record 1; update takes it)\n", "1 modified\n"},
        {"an edited .WAV", [](LinkHost& h) { h.files["G\\data\\SHOT.WAV"] = wavOf("another sound"); },
         "modified .WAV   G/data/SHOT.WAV (update -wav2dig takes it)\n", "1 .WAV modified\n"},
        {"a .DIG and its .WAV edited apart",
         [](LinkHost& h) {
             h.files["G\\data\\SHOT.DIG"] = toBytes("one sound");
             h.files["G\\data\\SHOT.WAV"] = wavOf("another sound");
         },
         "conflict        G/data/SHOT.WAV: differs from the sound SHOT.DIG holds", "1 modified, 1 conflict\n"},
        {"an empty entry file", [](LinkHost& h) { h.files["G\\data\\A.BIN"] = {}; },
         "unusable        G/data/A.BIN: empty; a record cannot be empty\n", "1 unusable\n"},
        {"a missing entry file", [](LinkHost& h) { h.files.erase("G\\data\\A.BIN"); }, "",
         "1 missing (-v names the missing)\n"},
        {"a file no record writes", [](LinkHost& h) { h.files["G\\data\\SUB\\NEW.TXT"] = toBytes("new"); },
         "not in archive  G/data/SUB/NEW.TXT (no record writes it; add takes it)\n", "1 not in the archive\n"},
        {"a directory an unpack needs",
         [](LinkHost& h) {
             h.files.erase("G\\data\\SUB\\C.TXT");
             h.directories.erase("G\\data\\SUB");
         },
         "no directory    G/data/SUB (an unpack needs it)\n", "1 missing, 1 directory missing (-v names the missing)\n"},
        {"a file where an unpack needs a directory",
         [](LinkHost& h) {
             h.files.erase("G\\data\\SUB\\C.TXT");
             h.directories.erase("G\\data\\SUB");
             h.files["G\\data\\SUB"] = toBytes("in the way");
         },
         "no directory    G/data/SUB (not a directory; an unpack needs one)\n",
         "1 missing, 1 directory missing (-v names the missing)\n"},
        {"a file a stopped update set aside",
         [](LinkHost& h) {
             h.files["G\\data\\SHOT.WAV.quillpack-old"] = h.files.at("G\\data\\SHOT.WAV");
             h.files.erase("G\\data\\SHOT.WAV");
         },
         "set aside       G/data/SHOT.WAV.quillpack-old (left by an update that was stopped beside "
         "G/data/SHOT.WAV; it holds no edit: delete it)\n",
         "1 set aside\n"},
        {"a link no record writes", [](LinkHost& h) { h.links.insert("G\\data\\SUB\\ELSEWHERE"); },
         "link            G/data/SUB/ELSEWHERE: a symbolic link; not followed\n", "1 link\n"},
        {"a link where an entry file goes",
         [](LinkHost& h) {
             h.files.erase("G\\data\\A.BIN");
             h.links.insert("G\\data\\A.BIN");
         },
         "unusable        G/data/A.BIN: a symbolic link; put the file itself there\n", "1 unusable\n"},
        {"a directory link an entry file goes through",
         [](LinkHost& h) {
             h.files.erase("G\\data\\SUB\\C.TXT");
             h.directories.erase("G\\data\\SUB");
             h.links.insert("G\\data\\SUB");
         },
         "link            G/data/SUB: a symbolic link inside G/data/; not followed", "1 link\n"},
    };
    for (const Case& c : cases) {
        SetUp();
        c.change(host);
        const PackResult result = status();
        EXPECT_EQ(result.status, PackStatus::differs) << c.what << ": " << result.out << result.err;
        if (!c.line.empty()) {
            EXPECT_NE(result.out.find(c.line), std::string::npos) << c.what << ": " << result.out;
        }
        EXPECT_NE(result.out.find("G/data/ differs from the archive: " + c.summary), std::string::npos)
            << c.what << ": " << result.out;
        EXPECT_EQ(result.err, "") << c.what;
        // Nothing was written: an update still finds the same.
        EXPECT_EQ(status().out, result.out) << c.what;
    }
}

TEST_F(Status, DataAsAnUnpackLeftItIsStatusZero) {
    const PackResult result = status();
    EXPECT_EQ(result.status, PackStatus::done) << result.out << result.err;
    EXPECT_EQ(result.out, "G/data/ is what an unpack of the archive leaves\n");
}

TEST_F(Status, MissingFilesAreNamedWithVerbose) {
    host.files.erase("G\\data\\A.BIN");
    host.files.erase("G\\data\\SUB\\C.TXT");
    const PackResult quiet = status();
    EXPECT_EQ(quiet.out.find("missing    "), std::string::npos) << quiet.out;
    const PackResult verbose = status({"-v"});
    EXPECT_EQ(verbose.status, PackStatus::differs);
    EXPECT_EQ(verbose.out,
              "missing         G/data/A.BIN (kept as it is)\n"
              "missing         G/data/SUB/C.TXT (kept as it is)\n"
              "G/data/ differs from the archive: 2 missing\n");
}

TEST_F(Status, ControlBytesInNamesAreShownEscaped) {
    host.files["G\\data\\\x1b[2J.TXT"] = toBytes("x");
    const PackResult result = status();
    EXPECT_NE(result.out.find("G/data/\\x1B[2J.TXT"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
}

TEST_F(Status, AListThatCannotBeReadOrAnArchiveThatStopsIsRefused) {
    host.files.erase("G\\S.RD");
    EXPECT_EQ(status().status, PackStatus::listUnreadable);
    host.files["G\\S.RD"] = toBytes("5 0 A.BIN\r\n99 5 FAR.BIN\r\n");
    const PackResult stops = status();
    EXPECT_EQ(stops.status, PackStatus::archiveUnsafe);
    EXPECT_NE(stops.err.find("an unpack stops at record 2 (FAR.BIN)"), std::string::npos) << stops.err;
}

// The paths update -n names as the sources of its changes.
std::set<std::string> takenByUpdate(const std::string& out) {
    std::set<std::string> taken;
    for (std::size_t at = out.find(", from "); at != std::string::npos; at = out.find(", from ", at + 1)) {
        const std::size_t start = at + 7;
        taken.insert(out.substr(start, out.find('\n', start) - start));
    }
    return taken;
}

std::set<std::string> pathsIn(const nlohmann::json& document, const std::string& state) {
    std::set<std::string> paths;
    for (const auto& line : document.at("lines")) {
        if (line.at("state") == state) paths.insert(line.at("path").get<std::string>());
    }
    return paths;
}

TEST(StatusAgreesWithUpdate, WhatStatusCallsModifiedIsWhatUpdateTakes) {
    std::mt19937 random(20261211);
    const std::vector<std::string> names = {"A.BIN", "B.DIG", "SUB\\C.TXT", "SUB\\D.DIG", "E.BIN", "SUB\\F.BIN"};
    int compared = 0;  // rounds where update took something status had named
    int refused = 0;   // rounds where update refused
    for (int round = 0; round < 40; ++round) {
        MemoryHost host;
        host.directories = {"G", "G\\data", "G\\data\\SUB"};
        std::string list;
        std::string resource;
        for (const std::string& name : names) {
            const std::string bytes = name + std::string(random() % 7 + 1, static_cast<char>('a' + random() % 26));
            list += std::to_string(bytes.size()) + " " + std::to_string(resource.size()) + " " + name + "\r\n";
            resource += bytes;
            // Now and then a record that writes the file of one before it.
            if (random() % 4 == 0) {
                list += "3 " + std::to_string(random() % resource.size() / 2) + " " + name + "\r\n";
            }
        }
        host.files["G\\S.RD"] = toBytes(list);
        host.files["G\\S.RES"] = toBytes(resource);
        unpack(host);
        std::vector<std::string> files;
        for (const auto& [path, bytes] : host.files) {
            if (path.starts_with("G\\data\\")) files.push_back(path);
        }
        for (int edit = 0; edit < 3; ++edit) {
            const std::string& file = files[random() % files.size()];
            switch (random() % 4) {
                case 0: host.files.erase(file); break;
                case 1: host.files["G\\data\\SUB\\NEW" + std::to_string(edit) + ".TXT"] = toBytes("extra"); break;
                default:
                    host.files[file] = file.ends_with(".WAV") ? wavOf("edited " + std::to_string(round))
                                                              : toBytes("edited " + std::to_string(random()));
            }
        }
        const PackResult status = runQuillpack(host, {"status", "G\\S.RD", "--json"});
        ASSERT_NE(status.status, PackStatus::done) << "round " << round << ": three edits change something";
        const auto document = nlohmann::json::parse(status.out);
        const PackResult update = runQuillpack(host, {"update", "G\\S.RD", "-n"});
        if (update.status == PackStatus::inputUnusable) {
            EXPECT_FALSE(pathsIn(document, "modifiedWav").empty() && pathsIn(document, "conflict").empty() &&
                         pathsIn(document, "unusable").empty())
                << "round " << round << ": update refused, status saw nothing it would refuse\n" << update.err;
            ++refused;
            continue;
        }
        ASSERT_EQ(update.status, PackStatus::done) << update.err;
        EXPECT_EQ(pathsIn(document, "modified"), takenByUpdate(update.out)) << "round " << round << "\n"
                                                                            << status.out << update.out;
        if (!takenByUpdate(update.out).empty()) ++compared;
        // After the update itself nothing is left modified.
        ASSERT_EQ(runQuillpack(host, {"update", "G\\S.RD"}).status, PackStatus::done);
        const auto after = nlohmann::json::parse(runQuillpack(host, {"status", "G\\S.RD", "--json"}).out);
        EXPECT_TRUE(pathsIn(after, "modified").empty()) << "round " << round << ": " << after.dump(1);
    }
    // The random edits reach both outcomes, so neither comparison is vacuous.
    EXPECT_GE(compared, 10);
    EXPECT_GE(refused, 3);
}

TEST_F(Status, JsonCarriesEveryLineAndNamesThatAreNotUtf8) {
    host.files["G\\data\\A.BIN"] = toBytes("edited");
    const std::string name = "G\\data\\\xE9T\x80.TXT";  // Windows-1252: "éT€.TXT"
    host.files[name] = toBytes("new");
    host.files.erase("G\\data\\SUB\\C.TXT");
    const PackResult result = status({"--json"});
    EXPECT_EQ(result.status, PackStatus::differs);
    EXPECT_TRUE(std::ranges::all_of(result.out, [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        << "the document is ASCII, whatever the names";
    const auto document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document.at("schema"), "quillpack-status");
    EXPECT_EQ(document.at("schemaVersion"), 1);
    EXPECT_EQ(document.at("differs"), true);
    EXPECT_EQ(document.at("dataDirectory"), "G/data/");
    EXPECT_EQ(pathsIn(document, "modified"), std::set<std::string>{"G/data/A.BIN"});
    // Missing files are in the document without -v.
    EXPECT_EQ(pathsIn(document, "missing"), std::set<std::string>{"G/data/SUB/C.TXT"});
    EXPECT_EQ(pathsIn(document, "notInArchive"), std::set<std::string>{"G/data/\u00E9T\u20AC.TXT"});
    for (const auto& line : document.at("lines")) {
        if (line.at("state") != "notInArchive") continue;
        EXPECT_EQ(line.at("pathHex"), "472F646174612FE954802E545854");
    }
    const auto& counts = document.at("counts");
    EXPECT_EQ(counts.at("modified"), 1);
    EXPECT_EQ(counts.at("missing"), 1);
    EXPECT_EQ(counts.at("notInArchive"), 1);
    EXPECT_EQ(counts.at("conflict"), 0);
    for (const auto& line : document.at("lines")) {
        if (line.at("state") == "modified") {
            EXPECT_EQ(line.at("records"), nlohmann::json::array({1}));
        }
    }
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

TEST(ListJson, RecordsAndSummaryReadBackWithTheNamesBytes) {
    MemoryHost host;
    host.directories = {"G", "G\\data"};
    const std::string odd = "\x80\xFF\x81.BIN";  // not UTF-8; 0x81 has no Windows-1252 character
    host.files["G\\S.RD"] = toBytes("5 0 " + odd + "\r\n12 5 SHOT.DIG\r\n3 0 caf\xC3\xA9\r\n");
    host.files["G\\S.RES"] = toBytes("aaaaaSOUNDSOUNDxx");
    const PackResult result = runQuillpack(host, {"list", "G\\S.RD", "--json"});
    ASSERT_EQ(result.status, PackStatus::done) << result.err;
    const auto document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document.at("schema"), "quillpack-list");
    EXPECT_EQ(document.at("schemaVersion"), 1);
    const auto& records = document.at("records");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].at("name"), "\u20AC\u00FF\u0081.BIN");
    EXPECT_EQ(fromHex(records[0].at("nameHex").get<std::string>()), odd);
    EXPECT_EQ(records[2].at("name"), "caf\u00E9");  // valid UTF-8 is carried as it is
    EXPECT_EQ(records[1].at("offset"), 5);
    EXPECT_EQ(records[1].at("length"), 12);
    EXPECT_EQ(records[1].at("unpack").at("action"), "write");
    EXPECT_EQ(records[1].at("unpack").at("wav"), "SHOT.WAV");
    EXPECT_NEAR(records[1].at("unpack").at("seconds").get<double>(), 12.0 / 11025.0, 1e-9);
    EXPECT_TRUE(records[0].at("unpack").at("wav").is_null());
    EXPECT_EQ(records[0].at("unpack").at("overlaps"), nlohmann::json::array({3}));
    const auto& summary = document.at("summary");
    EXPECT_EQ(summary.at("records"), 3);
    EXPECT_EQ(summary.at("resourceSize"), 17);
    EXPECT_EQ(summary.at("completes"), true);
    EXPECT_TRUE(summary.at("stopsAt").is_null());
}

TEST(ListJson, AnUnpackThatStopsIsStatusThreeWithWhere) {
    MemoryHost host;
    host.directories = {"G", "G\\data"};
    host.files["G\\S.RD"] = toBytes("5 0 A.BIN\r\n4 0 QUEST\\B.TXT\r\n99 5 FAR.BIN\r\n");
    host.files["G\\S.RES"] = toBytes("aaaaaSOUND");
    const PackResult result = runQuillpack(host, {"list", "G\\S.RD", "--json"});
    EXPECT_EQ(result.status, PackStatus::archiveUnsafe);
    const auto document = nlohmann::json::parse(result.out);
    const auto& records = document.at("records");
    EXPECT_EQ(records[1].at("unpack").at("action"), "missingDirectory");
    EXPECT_NE(records[1].at("unpack").at("reason").get<std::string>().find("QUEST"), std::string::npos);
    EXPECT_EQ(records[2].at("unpack").at("action"), "invalidEntry");
    EXPECT_EQ(document.at("summary").at("stopsAt"), 2);
    EXPECT_EQ(document.at("summary").at("stopStatus"), 6);
    EXPECT_EQ(document.at("summary").at("completes"), false);
}

}  // namespace
}  // namespace quill::pack
