// The suite's own main: --exe, --runner, --host and --wineprefix say which
// build of the tool to run and how, --holder names the helper that holds a
// file open (Windows build); they become the environment the runner reads.
// The locale is set for Wine here too.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string_view>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::pair<std::string_view, const char*> flags[] = {{"--exe=", "QUILLFANE_EXE"},
                                                              {"--pack-exe=", "QUILLPACK_EXE"},
                                                              {"--runner=", "QUILLFANE_RUNNER"},
                                                              {"--host=", "QUILLFANE_HOST"},
                                                              {"--wineprefix=", "WINEPREFIX"},
                                                              {"--holder=", "QUILLFANE_HOLDER"}};
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        for (const auto& [flag, variable] : flags) {
            if (argument.starts_with(flag)) setenv(variable, argv[i] + flag.size(), 1);
        }
    }
    setenv("WINEDEBUG", "-all", 1);
    // Wine names Linux files in the locale's character set: under C it cannot
    // make a name beyond ASCII at all. UTF-8 it is, whatever the shell runs.
    const char* runner = getenv("QUILLFANE_RUNNER");
    if (runner != nullptr && *runner != '\0') setenv("LC_ALL", "C.UTF-8", 1);
    return RUN_ALL_TESTS();
}
