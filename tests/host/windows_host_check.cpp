// The packer's host operations on the Windows host, run under Wine by the
// test command: the checks every host passes, and the lock between processes,
// each in a directory whose name the ANSI code page cannot spell, so every
// call must take the path as UTF-16; and where list names land.
//   host_check.exe             runs them all; exit status 0 when every one passes
//   host_check.exe hold PATH   takes the lock, says "locked" and holds it until killed
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "host/command_line.h"
#include "host/host_checks.h"
#include "host/utf16.h"

namespace {

using quill::LockWait;
using quill::NameCase;
using quill::systemHost;
using quill::testing::Failures;

// Greek and Cyrillic, in UTF-8: outside code page 1252 and most others.
constexpr const char* kOutsideAnsi = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC-"
                                     "\xD0\x9A\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0";

std::wstring wide(const std::string& utf8) {
    std::u16string units;
    if (!quill::utf16FromUtf8(utf8, units)) return L"?invalid?";
    return {units.begin(), units.end()};
}

std::string utf8(const std::wstring& wideText) {
    return quill::utf8FromUtf16(std::u16string(wideText.begin(), wideText.end()));
}

// Seconds past 2020-09-13 12:26:40 UTC, in 100 ns ticks since 1601.
bool setTime(const std::string& path, std::int64_t seconds) {
    const HANDLE file = CreateFileW(wide(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const auto ticks = static_cast<std::uint64_t>(13'244'473'600 + seconds) * 10'000'000;
    FILETIME time{static_cast<DWORD>(ticks & 0xffffffff), static_cast<DWORD>(ticks >> 32)};
    const BOOL set = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return set != 0;
}

// A new directory in the temporary one, in the tool's path form (UTF-8).
std::string freshDirectory(const std::string& name) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    std::string directory = utf8(temp);
    directory.append("quillfane-host-").append(std::to_string(GetCurrentProcessId())).append("-").append(name);
    directory.append("-").append(kOutsideAnsi);
    CreateDirectoryW(wide(directory).c_str(), nullptr);
    return directory;
}

void removeDirectory(const std::string& directory) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(wide(directory)), ignored);
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

// The holder gets the path on its command line, so it crosses as UTF-16 too.
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
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"";
    command.append(self).append(L"\" hold \"").append(wide(path)).append(L"\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writing;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION holder{};
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &holder);
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

std::string hex(const std::string& bytes) {
    std::string text;
    char two[4];
    for (const char c : bytes) {
        std::snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(c));
        text += two;
    }
    return text;
}

// Writes `text` through the ANSI call, the way the game's tool made its files;
// the name is taken relative to the current directory.
bool writeThroughAnsi(const std::string& name, const std::string& text) {
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const BOOL written = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    CloseHandle(file);
    return written && put == text.size();
}

std::string readThroughAnsi(const std::string& name) {
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[64];
    DWORD got = 0;
    const BOOL read = ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    return read ? std::string(buffer, got) : "<unreadable>";
}

std::string readThroughHost(const std::string& path) {
    quill::WholeFile file;
    if (quill::loadWholeFile(systemHost(), path, NameCase::exact, 64, file) != quill::LoadStatus::loaded) {
        return "<missing>";
    }
    return {reinterpret_cast<const char*>(file.memory->data()), static_cast<std::size_t>(file.size)};
}

// The byte's number keeps apart names that differ in letter case only.
std::string numberedName(char letter, int byte) {
    std::string name(1, letter);
    name += std::to_string(byte);
    name += static_cast<char>(byte);
    name += ".BIN";
    return name;
}

// Every byte from 0x80 up, in a list name, must name the file the *A calls
// name: a file the ANSI call made is the one the host reads through the
// imported name, and a file the host writes is the one the ANSI call opens.
// The directory itself is one no ANSI path reaches: the ANSI calls work in it
// as the current directory.
Failures listNamesLandWhereAnsiCallsPutThem(const std::string& directory) {
    Failures failures;
    if (!SetCurrentDirectoryW(wide(directory).c_str())) return {"cannot enter the directory"};
    std::set<std::string> imported;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string listed = numberedName('A', byte);
        const std::string written = "made by the ANSI call " + hex(listed);
        const std::string name = systemHost().importListName(listed);
        imported.insert(name);
        // A name typed as the file shows goes back to the list's own bytes.
        std::string exported;
        if (!systemHost().exportListName(name, exported) || exported != listed) {
            failures.push_back(hex(listed) + " does not go back to the list's bytes");
        }
        if (!writeThroughAnsi(listed, written)) {
            failures.push_back("the ANSI call cannot make " + hex(listed));
            continue;
        }
        const std::string seen = readThroughHost(directory + "\\" + name);
        if (seen != written) failures.push_back(hex(listed) + " read through the host: '" + seen + "'");

        const std::string back = numberedName('B', byte);
        auto file = systemHost().createForWriting(directory + "\\" + systemHost().importListName(back));
        const std::string text = "made by the host " + hex(back);
        if (!file || !file->write({reinterpret_cast<const std::byte*>(text.data()), text.size()}) || !file->close()) {
            failures.push_back("the host cannot make " + hex(back));
        } else if (const std::string got = readThroughAnsi(back); got != text) {
            failures.push_back(hex(back) + " read through the ANSI call: '" + got + "'");
        }
    }
    if (imported.size() != 0x80) failures.push_back("two bytes gave one name");
    const std::string plain = "PLAIN\\NAME.DIG";
    if (systemHost().importListName(plain) != plain) failures.push_back("an ASCII name changed");
    std::string exported;
    if (!systemHost().exportListName(plain, exported) || exported != plain) {
        failures.push_back("an ASCII name does not go to the list as it is");
    }
    // U+4E00 is in no single-byte ANSI code page: no best-fit stand-in is taken.
    if (systemHost().exportListName("\xE4\xB8\x80.TXT", exported)) {
        failures.push_back("a name the code page cannot spell went to the list as " + hex(exported));
    }
    if (!systemHost().importListName("").empty()) failures.push_back("the empty name became something");
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    SetCurrentDirectoryW(temp);  // so the directory can go
    return failures;
}

// Bytes that are no UTF-8 name no file: the host creates nothing for them
// rather than a file under some other name.
Failures pathsThatAreNotUtf8AreRefused(const std::string& directory) {
    Failures failures;
    for (const std::string name : {"\xE4.BIN", "\xC0\xAE.BIN", "\xCE.BIN"}) {
        if (systemHost().createForWriting(directory + "\\" + name)) failures.push_back(hex(name) + " was created");
        systemHost().makeDirectory(directory + "\\" + name + "D");
    }
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((wide(directory) + L"\\*").c_str(), &found);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0) ++entries;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (entries != 0) failures.push_back(std::to_string(entries) + " entries made for names that are not UTF-8");
    return failures;
}

// The unpacker's own calls, where its paths hold letters outside the code page.
Failures directoriesAndReading(const std::string& directory) {
    Failures failures;
    const std::string inner = directory + "\\" + kOutsideAnsi;
    systemHost().makeDirectory(inner);
    const DWORD attributes = GetFileAttributesW(wide(inner).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return {"makeDirectory made no directory"};
    }
    const std::string path = inner + "\\\xCE\xA3.RD";
    auto file = systemHost().createForWriting(path);
    if (!file || !file->write({reinterpret_cast<const std::byte*>("list"), 4}) || !file->close()) {
        return {"cannot write the file"};
    }
    if (readThroughHost(path) != "list") failures.push_back("the file does not read back");
    // Windows looks names up without letter case, Greek letters included.
    if (readThroughHost(inner + "\\\xCF\x83.rd") != "list") failures.push_back("the lower-case name finds nothing");
    if (!systemHost().sameFile(path, inner + "\\.\\\xCE\xA3.RD", NameCase::exact)) {
        failures.push_back("sameFile does not see one file");
    }
    return failures;
}

bool report(const std::string& name, const Failures& failures) {
    std::printf("%s: %s\n", name.c_str(), failures.empty() ? "ok" : "FAILED");
    for (const auto& failure : failures) std::printf("  %s\n", failure.c_str());
    return failures.empty();
}

bool runInFreshDirectory(const std::string& name, Failures (*check)(const std::string& directory)) {
    const std::string directory = freshDirectory(name);
    const bool passed = report(name, check(directory));
    removeDirectory(directory);
    return passed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const quill::CommandLine line(argc, argv);
    if (line.count() == 3 && std::strcmp(line.words()[1], "hold") == 0) return holdLock(line.words()[2]);
    bool passed = true;
    for (const auto& check : quill::testing::hostChecks()) {
        const std::string directory = freshDirectory(check.name);
        passed = report(check.name, check.run({systemHost(), directory, setTime})) && passed;
        removeDirectory(directory);
    }
    passed = runInFreshDirectory("lockBetweenProcesses", lockBetweenProcesses) && passed;
    passed = runInFreshDirectory("listNamesLandWhereAnsiCallsPutThem", listNamesLandWhereAnsiCallsPutThem) && passed;
    passed = runInFreshDirectory("pathsThatAreNotUtf8AreRefused", pathsThatAreNotUtf8AreRefused) && passed;
    passed = runInFreshDirectory("directoriesAndReading", directoriesAndReading) && passed;
    return passed ? 0 : 1;
}
