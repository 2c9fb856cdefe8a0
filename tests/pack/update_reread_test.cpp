// update leaves an edited file's bytes in the file until the commit appends
// them. Whatever data/ is refreshed with must be those same bytes: a .WAV made
// from another reading of the file would not be what an unpack leaves.
#include <gtest/gtest.h>

#include <functional>

#include "pack/pack.h"
#include "sound/dig_to_wav.h"
#include "support/fault_host.h"
#include "support/memory_host.h"
#include "support/scratch.h"
#include "unpack/unpack.h"

namespace quill::pack {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDirectory;

// The system's files, with a hand on one file: `onOpen` runs before each time
// it is opened for reading (numbered from 1), and `onAppend` when the
// resource is opened for appending.
class EditingHost : public testing::FaultHost {
public:
    EditingHost() : FaultHost(systemHost()) {}
    std::string watchedEnd;
    int opens = 0;
    std::function<void(int)> onOpen;
    std::function<void()> onAppend;

    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override {
        if (path.ends_with(watchedEnd) && onOpen) onOpen(++opens);
        return FaultHost::openForReading(path, nameCase);
    }
    std::unique_ptr<WriteFile> openForAppending(const std::string& path, NameCase nameCase,
                                                std::int64_t& size) override {
        if (onAppend) onAppend();
        return FaultHost::openForAppending(path, nameCase, size);
    }
};

std::vector<std::byte> bytesOf(const std::string& text) {
    std::vector<std::byte> bytes(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<std::byte>(text[i]);
    return bytes;
}

std::string textOf(const std::vector<std::byte>& bytes) {
    std::string text(bytes.size(), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<char>(bytes[i]);
    return text;
}

// Records 1 and 2 are written to one file, data/S.DIG; only record 1 is a
// sound by its name, so an unpack with -dig2wav also writes data/S.WAV from
// it. The file an update takes for the pair is left in data/S.DIG until the
// commit, and S.WAV is refreshed from another reading of it, which must be
// the bytes compared: saved over in between (and put back before the append,
// which would then pass), the update stops with nothing written.
TEST(UpdateReread, AWavIsNeverRefreshedFromOtherBytesThanTheOnesAppended) {
    ScratchDirectory scratch;
    const fs::path root = scratch.path();
    testing::writeFile(root / "S.RD", "6 0 S.DIG\r\n6 6 .\\S.DIG\r\n4 12 B.TXT\r\n");
    testing::writeFile(root / "S.RES", "SOUND1SOUND2abcd");
    testing::CapturedConsole console;
    const std::string list = (root / "S.RD").string();
    const char* unpack[] = {"quillfane", list.c_str(), "-dig2wav"};
    ASSERT_EQ(run(3, unpack, systemHost(), console), ExitCode::ok);
    const std::string wavBefore = testing::readFile(root / "data" / "S.WAV");

    const std::string edited = "the edited sound";
    testing::writeFile(root / "data" / "S.DIG", edited);

    EditingHost host;
    host.watchedEnd = "S.DIG";
    host.onOpen = [&](int open) {
        if (open == 2) testing::writeFile(root / "data" / "S.DIG", "a passing save!!");
    };
    host.onAppend = [&] { testing::writeFile(root / "data" / "S.DIG", edited); };

    const char* arguments[] = {"quillpack", "update", list.c_str()};
    testing::CapturedConsole out;
    testing::CapturedConsole err;
    const PackStatus status = runPack(3, arguments, host, out, err);
    ASSERT_GE(host.opens, 2) << "the file was not read again as expected";
    EXPECT_EQ(status, PackStatus::inputUnusable) << out.text << err.text;
    EXPECT_NE(err.text.find("S.DIG: changed since the update read it"), std::string::npos) << err.text;
    EXPECT_EQ(testing::readFile(root / "S.RD"), "6 0 S.DIG\r\n6 6 .\\S.DIG\r\n4 12 B.TXT\r\n");
    EXPECT_EQ(testing::readFile(root / "S.RES"), "SOUND1SOUND2abcd");
    EXPECT_EQ(testing::readFile(root / "data" / "S.WAV"), wavBefore);

    // Run again with the file as it is now: taken, and data/S.WAV is its .WAV.
    testing::writeFile(root / "data" / "S.DIG", edited);
    testing::CapturedConsole againOut;
    testing::CapturedConsole againErr;
    ASSERT_EQ(runPack(3, arguments, systemHost(), againOut, againErr), PackStatus::done) << againErr.text;
    EXPECT_EQ(testing::readFile(root / "data" / "S.WAV"), textOf(companionBytes(bytesOf(edited))));
}

}  // namespace
}  // namespace quill::pack
