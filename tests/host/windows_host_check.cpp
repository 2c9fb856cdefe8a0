// The packer's host operations on the Windows host, run under Wine by the
// test command: the checks every host passes, and the lock between processes.
//   host_check.exe             runs them all; exit status 0 when every one passes
//   host_check.exe hold PATH   takes the lock, says "locked" and holds it until killed
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "host/host_checks.h"

namespace {

using quill::LockWait;
using quill::NameCase;
using quill::systemHost;
using quill::testing::Failures;

// Seconds past 2020-09-13 12:26:40 UTC, in 100 ns ticks since 1601.
bool setTime(const std::string& path, std::int64_t seconds) {
    const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const auto ticks = static_cast<std::uint64_t>(13'244'473'600 + seconds) * 10'000'000;
    FILETIME time{static_cast<DWORD>(ticks & 0xffffffff), static_cast<DWORD>(ticks >> 32)};
    const BOOL set = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return set != 0;
}

std::string freshDirectory(const std::string& name) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    std::string directory = temp;
    directory.append("quillfane-host-").append(std::to_string(GetCurrentProcessId())).append("-").append(name);
    CreateDirectoryA(directory.c_str(), nullptr);
    return directory;
}

int holdLock(const char* path) {
    const auto lock = systemHost().lockExclusive(path, NameCase::exact, LockWait::no);
    std::printf(lock ? "locked\n" : "refused\n");
    std::fflush(stdout);
    if (lock) Sleep(INFINITE);
    return 1;
}

// The first line another process writes, read through an inherited pipe.
std::string firstLine(HANDLE pipe) {
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(pipe, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        if (c != '\r') line += c;  // the other process's stdout is in text mode
    }
    return line;
}

Failures lockBetweenProcesses(const std::string& directory) {
    Failures failures;
    const std::string path = directory + "\\S.RES";
    auto file = systemHost().createForWriting(path);
    if (!file || !file->close()) return {"cannot set up S.RES"};

    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reading = INVALID_HANDLE_VALUE;
    HANDLE writing = INVALID_HANDLE_VALUE;
    if (!CreatePipe(&reading, &writing, &inherited, 0)) return {"cannot make a pipe"};
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = "\"";
    command.append(self).append("\" hold \"").append(path).append("\"");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writing;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION holder{};
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &holder);
    CloseHandle(writing);
    if (!started) {
        CloseHandle(reading);
        return {"cannot start the holder"};
    }
    const std::string said = firstLine(reading);
    CloseHandle(reading);
    if (said != "locked") failures.push_back("the holder said '" + said + "', not 'locked'");
    if (systemHost().lockExclusive(path, NameCase::exact, LockWait::no)) {
        failures.push_back("a second process got the lock while the first held it");
    }
    TerminateProcess(holder.hProcess, 9);
    WaitForSingleObject(holder.hProcess, INFINITE);
    CloseHandle(holder.hProcess);
    CloseHandle(holder.hThread);
    if (!systemHost().lockExclusive(path, NameCase::exact, LockWait::yes)) {
        failures.push_back("the lock was not granted once its holder was killed");
    }
    return failures;
}

bool report(const std::string& name, const Failures& failures) {
    std::printf("%s: %s\n", name.c_str(), failures.empty() ? "ok" : "FAILED");
    for (const auto& failure : failures) std::printf("  %s\n", failure.c_str());
    return failures.empty();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0) return holdLock(argv[2]);
    bool passed = true;
    for (const auto& check : quill::testing::hostChecks()) {
        const std::string directory = freshDirectory(check.name);
        passed = report(check.name, check.run({systemHost(), directory, setTime})) && passed;
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    const std::string directory = freshDirectory("lockBetweenProcesses");
    passed = report("lockBetweenProcesses", lockBetweenProcesses(directory)) && passed;
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    return passed ? 0 : 1;
}
