// The driver over an in-memory file system: console text, statuses, files left.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/memory_host.h"
#include "unpack/unpack.h"

namespace quill {
namespace {

using testing::Bytes;
using testing::toBytes;
using testing::toText;

const std::string kBanner = "Quillfane decruncher by the Quillfane archive crew, V1.0, 2011-10-02.\n";
const std::string kUsage = "usage: quillfane.exe list_path.rd [-dig2wav]\n\n";

struct Outcome {
    ExitCode code;
    std::string console;
};

class DriverTest : public ::testing::Test {
protected:
    testing::MemoryHost host;

    void SetUp() override {
        host.directories = {"G"};
        host.files["G\\L.RES"] = toBytes("0123456789ABCDEF");
    }

    Outcome runWith(std::vector<const char*> arguments) {
        arguments.insert(arguments.begin(), "quillfane");
        testing::CapturedConsole console;
        const ExitCode code = run(static_cast<int>(arguments.size()), arguments.data(), host, console);
        return {code, console.text};
    }

    Outcome runList(const std::string& list) {
        host.files["G\\L.RD"] = toBytes(list);
        return runWith({"G\\L.RD"});
    }

    std::string file(const std::string& path) { return toText(host.files.at(path)); }
};

TEST_F(DriverTest, BadCommandLinesPrintBannerUsageAndStatusOne) {
    host.files["G\\L.RD"] = toBytes("1 0 A");
    const std::vector<std::vector<const char*>> cases = {
        {}, {"G\\L.RD", "-x"}, {"G\\L.RD", "-dig2wav", "extra"}, {"G\\L.RD", "-dig2wa"}, {"G\\L.RD", "-dig2wavv"},
        {"G\\L.RD", "-dig2wav\xc3"}, {"G\\L.RD", ""}};
    for (const auto& arguments : cases) {
        const auto outcome = runWith(arguments);
        EXPECT_EQ(outcome.code, ExitCode::badCommandLine) << arguments.size();
        EXPECT_EQ(outcome.console, kBanner + kUsage + "Error - invalid paramters!\n\n");
    }
}

// Captured text that claims to be read on a terminal.
class TerminalConsole : public testing::CapturedConsole {
public:
    bool isTerminal() const override { return true; }
};

TEST_F(DriverTest, ControlBytesOfANameShowAsQuestionMarksOnlyOnATerminal) {
    const std::string name = "\x1b[2J\x07\x7f\x01Z";
    host.files["G\\L.RD"] = toBytes("3 1 " + name + "\n");
    const char* arguments[] = {"quillfane", "G\\L.RD"};

    TerminalConsole terminal;
    ASSERT_EQ(run(2, arguments, host, terminal), ExitCode::ok);
    EXPECT_EQ(terminal.text, kBanner + "\n" + "  1/  1 - ?[2J???Z     \r" + "\nAll done!\n\n");

    testing::CapturedConsole redirected;
    ASSERT_EQ(run(2, arguments, host, redirected), ExitCode::ok);
    EXPECT_EQ(redirected.text, kBanner + "\n" + "  1/  1 - " + name + "     \r" + "\nAll done!\n\n");
    EXPECT_EQ(file("G\\data\\" + name), "123");
}

// Passes every call on to a memory host and notes its name.
class CallLog : public Host {
public:
    explicit CallLog(Host& inner) : inner_(inner) {}
    mutable std::vector<std::string> calls;

    NameRules nameRules() const override {
        calls.push_back("nameRules");
        return inner_.nameRules();
    }
    std::string importArgumentPath(const std::string& typed) override {
        calls.push_back("importArgumentPath");
        return inner_.importArgumentPath(typed);
    }
    void makeDirectory(const std::string& path) override {
        calls.push_back("makeDirectory");
        inner_.makeDirectory(path);
    }
    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override {
        calls.push_back("openForReading");
        return inner_.openForReading(path, nameCase);
    }
    std::unique_ptr<WriteFile> createForWriting(const std::string& path) override {
        calls.push_back("createForWriting");
        return inner_.createForWriting(path);
    }
    std::unique_ptr<ImageMemory> allocate(std::size_t size) override {
        calls.push_back("allocate");
        return inner_.allocate(size);
    }
    bool exportListName(const std::string& typed, std::string& name) const override {
        return inner_.exportListName(typed, name);
    }
    std::string importListName(const std::string& name) const override {
        calls.push_back("importListName");
        return inner_.importListName(name);
    }
    // The unpacker needs none of what follows: any call is logged and refused.
    std::unique_ptr<WriteFile> openForAppending(const std::string&, NameCase, std::int64_t&) override {
        return refuse<std::unique_ptr<WriteFile>>("openForAppending");
    }
    ReplaceResult replaceFile(const std::string&, const std::string&) override {
        calls.push_back("replaceFile");
        return ReplaceResult::notReplaced;
    }
    std::unique_ptr<FileLock> lockExclusive(const std::string&, NameCase, LockWait) override {
        return refuse<std::unique_ptr<FileLock>>("lockExclusive");
    }
    std::unique_ptr<FileLock> lockCreating(const std::string&, bool&) override {
        return refuse<std::unique_ptr<FileLock>>("lockCreating");
    }
    bool cutBack(const std::string&, NameCase, std::int64_t) override { return refuse<bool>("cutBack"); }
    bool readModificationTime(const std::string&, NameCase, FileTime&) override {
        return refuse<bool>("readModificationTime");
    }
    bool removeFile(const std::string&) override { return refuse<bool>("removeFile"); }
    bool sameFile(const std::string&, const std::string&, NameCase) override { return refuse<bool>("sameFile"); }
    PathState lookUp(const std::string&, std::string&) override {
        calls.push_back("lookUp");
        return PathState::unknown;
    }
    std::string lastFailure() const override { return {}; }
    bool listDirectory(const std::string&, std::vector<std::string>&) override { return refuse<bool>("listDirectory"); }
    std::string followedPath(const std::string& path) override { return refuse<std::string>("followedPath") + path; }
    bool copyAccess(const std::string&, const std::string&) override { return refuse<bool>("copyAccess"); }
    void catchInterrupts() override {}
    bool interrupted() const override { return false; }
    std::int64_t secondsNow() const override { return 0; }
    std::int64_t steadyMilliseconds() const override { return 0; }
    std::string foundPath(const std::string& path, NameCase) override { return refuse<std::string>("foundPath") + path; }

private:
    template <typename T>
    T refuse(const char* name) {
        calls.push_back(name);
        return T{};
    }
    Host& inner_;
};

TEST_F(DriverTest, ABadCommandLineAsksNothingOfTheHost) {
    host.files["G\\L.RD"] = toBytes("1 0 A");
    const std::vector<std::vector<const char*>> cases = {{"G\\L.RD", "-x"}, {"G\\L.RD", "-dig2wav", "extra"}, {}};
    for (auto arguments : cases) {
        CallLog log(host);
        arguments.insert(arguments.begin(), "quillfane");
        testing::CapturedConsole console;
        EXPECT_EQ(run(static_cast<int>(arguments.size()), arguments.data(), log, console), ExitCode::badCommandLine);
        EXPECT_EQ(log.calls, std::vector<std::string>{}) << arguments.size();
    }
    // The same log does see a good command line's work.
    CallLog log(host);
    const char* good[] = {"quillfane", "G\\L.RD"};
    testing::CapturedConsole console;
    EXPECT_EQ(run(2, good, log, console), ExitCode::ok);
    EXPECT_EQ(log.calls.front(), "importArgumentPath");
    EXPECT_NE(std::find(log.calls.begin(), log.calls.end(), "openForReading"), log.calls.end());
}

TEST_F(DriverTest, TheOptionIsAcceptedInAnyCase) {
    host.files["G\\L.RD"] = toBytes("1 0 A");
    for (const char* option : {"-dig2wav", "-DIG2WAV", "-Dig2Wav"}) {
        EXPECT_EQ(runWith({"G\\L.RD", option}).code, ExitCode::ok) << option;
    }
}

TEST_F(DriverTest, ASuccessfulRunPrintsOneProgressLinePerEntry) {
    const auto outcome = runList("4 0 A.BIN\n3 10 LONGNAME.DIG\n16 0 ALL\n");
    EXPECT_EQ(outcome.code, ExitCode::ok);
    EXPECT_EQ(outcome.console, kBanner + "\n" + "  1/  3 - A.BIN        \r" + "  2/  3 - LONGNAME.DIG \r" +
                                   "  3/  3 - ALL          \r" + "\nAll done!\n\n");
    EXPECT_EQ(file("G\\data\\A.BIN"), "0123");
    EXPECT_EQ(file("G\\data\\LONGNAME.DIG"), "ABC");
    EXPECT_EQ(file("G\\data\\ALL"), "0123456789ABCDEF");
    EXPECT_EQ(host.directoryAttempts, (std::vector<std::string>{"G", "G\\data"}));
}

TEST_F(DriverTest, EarlyFailuresPrintTheirMessageAfterOneBlankLine) {
    struct Case {
        const char* what;
        std::function<void(testing::MemoryHost&)> prepare;
        ExitCode code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"no list", [](auto& h) { h.files.erase("G\\L.RD"); }, ExitCode::listNotOpened,
         "Error - can't open list file *.RD!\n\n"},
        {"no record", [](auto& h) { h.files["G\\L.RD"] = toBytes("A 1 2"); }, ExitCode::listEmpty,
         "Error - no correct item found in the list!\n\n"},
        {"no resource", [](auto& h) { h.files.erase("G\\L.RES"); }, ExitCode::resourceNotLoaded,
         "Error - can't open resource file *.RES!\n\n"},
        {"empty resource", [](auto& h) { h.files["G\\L.RES"].clear(); }, ExitCode::resourceNotLoaded,
         "Error - can't allocate memory!\n\n"},
    };
    for (const auto& c : cases) {
        SetUp();
        host.files["G\\L.RD"] = toBytes("1 0 A");
        host.directoryAttempts.clear();
        c.prepare(host);
        const auto outcome = runWith({"G\\L.RD"});
        EXPECT_EQ(outcome.code, c.code) << c.what;
        EXPECT_EQ(outcome.console, kBanner + "\n" + c.message) << c.what;
        EXPECT_TRUE(host.directoryAttempts.empty()) << c.what;
    }
}

TEST_F(DriverTest, AnInvalidEntryStopsTheRunAfterTheOnesBeforeIt) {
    const auto outcome = runList("2 0 A\n2 2 B\n0 3 C\n2 4 D\n");
    EXPECT_EQ(outcome.code, ExitCode::invalidEntry);
    EXPECT_EQ(outcome.console, kBanner + "\n" + "  1/  4 - A            \r" + "  2/  4 - B            \r" +
                                   "\nError - invalid data in list!\n\n");
    EXPECT_EQ(host.files.count("G\\data\\B"), 1u);
    EXPECT_EQ(host.files.count("G\\data\\C"), 0u);
    EXPECT_EQ(host.files.count("G\\data\\D"), 0u);
}

TEST_F(DriverTest, AnInvalidFirstEntryStillLeavesTheDirectory) {
    EXPECT_EQ(runList("1 16 A\n").code, ExitCode::invalidEntry);
    EXPECT_EQ(host.directories.count("G\\data"), 1u);
    EXPECT_EQ(host.files.count("G\\data\\A"), 0u);
}

TEST_F(DriverTest, EntryFilesThatCannotBeMadeOrWrittenGiveStatusSix) {
    struct Case {
        const char* what;
        std::string list;
        std::function<void(testing::MemoryHost&)> prepare;
    };
    const std::vector<Case> cases = {
        {"missing subdirectory", "1 0 A\n1 1 SFX\\B\n1 2 C\n", [](auto&) {}},
        {"write fails", "1 0 A\n1 1 B\n1 2 C\n", [](auto& h) { h.unwritable.insert("G\\data\\B"); }},
        {"parent climbing name", "1 0 A\n1 1 ..\\B\n1 2 C\n", [](auto&) {}},
        {"dots only", "1 0 A\n1 1 ...\n1 2 C\n", [](auto&) {}},
    };
    for (const auto& c : cases) {
        SetUp();
        host.files.erase("G\\data\\A");
        c.prepare(host);
        const auto outcome = runList(c.list);
        EXPECT_EQ(outcome.code, ExitCode::entryNotWritten) << c.what;
        EXPECT_EQ(outcome.console, kBanner + "\n" + "  1/  3 - A            \r" +
                                       "\nError - can't create destination file!\n\n")
            << c.what;
        EXPECT_EQ(file("G\\data\\A"), "0") << c.what;
        EXPECT_EQ(host.files.count("G\\data\\C"), 0u) << c.what;
        EXPECT_EQ(host.files.count("G\\B"), 0u) << c.what;
    }
}

TEST_F(DriverTest, ANameWithASubdirectoryIsWrittenWhenItExists) {
    host.directories.insert("G\\data");
    host.directories.insert("G\\data\\SFX");
    EXPECT_EQ(runList("2 1 SFX\\B\n").code, ExitCode::ok);
    EXPECT_EQ(file("G\\data\\SFX\\B"), "12");
}

TEST_F(DriverTest, RepeatedNamesReplaceEarlierFiles) {
    const auto outcome = runList("2 0 A\n3 5 A\n");
    EXPECT_EQ(outcome.code, ExitCode::ok);
    EXPECT_EQ(file("G\\data\\A"), "567");
    EXPECT_NE(outcome.console.find("  2/  2 - A"), std::string::npos);
}

// A resource whose read comes back short, measures beyond 32 bits, or whose
// block cannot be allocated.
class AwkwardResourceHost : public testing::MemoryHost {
public:
    std::int64_t claimedSize = -1;
    bool refuseAllocation = false;

    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase nameCase) override {
        auto file = MemoryHost::openForReading(path, nameCase);
        if (!file || claimedSize < 0 || path.ends_with(".RD")) return file;
        struct Lying : testing::MemoryReadFile {
            Lying(Bytes bytes, std::int64_t size) : MemoryReadFile(std::move(bytes)), size_(size) {}
            bool measure(std::int64_t& size) override {
                size = size_;
                return true;
            }
            std::int64_t size_;
        };
        return std::make_unique<Lying>(files.at(path), claimedSize);
    }
    std::unique_ptr<ImageMemory> allocate(std::size_t size) override {
        return refuseAllocation ? nullptr : MemoryHost::allocate(size);
    }
};

TEST(DriverResource, ShortReadsHugeFilesAndRefusedMemoryAreStatusFour) {
    struct Case {
        std::int64_t claimedSize;
        bool refuseAllocation;
        std::string message;
    };
    const std::vector<Case> cases = {
        {17, false, "Error - can't open resource file *.RES!\n\n"},
        {std::int64_t{1} << 31, false, "Error - can't allocate memory!\n\n"},
        {-1, true, "Error - can't allocate memory!\n\n"},
    };
    for (const auto& c : cases) {
        AwkwardResourceHost host;
        host.files["L.RD"] = toBytes("1 0 A");
        host.files["L.RES"] = toBytes("0123456789ABCDEF");
        host.claimedSize = c.claimedSize;
        host.refuseAllocation = c.refuseAllocation;
        testing::CapturedConsole console;
        const char* arguments[] = {"quillfane", "L.RD"};
        EXPECT_EQ(run(2, arguments, host, console), ExitCode::resourceNotLoaded) << c.claimedSize;
        EXPECT_EQ(console.text, kBanner + "\n" + c.message);
        EXPECT_EQ(host.files.count("data\\A"), 0u);
    }
}

}  // namespace
}  // namespace quill
