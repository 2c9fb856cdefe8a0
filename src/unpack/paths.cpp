// How every path follows from the list path, and the directory maker.
#include <algorithm>

#include "common/ascii_case.h"
#include "unpack/unpack.h"

namespace quill {

std::string deriveResourcePath(const std::string& listPath) {
    std::string path = listPath;
    // The last dot anywhere, a directory name's included.
    if (const auto dot = path.rfind('.'); dot != std::string::npos) path.replace(dot, std::string::npos, ".RES");
    return path;
}

void deriveOutputDirectory(std::string& path) {
    const auto slash = path.rfind('\\');
    if (slash == std::string::npos) {
        path = "data\\";
    } else {
        path.replace(slash, std::string::npos, "\\data\\");
    }
}

int makeDirectoryPath(Host& host, const std::string* path) {
    if (path == nullptr) return 1;
    std::string copy = *path;
    std::replace(copy.begin(), copy.end(), '/', '\\');
    if (copy.empty() || copy.back() != '\\') copy.push_back('\\');
    // Shortest level first; levels that exist or cannot be made pass unnoticed.
    for (auto slash = copy.find('\\'); slash != std::string::npos; slash = copy.find('\\', slash + 1)) {
        host.makeDirectory(copy.substr(0, slash));
    }
    return 0;
}

std::string entryOutputPath(const std::string& outputDirectory, const std::string& name) {
    return outputDirectory + name;
}

namespace {

bool isOnlyDots(std::string_view component) {
    return component.size() >= 2 && component.find_first_not_of('.') == std::string_view::npos;
}

// Windows opens a device for these whatever the extension, the letter case
// or the spaces and dots that trail them.
bool isWindowsDeviceName(std::string_view component) {
    // COM and LPT with a superscript 1, 2 or 3 (code page 1252) are devices too.
    static constexpr std::string_view kDevices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",     "COM5",     "COM6",     "COM7",
        "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6",     "LPT7",     "LPT8",     "LPT9",
        "CONIN$", "CONOUT$", "COM\xB9", "COM\xB2", "COM\xB3", "LPT\xB9", "LPT\xB2", "LPT\xB3"};
    auto stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    for (const auto device : kDevices) {
        if (equalsIgnoringAsciiCase(stem, device)) return true;
    }
    return false;
}

}  // namespace

bool isUnsafeEntryName(std::string_view name, NameRules rules) {
    // A colon on Windows names a drive or an alternate data stream.
    if (rules == NameRules::windows && name.find(':') != std::string_view::npos) return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto end = std::min(name.find_first_of("\\/", start), name.size());
        const auto component = name.substr(start, end - start);
        if (isOnlyDots(component)) return true;
        if (rules == NameRules::windows && isWindowsDeviceName(component)) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace quill
