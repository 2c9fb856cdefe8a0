// Compares two ways of writing ".WAV" samples out of a heap image without
// leaving it changed: unscramble in place, write, restore; or unscramble into
// a small buffer and write from it. Usage: wav_strategies OUTDIR
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sound/dig_to_wav.h"

namespace {

constexpr std::size_t kEntry = 1 << 20;
constexpr std::size_t kEntries = 512;

void inPlace(std::vector<std::byte>& image, const std::string& path) {
    for (std::size_t e = 0; e < kEntries; ++e) {
        auto* entry = reinterpret_cast<unsigned char*>(image.data() + e * kEntry);
        for (std::size_t k = 0; k < kEntry; k += 3) entry[k] = static_cast<unsigned char>(entry[k] + k);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (write(fd, entry, kEntry) != static_cast<ssize_t>(kEntry)) std::perror("write");
        close(fd);
        for (std::size_t k = 0; k < kEntry; k += 3) entry[k] = static_cast<unsigned char>(entry[k] - k);
    }
}

void buffered(const std::vector<std::byte>& image, const std::string& path) {
    std::vector<std::byte> buffer(768 * 256);
    for (std::size_t e = 0; e < kEntries; ++e) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        for (std::size_t done = 0; done < kEntry; done += buffer.size()) {
            const std::size_t count = std::min(buffer.size(), kEntry - done);
            quill::unscrambleInto(std::span(image).subspan(e * kEntry + done, count), done, std::span(buffer).first(count));
            if (write(fd, buffer.data(), count) != static_cast<ssize_t>(count)) std::perror("write");
        }
        close(fd);
    }
}

template <typename F>
double seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = std::string(argc > 1 ? argv[1] : ".") + "/strategy.WAV";
    std::vector<std::byte> image(kEntry * kEntries);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::byte>(i * 131);
    for (int round = 0; round < 3; ++round) {
        std::printf("round %d: in place + restore %.3f s, through a buffer %.3f s (512 MiB)\n", round,
                    seconds([&] { inPlace(image, path); }), seconds([&] { buffered(image, path); }));
    }
    std::remove(path.c_str());
    return 0;
}
