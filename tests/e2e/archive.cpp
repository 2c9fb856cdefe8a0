#include "e2e/archive.h"

#include <cstdio>

namespace quill::e2e {

std::string sampleResource(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 256) & 0xff);
    return bytes;
}

void writeArchive(const fs::path& root, const std::string& stem, const std::string& list, const std::string& resource) {
    writeFile(root / (stem + ".RD"), list);
    writeFile(root / (stem + ".RES"), resource);
}

std::string progress(int position, int count, const std::string& name) {
    char line[64];
    std::snprintf(line, sizeof line, "%3d/%3d - %-13s\r", position, count, name.c_str());
    return line;
}

std::string slice(const std::string& resource, std::size_t offset, std::size_t length) {
    return resource.substr(offset, length);
}

}  // namespace quill::e2e
