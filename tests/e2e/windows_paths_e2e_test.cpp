// Paths beyond ASCII on both builds: an archive in a directory the ANSI code
// page cannot spell (the Windows build must take its command line and open its
// files as UTF-16), and entry names whose bytes go past 0x7F (the Windows
// build puts them where the game's code page maps them, code page 1252 in the
// prefix the suite runs Wine in; Linux keeps the bytes).
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/archive.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

// Greek and Cyrillic, in UTF-8 (the bytes Linux names hold under Wine too).
const std::string kGreek = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC";
const std::string kCyrillic = "\xD0\x9A\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0";
std::string repeated(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) result += text;
    return result;
}
const std::string kAlphas = repeated("\xCE\xB1", 100);

struct DirectoryCase {
    const char* what;
    std::string directory;  // relative to the scratch directory, with '/'
    bool absolute;          // typed as an absolute path
};

void PrintTo(const DirectoryCase& c, std::ostream* out) { *out << c.what; }

class OutsideTheCodePage : public ArchiveRun, public ::testing::WithParamInterface<DirectoryCase> {
protected:
    std::string typed(const std::string& relative) const {
        const std::string path = rules.typedPath(relative);
        return GetParam().absolute ? rules.absolutePath(scratch.path()) + rules.typedPath("/") + path : path;
    }
};

TEST_P(OutsideTheCodePage, TheArchiveUnpacksIntoItsOwnDataDirectory) {
    const std::string& directory = GetParam().directory;
    writeArchive(scratch.path(), directory + "/S", "9 3 ENTRY.BIN\n5 20 SUB\\B.BIN\n", resource);
    fs::create_directories(at(directory + "/data/SUB"));
    const auto result = run({typed(directory + "/S.RD")});
    EXPECT_EQ(result.status, 0) << result.output << result.error;
    EXPECT_EQ(result.output,
              console(kBanner + "\n" + progress(1, 2, "ENTRY.BIN") + progress(2, 2, "SUB\\B.BIN") + "\nAll done!\n\n"));
    EXPECT_EQ(readFile(at(directory + "/data/ENTRY.BIN")), slice(resource, 3, 9));
    EXPECT_EQ(readFile(at(directory + "/data/SUB/B.BIN")), slice(resource, 20, 5));
    EXPECT_EQ(filesBelow(scratch.path()).size(), 4u);  // the archive and the two entries, nothing else
}

TEST_P(OutsideTheCodePage, QuillpackListsTheArchiveThere) {
    const std::string& directory = GetParam().directory;
    writeArchive(scratch.path(), directory + "/S", "9 3 ENTRY.BIN\n", resource);
    const auto result = runTool(scratch.path(), {"list", typed(directory + "/S.RD")},
                                {.limits = {}, .unprivileged = false, .packer = true});
    EXPECT_EQ(result.status, 0) << result.error;
    EXPECT_EQ(result.error, "");
    // The path is shown as the tool holds it: UTF-8 on both builds.
    EXPECT_EQ(result.output, console("    #  name                offset      length  unpack\n"
                                     "    1  ENTRY.BIN                3           9  write\n"
                                     "\n"
                                     "records      1\n"
                                     "resource     4096 bytes (" + typed(directory + "/S.RES") + ")\n"
                                     "covered      9 bytes\n"
                                     "gaps         4087 bytes\n"
                                     "overlapping  0 bytes\n"
                                     "unpack       completes\n"));
    EXPECT_EQ(filesBelow(scratch.path()).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Directories, OutsideTheCodePage,
    ::testing::Values(DirectoryCase{"Greek, relative", kGreek, false},
                      DirectoryCase{"Cyrillic under Greek, absolute", kGreek + "/" + kCyrillic, true},
                      // Within MAX_PATH in UTF-16 units, past it in UTF-8 bytes.
                      DirectoryCase{"Greek, twice 100 letters", kAlphas + "/" + kAlphas, false},
                      // Inside code page 1252: the ANSI calls reached it already.
                      DirectoryCase{"Latin-1, relative", "Caf\xC3\xA9", false}));

struct HighByteName {
    const char* what;
    std::string listed;   // the bytes in the list
    std::string windows;  // the file's name under Wine, in UTF-8: code page 1252
};

const HighByteName kHighByteNames[] = {
    {"umlauts", "\xE4\xF6\xFC.BIN", "\xC3\xA4\xC3\xB6\xC3\xBC.BIN"},
    // 0x80 to 0x9F are not the C1 controls in 1252.
    {"euro sign and Y with diaeresis", "\x80\x9F.BIN", "\xE2\x82\xAC\xC5\xB8.BIN"},
    {"the last byte", "\xFF.BIN", "\xC3\xBF.BIN"},
    {"in a subdirectory", "\xC9T\xC9\\\xE9t\xE9.BIN", "\xC3\x89T\xC3\x89/\xC3\xA9t\xC3\xA9.BIN"},
};

// Every entry of the table in one run, in a directory outside the code page,
// and a sound whose companion's name is imported the same way.
TEST_F(ArchiveRun, EntryNamesWithHighBytesLandWhereTheCodePageMapsThem) {
    std::string list;
    std::string expected = kBanner + "\n";
    const int count = static_cast<int>(std::size(kHighByteNames)) + 1;
    int position = 0;
    for (const auto& name : kHighByteNames) {
        list += "7 " + std::to_string(100 * position) + " " + name.listed + "\n";
        expected += progress(++position, count, name.listed);
    }
    list += "300 50 \xC7\xE0.DIG\n";
    expected += progress(count, count, "\xC7\xE0.DIG") + "\nAll done!\n\n";
    writeArchive(scratch.path(), kGreek + "/S", list, resource);
    fs::create_directories(at(kGreek + "/data/" + (rules.windows ? "\xC3\x89T\xC3\x89" : "\xC9T\xC9")));

    const auto result = run({rules.typedPath(kGreek + "/S.RD"), "-dig2wav"});
    EXPECT_EQ(result.status, 0) << result.output;
    // The progress lines show the names as listed, whatever the host made of them.
    EXPECT_EQ(result.output, console(expected));
    const fs::path data = at(kGreek + "/data");
    position = 0;
    for (const auto& name : kHighByteNames) {
        std::string file = rules.windows ? name.windows : name.listed;
        std::replace(file.begin(), file.end(), '\\', '/');
        EXPECT_EQ(readFile(data / file), slice(resource, 100 * static_cast<std::size_t>(position++), 7)) << name.what;
    }
    const std::string sound = rules.windows ? "\xC3\x87\xC3\xA0" : "\xC7\xE0";
    EXPECT_EQ(readFile(data / (sound + ".DIG")), slice(resource, 50, 300));
    EXPECT_EQ(readFile(data / (sound + ".WAV")), expectedWav(slice(resource, 50, 300)));
    EXPECT_EQ(filesBelow(data).size(), std::size(kHighByteNames) + 2);
}

}  // namespace
}  // namespace quill::e2e
