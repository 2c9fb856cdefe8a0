// The workbench's system calls on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>

#include <array>
#include <mutex>

#include "host/utf16.h"
#include "web/system.h"

namespace quill::web {
namespace {

std::wstring wideOf(const std::string& text) {
    std::u16string wide;
    if (!utf16FromUtf8(text, wide)) return {};
    return std::wstring(wide.begin(), wide.end());
}

std::string utf8Of(const std::wstring& wide) {
    return utf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

std::mutex interruptMutex;
std::function<void()> onInterrupt;

BOOL WINAPI consoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    const std::lock_guard lock(interruptMutex);
    if (!onInterrupt) return FALSE;
    onInterrupt();
    return TRUE;
}

}  // namespace

bool fillRandom(std::span<unsigned char> buffer) {
    return buffer.size() <= ULONG_MAX && BCryptGenRandom(nullptr, buffer.data(), static_cast<ULONG>(buffer.size()),
                                                         BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

bool writePrivateFile(std::string_view text, PrivateFile& file) {
    // The user's own temporary directory, which other users cannot open; the
    // directory's random name is created, never reused, so nobody can have
    // put one there first.
    std::array<wchar_t, MAX_PATH + 1> temp{};
    const DWORD length = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    if (length == 0 || length > MAX_PATH) return false;
    std::array<unsigned char, 8> random{};
    if (!fillRandom(random)) return false;
    std::string name = "quillpack-";
    for (const unsigned char byte : random) {
        name += "0123456789abcdef"[byte >> 4];
        name += "0123456789abcdef"[byte & 15];
    }
    const std::wstring directory = std::wstring(temp.data(), length) + wideOf(name);
    if (!CreateDirectoryW(directory.c_str(), nullptr)) return false;
    const std::wstring path = directory + L"\\open.html";
    file.directory = utf8Of(directory);
    file.path = utf8Of(path);
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = handle != INVALID_HANDLE_VALUE;
    while (written && !text.empty()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(text.size() < (1u << 20) ? text.size() : (1u << 20));
        written = WriteFile(handle, text.data(), chunk, &wrote, nullptr) && wrote > 0;
        text.remove_prefix(wrote);
    }
    if (handle != INVALID_HANDLE_VALUE && !CloseHandle(handle)) written = false;
    if (!written) removePrivateFile(file);
    return written;
}

void removePrivateFile(const PrivateFile& file) {
    if (!file.path.empty()) DeleteFileW(wideOf(file.path).c_str());
    if (!file.directory.empty()) RemoveDirectoryW(wideOf(file.directory).c_str());
}

BrowserResult openBrowser(const std::string& filePath) {
    const std::wstring path = wideOf(filePath);
    if (path.empty()) return BrowserResult::failed;
    // Values above 32 mean the handler was started.
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32 ? BrowserResult::opened : BrowserResult::failed;
}

void claimPortAlone(std::uintptr_t socket) {
    // Without it, Windows lets another program bind the same port with
    // SO_REUSEADDR and take over its connections.
    const BOOL yes = TRUE;
    setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
               sizeof yes);
}

Ipv6Hold holdIpv6Loopback(int port, Ipv6Loopback& hold) {
    const SOCKET s = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return Ipv6Hold::noIpv6;
    const DWORD yes = 1;
    setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&yes), sizeof yes);
    const BOOL exclusive = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    address.sin6_port = htons(static_cast<u_short>(port));
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int why = WSAGetLastError();
        closesocket(s);
        return why == WSAEADDRINUSE || why == WSAEACCES ? Ipv6Hold::taken : Ipv6Hold::noIpv6;
    }
    hold.socket = static_cast<std::intptr_t>(s);
    return Ipv6Hold::held;
}

void releaseIpv6Loopback(Ipv6Loopback& hold) {
    if (hold.socket >= 0) closesocket(static_cast<SOCKET>(hold.socket));
    hold.socket = -1;
}

void watchInterrupts(std::function<void()> interrupted) {
    {
        const std::lock_guard lock(interruptMutex);
        onInterrupt = std::move(interrupted);
    }
    SetConsoleCtrlHandler(consoleControl, TRUE);
}

void stopWatchingInterrupts() {
    SetConsoleCtrlHandler(consoleControl, FALSE);
    const std::lock_guard lock(interruptMutex);
    onInterrupt = nullptr;
}

}  // namespace quill::web
