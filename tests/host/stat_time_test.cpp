#include <gtest/gtest.h>

#include <ctime>

// glibc spells st_mtime as a macro for st_mtim.tv_sec (and gtest includes
// <sys/stat.h>); the stand-in structs below need the plain member name, as
// a system with whole seconds only has it. Hence the header comes after.
#undef st_mtime
#include "host/stat_time.h"

namespace quill {
namespace {

// The three shapes a stat result takes across POSIX systems.
struct Posix2008Stat {
    std::time_t st_mtime = 0;  // also present, and must not win
    timespec st_mtim{};
};
struct DarwinStat {
    std::time_t st_mtime = 0;
    timespec st_mtimespec{};
};
struct SecondsOnlyStat {
    std::time_t st_mtime = 0;
};

TEST(StatTime, ReadsTheFinestFieldTheSystemHas) {
    Posix2008Stat posix;
    posix.st_mtime = 1;
    posix.st_mtim = {1'700'000'000, 123'456'789};
    EXPECT_EQ(modificationNanoseconds(posix), 1'700'000'000'123'456'789);

    DarwinStat darwin;
    darwin.st_mtime = 1;
    darwin.st_mtimespec = {1'700'000'001, 5};
    EXPECT_EQ(modificationNanoseconds(darwin), 1'700'000'001'000'000'005);

    SecondsOnlyStat old;
    old.st_mtime = 1'700'000'002;
    EXPECT_EQ(modificationNanoseconds(old), 1'700'000'002'000'000'000);
}

}  // namespace
}  // namespace quill
