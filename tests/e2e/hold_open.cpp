// Stands in for another Windows program holding a file open while the tool
// runs (end-to-end suite, under Wine):
//   hold_open.exe readwrite PATH   an editor or the game, reading and writing
//   hold_open.exe read PATH        a player
// Both share reading and writing, as such programs do. Prints "ready" once
// the file is open and keeps it open until standard input closes.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "readwrite") != 0 && std::strcmp(argv[1], "read") != 0)) {
        std::printf("usage: hold_open.exe readwrite|read PATH\n");
        return 2;
    }
    const DWORD access = std::strcmp(argv[1], "readwrite") == 0 ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const HANDLE held = CreateFileA(argv[2], access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s: error %lu\n", argv[2], GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    CloseHandle(held);
    return 0;
}
