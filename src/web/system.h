#pragma once

#include <span>
#include <string>

// What the workbench needs of the operating system beyond the host: a secret
// and a browser. One file per system implements these.
namespace quill::web {

// Fills the buffer from the system's generator of secrets; false when it
// gave none.
bool fillRandom(std::span<unsigned char> buffer);

enum class BrowserResult { opened, noOpener, failed };

// Opens the default browser on the address: xdg-open on Linux, the shell's
// handler for the address on Windows. Does not wait for the browser.
BrowserResult openBrowser(const std::string& address);

}  // namespace quill::web
