// The packer's host operations, checked the same way on the Linux host (in a
// scratch directory) and on the memory host the core's tests run against.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "host/host_checks.h"
#include "support/memory_host.h"
#include "support/scratch.h"

namespace quill {
namespace {

enum class Where { system, memory };

using Param = std::tuple<Where, testing::HostCheck>;

using testing::toolForm;

bool setPosixTime(const std::string& toolPath, std::int64_t seconds) {
    std::string path = toolPath;
    std::replace(path.begin(), path.end(), '\\', '/');
    const timespec time{static_cast<time_t>(1'600'000'000 + seconds), 0};
    const timespec times[2] = {time, time};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::string joined(const testing::Failures& failures) {
    std::string text;
    for (const auto& failure : failures) text += "\n  " + failure;
    return text;
}

void PrintTo(Where where, std::ostream* out) { *out << (where == Where::system ? "system" : "memory"); }

class HostOperations : public ::testing::TestWithParam<Param> {};

TEST_P(HostOperations, BehaveAsThePackerNeeds) {
    const auto& [where, check] = GetParam();
    testing::Failures failures;
    if (where == Where::system) {
        const testing::ScratchDirectory scratch;
        const testing::CheckPlace place{systemHost(), toolForm(scratch.path().string()), setPosixTime};
        failures = check.run(place);
    } else {
        testing::MemoryHost host;
        host.directories.insert("D");
        const auto setTime = [&host](const std::string& path, std::int64_t seconds) {
            if (host.files.count(path) == 0) return false;
            host.times[path] = seconds;
            return true;
        };
        failures = check.run(testing::CheckPlace{host, "D", setTime});
    }
    EXPECT_TRUE(failures.empty()) << joined(failures);
}

std::string nameOf(const ::testing::TestParamInfo<Param>& info) {
    return std::string(std::get<0>(info.param) == Where::system ? "system_" : "memory_") + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostOperations,
                         ::testing::Combine(::testing::Values(Where::system, Where::memory),
                                            ::testing::ValuesIn(testing::hostChecks().begin(),
                                                                testing::hostChecks().end())),
                         nameOf);

}  // namespace

namespace testing {
void PrintTo(const HostCheck& check, std::ostream* out) { *out << check.name; }
}  // namespace testing

}  // namespace quill
