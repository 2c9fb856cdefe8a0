#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

// What the workbench needs of the operating system beyond the host: secrets,
// a private file, a browser, a listening socket of its own and Ctrl+C. One
// file per system implements these.
namespace quill::web {

// Fills the buffer from the system's generator of secrets; false when it
// gave none.
bool fillRandom(std::span<unsigned char> buffer);

// A file only this user can read (mode 0600) in a directory of its own
// (mode 0700) in the temporary directory.
struct PrivateFile {
    std::string directory;
    std::string path;
};

// Writes the text into a new private file; false, nothing left behind, when
// it cannot.
bool writePrivateFile(std::string_view text, PrivateFile& file);

// Removes the file and its directory.
void removePrivateFile(const PrivateFile& file);

enum class BrowserResult { opened, noOpener, failed };

// Opens the default browser on a local file: xdg-open on Linux, the shell's
// handler for the file on Windows. Does not wait for the browser.
BrowserResult openBrowser(const std::string& filePath);

// Makes a listening socket the port's only one: no other program, nor a
// second workbench, may bind the port while it listens.
void claimPortAlone(std::uintptr_t socket);

// Browsers try ::1 before 127.0.0.1 for NAME.localhost: a program of another
// user listening on [::1]:port would get the key and the cookie. So the
// port is held on ::1 too, bound but not listening, so that a connection
// there is refused and the browser comes to 127.0.0.1.
enum class Ipv6Hold { held, noIpv6, taken };
struct Ipv6Loopback {
    std::intptr_t socket = -1;
};
Ipv6Hold holdIpv6Loopback(int port, Ipv6Loopback& hold);
void releaseIpv6Loopback(Ipv6Loopback& hold);

// Until stopWatchingInterrupts, Ctrl+C (and on Linux SIGTERM and SIGHUP)
// calls `interrupted` instead of ending the process, so the server can stop
// and tidy up. Called before any other thread starts, which inherit it.
void watchInterrupts(std::function<void()> interrupted);
void stopWatchingInterrupts();

}  // namespace quill::web
