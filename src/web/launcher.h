#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "web/system.h"

// The browser is started on a private file that sends it on to the printed
// address, never on the address itself: a program's arguments can be read
// by every user of the machine, a file of mode 0600 only by its owner.
namespace quill::web {

// The launcher's text: an HTML page that goes on to the address at once, with
// a link for a browser that does not.
std::string launcherPage(std::string_view address);

// The launcher file, removed once the key it holds has been exchanged and at
// the latest when the workbench ends; safe to remove from any thread.
class Launcher {
public:
    Launcher() = default;
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;
    ~Launcher() { remove(); }

    // Writes the file; false when it cannot.
    bool write(std::string_view address);
    const std::string& path() const { return file_.path; }
    void remove();

private:
    std::mutex mutex_;
    PrivateFile file_;
};

}  // namespace quill::web
