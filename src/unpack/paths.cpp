// How every path follows from the list path, and the directory maker.
#include <algorithm>

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

bool isUnsafeEntryName(std::string_view name) {
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto end = std::min(name.find_first_of("\\/", start), name.size());
        const auto component = name.substr(start, end - start);
        if (component.size() >= 2 && component.find_first_not_of('.') == std::string_view::npos) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace quill
