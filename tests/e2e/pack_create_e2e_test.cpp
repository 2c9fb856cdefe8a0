// quillpack create as a modder runs it, on the real disk of each system: a
// folder becomes an archive that the unpacker writes back to exactly that
// folder, and what cannot be a record is named before anything is written.
#include <sys/stat.h>

#include "e2e/archive.h"

namespace quill::e2e {
namespace {

class PackCreate : public ArchiveRun {
protected:
    ToolResult pack(const std::vector<std::string>& arguments) const {
        return runTool(scratch.path(), arguments, {.limits = {}, .unprivileged = false, .packer = true});
    }
    void folder() const {
        fs::create_directories(at("mods/SFX/D"));
        writeFile(at("mods/A.BIN"), slice(resource, 0, 100));
        writeFile(at("mods/SFX/SHOT.DIG"), slice(resource, 100, 600));
        writeFile(at("mods/SFX/SHOT.WAV"), expectedWav(slice(resource, 100, 600)));
        writeFile(at("mods/SFX/D/B.TXT"), slice(resource, 1000, 50));
    }
    std::map<std::string, std::string> filesOf(const std::string& directory) const {
        std::map<std::string, std::string> files;
        for (const auto& name : filesBelow(at(directory))) files[name] = readFile(at(directory) / name);
        return files;
    }
};

TEST_F(PackCreate, AFolderBecomesAnArchiveThatUnpacksToExactlyIt) {
    folder();
    const auto dry = pack({"create", "NEW.RD", "mods", "-n"});
    ASSERT_EQ(dry.status, 0) << dry.error;
    EXPECT_FALSE(fs::exists(at("NEW.RD")));
    EXPECT_FALSE(fs::exists(at("NEW.RES")));

    const auto made = pack({"create", "NEW.RD", "mods"});
    ASSERT_EQ(made.status, 0) << made.error;
    EXPECT_NE(made.output.find(console("wrote NEW.RD (3 records) and NEW.RES (750 bytes)\n")), std::string::npos)
        << made.output;
    EXPECT_EQ(readFile(at("NEW.RD")), "100 0 A.BIN\r\n50 100 SFX\\D\\B.TXT\r\n600 150 SFX\\SHOT.DIG\r\n");
    // data/SFX/D made for the unpacker, which makes no directory below data/.
    const auto unpacked = run({"NEW.RD", "-dig2wav"});
    ASSERT_EQ(unpacked.status, 0) << unpacked.output;
    EXPECT_EQ(filesOf("data"), filesOf("mods"));
    // Again over an existing archive: refused, nothing changed.
    const auto again = pack({"create", "NEW.RD", "mods"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.error.find("NEW.RD: already there"), std::string::npos) << again.error;
    EXPECT_EQ(readFile(at("NEW.RD")), "100 0 A.BIN\r\n50 100 SFX\\D\\B.TXT\r\n600 150 SFX\\SHOT.DIG\r\n");
}

TEST_F(PackCreate, WhatCannotBeARecordOnLinuxIsNamedAndNothingIsWritten) {
    if (rules.windows) GTEST_SKIP() << "links, FIFOs, backslashes in names and letter case are Linux's";
    folder();
    writeFile(at("mods/SFX\\X.BIN"), "a backslash in a Linux name");
    fs::create_symlink("A.BIN", at("mods/LINK.BIN"));
    ASSERT_EQ(::mkfifo(at("mods/PIPE").c_str(), 0600), 0);
    writeFile(at("mods/a.bin"), "another file on Linux, A.BIN on Windows");
    const auto refused = pack({"create", "NEW.RD", "mods"});
    EXPECT_EQ(refused.status, 4);
    for (const char* named : {"mods/SFX\\X.BIN: its name holds a '\\'", "mods/LINK.BIN: a symbolic link",
                              "mods/PIPE: neither a regular file nor a directory",
                              "A.BIN: another new record is written to the same file"}) {
        EXPECT_NE(refused.error.find(named), std::string::npos) << named << "\n" << refused.error;
    }
    EXPECT_FALSE(fs::exists(at("NEW.RD")));
    EXPECT_FALSE(fs::exists(at("NEW.RES")));
    EXPECT_FALSE(fs::exists(at("data")));

    // A resource in another letter case is the one an unpack of NEW.RD would read.
    fs::remove_all(at("mods"));
    folder();
    writeFile(at("new.res"), "someone's");
    const auto shadowed = pack({"create", "NEW.RD", "mods"});
    EXPECT_EQ(shadowed.status, 1);
    EXPECT_NE(shadowed.error.find("new.res: already there"), std::string::npos) << shadowed.error;
    EXPECT_FALSE(fs::exists(at("NEW.RD")));
    EXPECT_EQ(readFile(at("new.res")), "someone's");
}

}  // namespace
}  // namespace quill::e2e
