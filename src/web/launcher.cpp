#include "web/launcher.h"

namespace quill::web {

std::string launcherPage(std::string_view address) {
    // The address holds only letters, digits and ":/.?=-", none of which
    // HTML would read as markup.
    const std::string to(address);
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"refresh\" content=\"0;url=" + to + "\">\n"
           "<title>quillpack workbench</title>\n</head>\n<body>\n"
           "<p>Opening the workbench: <a href=\"" + to + "\">" + to + "</a></p>\n</body>\n</html>\n";
}

bool Launcher::write(std::string_view address) {
    const std::lock_guard lock(mutex_);
    return writePrivateFile(launcherPage(address), file_);
}

void Launcher::remove() {
    const std::lock_guard lock(mutex_);
    removePrivateFile(file_);
    file_ = {};
}

}  // namespace quill::web
