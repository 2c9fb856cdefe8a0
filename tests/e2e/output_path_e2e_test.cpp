// Whatever stands at an output file's path before the run: the tool writes a
// fresh regular file there and never through a link or into a device, so
// nothing outside "data" changes. Directories on the way are followed.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>

#include "e2e/archive.h"
#include "e2e/tool_runner.h"

namespace quill::e2e {
namespace {

// One line per thing, so a changed symlink, file content or type shows.
std::string describe(const fs::path& path) {
    const auto status = fs::symlink_status(path);
    switch (status.type()) {
        case fs::file_type::not_found: return "nothing";
        case fs::file_type::regular: {
            const std::string bytes = readFile(path);
            return "file of " + std::to_string(bytes.size()) + " bytes, hash " +
                   std::to_string(std::hash<std::string>{}(bytes));
        }
        case fs::file_type::directory: return "directory";
        case fs::file_type::symlink: return "symlink to " + fs::read_symlink(path).string();
        case fs::file_type::fifo: return "fifo";
        case fs::file_type::socket: return "socket";
        case fs::file_type::character: return "character device";
        default: return "something else";
    }
}

// Everything below a directory, without following links.
std::map<std::string, std::string> snapshot(const fs::path& directory) {
    std::map<std::string, std::string> things;
    for (const auto& item : fs::recursive_directory_iterator(directory)) {
        things[fs::relative(item.path(), directory).generic_string()] = describe(item.path());
    }
    return things;
}

// Plants the thing at `path`; `outside` is a directory beside "data" that
// links point into. Returns why this machine cannot plant it, or "".
using Plant = std::function<std::string(const fs::path& path, const fs::path& outside)>;

// Permissions a new file would not get, so a file replaced instead of
// rewritten in place shows.
constexpr auto kOddPermissions = fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read;

std::string plainFile(const fs::path& path, const fs::path&) {
    writeFile(path, "an older and longer version of the file");
    fs::permissions(path, kOddPermissions);
    return "";
}

std::string readOnlyFile(const fs::path& path, const fs::path&) {
    writeFile(path, "read-only");
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    return "";
}

std::string directory(const fs::path& path, const fs::path&) {
    fs::create_directory(path);
    return "";
}

std::string symlinkToFile(const fs::path& path, const fs::path& outside) {
    writeFile(outside / "target", "outside, not to be touched");
    fs::create_symlink(outside / "target", path);
    return "";
}

std::string danglingSymlink(const fs::path& path, const fs::path& outside) {
    fs::create_symlink(outside / "missing", path);
    return "";
}

std::string symlinkToDirectory(const fs::path& path, const fs::path& outside) {
    fs::create_directory(outside / "folder");
    fs::create_directory_symlink(outside / "folder", path);
    return "";
}

std::string hardLink(const fs::path& path, const fs::path& outside) {
    writeFile(outside / "copy", "the other copy, not to be touched");
    fs::create_hard_link(outside / "copy", path);
    return "";
}

std::string fifo(const fs::path& path, const fs::path&) {
    return ::mkfifo(path.c_str(), 0666) == 0 ? "" : std::string("mkfifo: ") + std::strerror(errno);
}

std::string unixSocket(const fs::path& path, const fs::path&) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.string().size() >= sizeof address.sun_path) return "the scratch path is too long for a socket";
    std::strcpy(address.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return std::string("socket: ") + std::strerror(errno);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound ? "" : std::string("bind: ") + std::strerror(errno);
}

std::string characterDevice(const fs::path& path, const fs::path&) {
    // The numbers of /dev/null: harmless if anything did write into it.
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) return "";
    return std::string("mknod needs CAP_MKNOD: ") + std::strerror(errno);
}

enum class Outcome { rewrittenInPlace, replaced, refused };

struct Obstacle {
    const char* what;
    Plant plant;
    Outcome outcome;
    // Why the Windows build under Wine cannot show this case; null when it can.
    const char* notUnderWine = nullptr;
    // Permissions decide the case: as root the tool runs as nobody.
    bool needsPermissions = false;
};

enum class Target { entry, companion };

struct OutputPathCase {
    Obstacle obstacle;
    Target target;
};

void PrintTo(const OutputPathCase& c, std::ostream* out) {
    *out << c.obstacle.what << (c.target == Target::entry ? " at the entry" : " at the .WAV");
}

// A sound between two plain entries, so the run shows whether it went on.
const std::string kList = "5 0 A\n300 5 X.DIG\n5 9 C\n";

ToolResult unpackInto(const fs::path& directory, const std::string& resource, const RunOptions& options = {}) {
    writeArchive(directory, "S", kList, resource);
    return runTool(directory, {"S.RD", "-dig2wav"}, options);
}

class OutputPathTest : public ::testing::TestWithParam<OutputPathCase> {
protected:
    const std::string resource = sampleResource();
};

TEST_P(OutputPathTest, TheToolWritesItsOwnFileAndNothingOutsideChanges) {
    const auto& [obstacle, target] = GetParam();
    if (hostRules().windows && obstacle.notUnderWine != nullptr) GTEST_SKIP() << obstacle.notUnderWine;
    const bool asNobody = obstacle.needsPermissions && geteuid() == 0;
    if (asNobody && hostRules().windows) GTEST_SKIP() << "Wine will not run as nobody in a prefix that root owns";

    ScratchDirectory reference;
    ASSERT_EQ(unpackInto(reference.path(), resource).status, 0);

    ScratchDirectory scratch;
    const fs::path data = scratch.path() / "data";
    const fs::path outside = scratch.path() / "outside";
    fs::create_directories(data);
    fs::create_directories(outside);
    const fs::path blocked = data / (target == Target::entry ? "X.DIG" : "X.WAV");
    if (const std::string cannot = obstacle.plant(blocked, outside); !cannot.empty()) GTEST_SKIP() << cannot;
    const auto outsideBefore = snapshot(outside);
    const auto blockedBefore = describe(blocked);

    if (asNobody) {
        fs::permissions(scratch.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                            fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(data, fs::perms::all);
    }
    const auto result = unpackInto(scratch.path(), resource, {.limits = {}, .unprivileged = asNobody});

    EXPECT_EQ(snapshot(outside), outsideBefore);
    if (obstacle.outcome == Outcome::refused) {
        EXPECT_EQ(result.status, target == Target::entry ? 6 : 7) << result.output;
        EXPECT_EQ(describe(blocked), blockedBefore);
        EXPECT_EQ(readFile(data / "A"), slice(resource, 0, 5));
        EXPECT_FALSE(fs::exists(data / "C"));
        return;
    }
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(snapshot(data), snapshot(reference.path() / "data"));
    EXPECT_EQ(fs::hard_link_count(blocked), 1u);
    if (obstacle.outcome == Outcome::rewrittenInPlace) {
        EXPECT_EQ(fs::symlink_status(blocked).permissions(), kOddPermissions);
    }
}

const char* const kWineShowsTheTarget =
    "Wine 8 shows a Unix symlink to a file as the file itself (no reparse point attribute, the target's file "
    "index, one link), so a Windows program cannot tell it from a plain file and writes through it (DeleteFile on "
    "it deletes the target, not the link); nor can Wine make Windows symlinks (CreateSymbolicLink succeeds and "
    "creates nothing)";
const char* const kWineCannotDeleteDangling =
    "Wine 8 reports a dangling Unix symlink as missing, refuses CREATE_NEW over it (ERROR_FILE_EXISTS) and cannot "
    "delete it (ERROR_FILE_NOT_FOUND), so the Windows build refuses the entry; nothing is created at the target";
const char* const kWineShowsADirectory =
    "Wine 8 shows a Unix symlink to a directory as that directory (no reparse point attribute on the handle), so "
    "the Windows build refuses it as a directory";
const char* const kWineCannotDeleteSpecial =
    "Wine 8 opens a FIFO or device as a pipe or character device but cannot delete it (DeleteFile fails with "
    "ERROR_INVALID_PARAMETER), so the Windows build refuses the entry without writing into it";
const char* const kWineCannotOpenSocket =
    "Wine 8 can neither open nor delete a Unix socket (ERROR_NO_SUCH_DEVICE), so the Windows build refuses the entry";

const Obstacle kObstacles[] = {
    {"a plain file with one link", plainFile, Outcome::rewrittenInPlace},
    {"a read-only file", readOnlyFile, Outcome::refused, nullptr, true},
    {"a directory", directory, Outcome::refused},
    {"a symlink to a file outside", symlinkToFile, Outcome::replaced, kWineShowsTheTarget},
    {"a dangling symlink", danglingSymlink, Outcome::replaced, kWineCannotDeleteDangling},
    {"a symlink to a directory outside", symlinkToDirectory, Outcome::replaced, kWineShowsADirectory},
    {"a hard link to a file outside", hardLink, Outcome::replaced},
    {"a FIFO", fifo, Outcome::replaced, kWineCannotDeleteSpecial},
    {"a Unix socket", unixSocket, Outcome::replaced, kWineCannotOpenSocket},
    {"a character device", characterDevice, Outcome::replaced, kWineCannotDeleteSpecial},
};

std::vector<OutputPathCase> allCases() {
    std::vector<OutputPathCase> cases;
    for (const auto target : {Target::entry, Target::companion}) {
        for (const auto& obstacle : kObstacles) cases.push_back({obstacle, target});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(InTheWay, OutputPathTest, ::testing::ValuesIn(allCases()));

TEST(OutputPath, DirectoriesOnTheWayAreFollowed) {
    ScratchDirectory scratch;
    const std::string resource = sampleResource();
    writeArchive(scratch.path(), "S", "5 0 A\n5 5 SFX\\B\n", resource);
    // "data" and "data/SFX" both lead to another place, as when a user points them at another disk.
    const fs::path elsewhere = scratch.path() / "elsewhere";
    fs::create_directories(elsewhere / "out");
    fs::create_directories(elsewhere / "sounds");
    fs::create_directory_symlink(elsewhere / "out", scratch.path() / "data");
    fs::create_directory_symlink(elsewhere / "sounds", elsewhere / "out/SFX");

    const auto result = runTool(scratch.path(), {"S.RD"});

    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(readFile(elsewhere / "out/A"), slice(resource, 0, 5));
    EXPECT_EQ(readFile(elsewhere / "sounds/B"), slice(resource, 5, 5));
    EXPECT_TRUE(fs::is_symlink(scratch.path() / "data"));
    EXPECT_TRUE(fs::is_symlink(elsewhere / "out/SFX"));
}

}  // namespace
}  // namespace quill::e2e
