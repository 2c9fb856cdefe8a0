#include "e2e/archive.h"

#include <cstdint>
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

namespace {

std::string littleEndian(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = 0; i < bytes; ++i) text += static_cast<char>((value >> (8 * i)) & 0xff);
    return text;
}

}  // namespace

std::string expectedWav(const std::string& samples) {
    const auto n = static_cast<std::uint32_t>(samples.size());
    std::string wav = "RIFF" + littleEndian(n + 36, 4) + "WAVEfmt " + littleEndian(16, 4) + littleEndian(1, 2) +
                      littleEndian(1, 2) + littleEndian(11025, 4) + littleEndian(11025, 4) + littleEndian(1, 2) +
                      littleEndian(8, 2) + "data" + littleEndian(n, 4);
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const unsigned add = k % 3 == 0 ? static_cast<unsigned>(k % 256) : 0;
        wav += static_cast<char>((static_cast<unsigned char>(samples[k]) + add) & 0xff);
    }
    return wav;
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
