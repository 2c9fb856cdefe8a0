// Seeded random archives (gaps, overlaps, repeated names, sounds, names in a
// subdirectory), unpacked with -dig2wav, edited at random, put back with
// update -wav2dig and unpacked again: every edited file as edited, every other
// file as before, the list changed only in the changed records' numbers, and
// conflicting edits refused with nothing written.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "pack/pack.h"
#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "support/memory_host.h"
#include "unpack/unpack.h"

namespace quill::pack {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::toBytes;

using Files = std::map<std::string, Bytes>;

Files dataFiles(const MemoryHost& host) {
    Files files;
    for (const auto& [path, bytes] : host.files) {
        if (path.starts_with("G\\data\\")) files[path.substr(7)] = bytes;
    }
    return files;
}

// Unpacks the pair in host into a fresh memory host and returns what it wrote.
Files unpackOf(const MemoryHost& host) {
    MemoryHost fresh;
    fresh.directories = {"G", "G\\data", "G\\data\\SFX"};
    fresh.files["G\\L.RD"] = host.files.at("G\\L.RD");
    fresh.files["G\\L.RES"] = host.files.at("G\\L.RES");
    testing::CapturedConsole console;
    const char* arguments[] = {"quillfane", "G\\L.RD", "-dig2wav"};
    EXPECT_EQ(run(3, arguments, fresh, console), ExitCode::ok) << console.text;
    return dataFiles(fresh);
}

// The list with every number replaced by N: what must stay as it was.
std::string withoutNumbers(const Bytes& list) {
    std::string text;
    bool inNumber = false;
    for (const std::byte b : list) {
        const char c = static_cast<char>(b);
        const bool digit = (c >= '0' && c <= '9') || c == '-' || c == '+';
        if (digit && !inNumber) text += 'N';
        if (!digit) text += c;
        inNumber = digit;
    }
    return text;
}

Bytes randomBytes(std::mt19937& random, std::size_t size) {
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::byte>(random() & 0xff);
    return bytes;
}

TEST(UpdateRoundTrip, RandomEditsGoBackExactlyAndConflictsWriteNothing) {
    const char* names[] = {"A.BIN", "B.DIG", "c.dig", "SFX\\D.DIG", "SFX\\E", "F.TXT", "a.bin"};
    int edits = 0;
    int conflicts = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 random(seed);
        MemoryHost host;
        host.directories = {"G", "G\\data", "G\\data\\SFX"};
        const std::size_t resourceSize = 200 + random() % 3000;
        host.files["G\\L.RES"] = randomBytes(random, resourceSize);
        std::string list;
        const int records = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < records; ++i) {
            const std::size_t offset = random() % (resourceSize - 1);
            const std::size_t length = 1 + random() % (resourceSize - offset);
            list += std::to_string(length) + (random() % 2 ? " " : "  ") + std::to_string(offset) + " " +
                    names[random() % std::size(names)] + (random() % 2 ? "\r\n" : "\n");
        }
        list += "trailing text is kept\n";
        host.files["G\\L.RD"] = toBytes(list);
        const Files before = unpackOf(host);
        for (const auto& [name, bytes] : before) host.files["G\\data\\" + name] = bytes;

        // Edit some entries, or their .WAV, or both.
        Files expected = before;
        bool conflict = false;
        for (const auto& [name, bytes] : before) {
            if (name.ends_with(".WAV") || random() % 3 != 0) continue;
            const bool sound = isSoundName(name);
            const int how = static_cast<int>(random() % (sound ? 4 : 1));
            Bytes edited = randomBytes(random, 1 + random() % 500);
            const std::string wav = wavNameFor(name);
            const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(edited.size()));
            Bytes asWav(header.begin(), header.end());
            Bytes samples(edited.size());
            unscrambleInto(edited, 0, samples);
            asWav.insert(asWav.end(), samples.begin(), samples.end());
            if (how == 0) {  // the entry itself
                host.files["G\\data\\" + name] = edited;
            } else if (how == 1) {  // its .WAV
                host.files["G\\data\\" + wav] = asWav;
            } else if (how == 2) {  // both, alike
                host.files["G\\data\\" + name] = edited;
                host.files["G\\data\\" + wav] = asWav;
            } else {  // both, differently
                host.files["G\\data\\" + name] = edited;
                Bytes other = randomBytes(random, edited.size() + 1);
                const WavHeader otherHeader = makeWavHeader(static_cast<std::uint32_t>(other.size()));
                Bytes otherWav(otherHeader.begin(), otherHeader.end());
                otherWav.insert(otherWav.end(), other.begin(), other.end());
                host.files["G\\data\\" + wav] = otherWav;
                conflict = true;
            }
            expected[name] = edited;
            if (sound) expected[wav] = asWav;
            ++edits;
        }

        const Bytes listBefore = host.files.at("G\\L.RD");
        const Bytes resourceBefore = host.files.at("G\\L.RES");
        testing::CapturedConsole out;
        testing::CapturedConsole err;
        const char* arguments[] = {"quillpack", "update", "G\\L.RD", "-wav2dig"};
        const PackStatus status = runPack(4, arguments, host, out, err);
        if (conflict) {
            ++conflicts;
            EXPECT_EQ(status, PackStatus::inputUnusable) << seed;
            EXPECT_EQ(host.files.at("G\\L.RD"), listBefore) << seed;
            EXPECT_EQ(host.files.at("G\\L.RES"), resourceBefore) << seed;
            continue;
        }
        ASSERT_EQ(status, PackStatus::done) << seed << "\n" << err.text;
        const Files after = unpackOf(host);
        for (const auto& [name, bytes] : expected) {
            const auto found = after.find(name);
            EXPECT_TRUE(found != after.end() && found->second == bytes)
                << "seed " << seed << ": " << name << (found == after.end() ? " missing" : " differs") << "\n"
                << testing::toText(host.files.at("G\\L.RD")) << out.text;
        }
        EXPECT_EQ(after.size(), expected.size()) << seed;
        EXPECT_EQ(withoutNumbers(host.files.at("G\\L.RD")), withoutNumbers(listBefore)) << seed;
        // The old bytes stay where they were: only appended to.
        const Bytes& resource = host.files.at("G\\L.RES");
        EXPECT_TRUE(std::equal(resourceBefore.begin(), resourceBefore.end(), resource.begin())) << seed;
        // data/ is what an unpack of the new archive leaves, so running the
        // command again, with the option or without, finds nothing to do.
        EXPECT_EQ(dataFiles(host), after) << seed;
        const Bytes listAfter = host.files.at("G\\L.RD");
        const Bytes resourceAfter = host.files.at("G\\L.RES");
        for (const int argc : {4, 3}) {
            testing::CapturedConsole againOut;
            testing::CapturedConsole againErr;
            EXPECT_EQ(runPack(argc, arguments, host, againOut, againErr), PackStatus::done) << seed << againErr.text;
            EXPECT_NE(againOut.text.find("nothing changed"), std::string::npos) << seed << againOut.text;
            EXPECT_EQ(host.files.at("G\\L.RD"), listAfter) << seed;
            EXPECT_EQ(host.files.at("G\\L.RES"), resourceAfter) << seed;
        }
    }
    EXPECT_GT(edits, 30);
    EXPECT_GT(conflicts, 3);
}

// Rounds of edits, each put back by an update with or without -wav2dig and
// checked by an unpack: the files are always as last edited. A .WAV edited
// without the option is refused with nothing written, then taken with it.
TEST(UpdateRoundTrip, RepeatedEditsAndUpdatesAlwaysGiveTheLastEdit) {
    const char* names[] = {"A.BIN", "B.DIG", "c.dig", "SFX\\D.DIG", "E.TXT"};
    int refusedWithoutOption = 0;
    for (unsigned seed = 1; seed <= 25; ++seed) {
        std::mt19937 random(seed);
        MemoryHost host;
        host.directories = {"G", "G\\data", "G\\data\\SFX"};
        host.files["G\\L.RES"] = randomBytes(random, 2000);
        std::string list;
        for (const char* name : names) {
            list += std::to_string(1 + random() % 300) + " " + std::to_string(random() % 1500) + " " + name + "\r\n";
        }
        host.files["G\\L.RD"] = toBytes(list);
        Files expected = unpackOf(host);
        for (const auto& [name, bytes] : expected) host.files["G\\data\\" + name] = bytes;

        for (int round = 0; round < 6; ++round) {
            const std::string name = names[random() % std::size(names)];
            Bytes edited = randomBytes(random, 1 + random() % 400);
            const bool viaWav = isSoundName(name) && random() % 2 == 0;
            if (viaWav) {
                const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(edited.size()));
                Bytes wav(header.begin(), header.end());
                wav.insert(wav.end(), edited.begin(), edited.end());  // samples, as an editor saves them
                host.files["G\\data\\" + wavNameFor(name)] = wav;
                expected[wavNameFor(name)] = wav;
                Bytes entry(edited.size());
                scrambleInto(edited, 0, entry);
                expected[name] = entry;
            } else {
                host.files["G\\data\\" + name] = edited;
                expected[name] = edited;
                if (isSoundName(name)) {
                    const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(edited.size()));
                    Bytes wav(header.begin(), header.end());
                    wav.resize(header.size() + edited.size());
                    unscrambleInto(edited, 0, std::span(wav).subspan(header.size()));
                    expected[wavNameFor(name)] = wav;
                }
            }
            const bool withOption = viaWav || random() % 2 == 0;
            const char* arguments[] = {"quillpack", "update", "G\\L.RD", "-wav2dig"};
            testing::CapturedConsole out;
            testing::CapturedConsole err;
            if (viaWav && random() % 2 == 0) {
                const Bytes listBefore = host.files.at("G\\L.RD");
                EXPECT_EQ(runPack(3, arguments, host, out, err), PackStatus::inputUnusable) << seed << " " << round;
                EXPECT_EQ(host.files.at("G\\L.RD"), listBefore) << seed;
                ++refusedWithoutOption;
            }
            ASSERT_EQ(runPack(withOption ? 4 : 3, arguments, host, out, err), PackStatus::done)
                << seed << " " << round << "\n" << err.text;
            const Files after = unpackOf(host);
            for (const auto& [file, bytes] : expected) {
                EXPECT_TRUE(after.count(file) != 0 && after.at(file) == bytes) << seed << " " << round << " " << file;
            }
            EXPECT_EQ(dataFiles(host), after) << seed << " " << round;
        }
    }
    EXPECT_GT(refusedWithoutOption, 5);
}

}  // namespace
}  // namespace quill::pack

namespace quill::pack {
namespace {

PackStatus packRun(MemoryHost& host, std::vector<std::string> words, std::string* errText = nullptr) {
    words.insert(words.begin(), "quillpack");
    std::vector<const char*> arguments;
    for (const std::string& word : words) arguments.push_back(word.c_str());
    testing::CapturedConsole out;
    testing::CapturedConsole err;
    const PackStatus status = runPack(static_cast<int>(arguments.size()), arguments.data(), host, out, err);
    if (errText != nullptr) *errText = err.text + out.text;
    return status;
}

// Random sequences of the five commands that change or read an archive, each
// followed by an unpack: the archive always holds what was last edited, added,
// removed or renamed, and data/ what an unpack of it leaves.
TEST(EveryCommandRoundTrip, RandomSequencesAlwaysGiveWhatWasLastDone) {
    const std::vector<std::string> pool = {"A.BIN", "B.TXT", "SFX\\C.DIG", "SFX\\D", "E.MAP", "F.BIN", "G.DIG"};
    int done[5] = {};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        MemoryHost host;
        host.directories = {"G", "G\\data"};
        host.files["G\\L.RES"] = randomBytes(random, 600);
        host.files["G\\L.RD"] = toBytes("100 0 A.BIN\n200 100 SFX\\C.DIG\n300 300 E.MAP\n");
        Files model = {{"A.BIN", Bytes(host.files["G\\L.RES"].begin(), host.files["G\\L.RES"].begin() + 100)},
                       {"SFX\\C.DIG", Bytes(host.files["G\\L.RES"].begin() + 100, host.files["G\\L.RES"].begin() + 300)},
                       {"E.MAP", Bytes(host.files["G\\L.RES"].begin() + 300, host.files["G\\L.RES"].end())}};
        std::string err;
        ASSERT_EQ(packRun(host, {"extract", "G\\L.RD"}, &err), PackStatus::done) << err;
        for (int step = 0; step < 12; ++step) {
            std::vector<std::string> present;
            std::vector<std::string> absent;
            for (const std::string& name : pool) (model.count(name) != 0 ? present : absent).push_back(name);
            const int kind = static_cast<int>(random() % 5);
            const std::string some = present[random() % present.size()];
            std::string what;
            if (kind == 0) {  // update: an edit put back
                const Bytes edited = randomBytes(random, 1 + random() % 300);
                host.files["G\\data\\" + some] = edited;
                model[some] = edited;
                what = "update " + some;
                ASSERT_EQ(packRun(host, {"update", "G\\L.RD"}, &err), PackStatus::done) << what << err;
            } else if (kind == 1) {  // extract: a file lost from data/ comes back
                host.files.erase("G\\data\\" + some);
                what = "extract " + some;
                ASSERT_EQ(packRun(host, {"extract", "G\\L.RD", some}, &err), PackStatus::done) << what << err;
            } else if (kind == 2 && !absent.empty()) {  // add, from data/ or from elsewhere
                const std::string name = absent[random() % absent.size()];
                const Bytes bytes = randomBytes(random, 1 + random() % 300);
                what = "add " + name;
                if (random() % 2 == 0 && !name.starts_with("SFX")) {
                    host.files["G\\new"] = bytes;
                    ASSERT_EQ(packRun(host, {"add", "G\\L.RD", "G\\new", "--as", name}, &err), PackStatus::done)
                        << what << err;
                } else {
                    host.directories.insert("G\\data\\SFX");
                    host.files["G\\data\\" + name] = bytes;
                    ASSERT_EQ(packRun(host, {"add", "G\\L.RD", "G\\data\\" + name}, &err), PackStatus::done)
                        << what << err;
                }
                model[name] = bytes;
            } else if (kind == 3 && present.size() > 1) {  // remove
                what = "remove " + some;
                ASSERT_EQ(packRun(host, {"remove", "G\\L.RD", some}, &err), PackStatus::done) << what << err;
                model.erase(some);
                host.files.erase("G\\data\\" + some);  // the user tidies up
            } else if (kind == 4 && !absent.empty()) {  // rename
                const std::string name = absent[random() % absent.size()];
                what = "rename " + some + " " + name;
                ASSERT_EQ(packRun(host, {"rename", "G\\L.RD", some, name}, &err), PackStatus::done) << what << err;
                model[name] = model[some];
                model.erase(some);
                host.files.erase("G\\data\\" + some);
                host.directories.insert("G\\data\\SFX");
                ASSERT_EQ(packRun(host, {"extract", "G\\L.RD", name}, &err), PackStatus::done) << what << err;
            } else {
                continue;
            }
            ++done[kind];
            // What an unpack leaves is the model, and so is data/.
            Files unpacked;
            {
                MemoryHost fresh;
                fresh.directories = {"G", "G\\data", "G\\data\\SFX"};
                fresh.files["G\\L.RD"] = host.files.at("G\\L.RD");
                fresh.files["G\\L.RES"] = host.files.at("G\\L.RES");
                testing::CapturedConsole console;
                const char* arguments[] = {"quillfane", "G\\L.RD"};
                ASSERT_EQ(run(2, arguments, fresh, console), ExitCode::ok) << what << console.text;
                unpacked = dataFiles(fresh);
            }
            EXPECT_TRUE(unpacked == model) << "seed " << seed << ", " << what << "\n"
                                           << testing::toText(host.files.at("G\\L.RD"));
            // data/ holds no stale file: each one there is what an unpack
            // writes there (one added from elsewhere may be missing).
            for (const auto& [name, bytes] : dataFiles(host)) {
                const auto found = model.find(name);
                EXPECT_TRUE(found != model.end() && found->second == bytes)
                    << "seed " << seed << ", " << what << ": data/" << name;
            }
            // Run again, an update finds nothing to do.
            ASSERT_EQ(packRun(host, {"update", "G\\L.RD"}, &err), PackStatus::done) << what << err;
            EXPECT_NE(err.find("nothing changed"), std::string::npos) << what << err;
        }
    }
    for (const int count : done) EXPECT_GT(count, 10);
}

}  // namespace
}  // namespace quill::pack
