// The floor: only the system calls the job cannot do without. Reads the
// resource once into memory of its own (anonymous, large pages, made present
// in one call: the cheapest way this system has to hold a copy), then for each "length offset name" record of the
// list opens the output file, writes the bytes in one call and closes it.
// No checks beyond what keeps it from crashing on the benchmark's own files.
//
// -dig2wav: also writes each ".DIG" entry's ".WAV" companion, header and
// unscrambled samples in one reused buffer, one write each.
// -read: writes nothing; reads the resource as above and every file the list
// names in DIR through one reused buffer: the bytes an update has to look at.
// -stream [APPENDED]: what an update cannot do with less: no image of the
// resource; each record's range read (pread) into one buffer, the file of that
// name in DIR into another, both reused and as large as the largest record or
// file, and compared. A file that differs is appended to APPENDED (a scratch
// file standing for the resource, synced at the end as an update must before
// its list may name the bytes); a real file, not /dev/null, since the pages an
// append fills cost as much as the update's own. Writing the new list (a few
// kilobytes) is left out: the floor stays below the tool.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix_io.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace {

void put32(unsigned char* at, unsigned long value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// RIFF/WAVE, PCM, one channel, 11025 samples a second, 8 bits.
void wavHeader(unsigned char* at, unsigned long length) {
    std::memcpy(at, "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\0\0\0\0\0\0\0\0\x01\0\x08\0data\0\0\0\0", 44);
    put32(at + 4, length + 36);
    put32(at + 24, 11025);
    put32(at + 28, 11025);
    put32(at + 40, length);
}

// Byte k of an entry gets k mod 256 added when k is a multiple of 3: the
// amounts repeat every 768 bytes, and a table of one period lets the compiler
// vectorise the addition.
void unscramble(const unsigned char* in, std::size_t count, unsigned char* out) {
    static unsigned char amounts[768];
    for (std::size_t k = 0; k < 768; k += 3) amounts[k] = static_cast<unsigned char>(k);
    for (std::size_t i = 0; i < count; i += 768) {
        const std::size_t run = count - i < 768 ? count - i : 768;
        for (std::size_t j = 0; j < run; ++j) out[i + j] = static_cast<unsigned char>(in[i + j] + amounts[j]);
    }
}

// -stream: the status the program ends with.
int streamCompare(const char* resourcePath, const char* listPath, const std::string& directory, const char* appendedPath) {
    const int resource = open(resourcePath, O_RDONLY);
    FILE* list = std::fopen(listPath, "r");
    const int appended = appendedPath == nullptr ? -1 : open(appendedPath, O_WRONLY | O_CREAT | O_APPEND, 0666);
    if (resource < 0 || list == nullptr || (appendedPath != nullptr && appended < 0)) return 2;
    std::vector<unsigned char> record;
    std::vector<unsigned char> file;
    long length = 0;
    long offset = 0;
    char name[13];
    while (std::fscanf(list, "%ld %ld %12s", &length, &offset, name) == 3) {
        const auto recordBytes = static_cast<std::size_t>(length);
        if (record.size() < recordBytes) record.resize(recordBytes);
        if (!readAt(resource, record.data(), recordBytes, offset)) return 3;
        const int in = open((directory + name).c_str(), O_RDONLY);
        struct stat info {};
        if (in < 0 || fstat(in, &info) != 0) return 5;
        const auto fileBytes = static_cast<std::size_t>(info.st_size);
        if (file.size() < fileBytes) file.resize(fileBytes);
        if (!readWhole(in, file.data(), fileBytes)) return 5;
        close(in);
        const bool same = fileBytes == recordBytes && std::memcmp(file.data(), record.data(), fileBytes) == 0;
        if (!same && appended >= 0 && !writeWhole(appended, file.data(), fileBytes)) return 6;
    }
    std::fclose(list);
    close(resource);
    if (appended >= 0 && (fdatasync(appended) != 0 || close(appended) != 0)) return 6;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc >= 5 ? argv[4] : "";
    if (argc == 5 || argc == 6) {
        if (mode == "-stream") return streamCompare(argv[1], argv[2], std::string(argv[3]) + "/", argc == 6 ? argv[5] : nullptr);
    }
    if (argc < 4 || argc > 5 || (argc == 5 && mode != "-dig2wav" && mode != "-read")) {
        std::fprintf(stderr, "usage: floor RESOURCE LIST DIR [-dig2wav | -read | -stream [APPENDED]]\n");
        return 1;
    }
    const bool wav = mode == "-dig2wav";
    const bool readOnly = mode == "-read";
    const int resource = open(argv[1], O_RDONLY);
    struct stat info {};
    if (resource < 0 || fstat(resource, &info) != 0) return 2;
    const auto size = static_cast<std::size_t>(info.st_size);
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return 2;
    madvise(block, size, MADV_HUGEPAGE);
    madvise(block, size, MADV_POPULATE_WRITE);
    auto* image = static_cast<char*>(block);
    if (!readWhole(resource, reinterpret_cast<unsigned char*>(image), size)) return 3;
    close(resource);

    FILE* list = std::fopen(argv[2], "r");
    if (list == nullptr) return 4;
    if (!readOnly) mkdir(argv[3], 0777);
    const std::string directory = std::string(argv[3]) + "/";
    long length = 0;
    long offset = 0;
    char name[13];
    std::vector<unsigned char> buffer;
    while (std::fscanf(list, "%ld %ld %12s", &length, &offset, name) == 3) {
        if (readOnly) {
            const int in = open((directory + name).c_str(), O_RDONLY);
            if (in < 0 || fstat(in, &info) != 0) return 5;
            const auto bytes = static_cast<std::size_t>(info.st_size);
            if (buffer.size() < bytes) buffer.resize(bytes);
            if (!readWhole(in, buffer.data(), bytes)) return 5;
            close(in);
            continue;
        }
        const int out = open((directory + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (out < 0 || write(out, image + offset, static_cast<std::size_t>(length)) != length) return 5;
        close(out);
        const char* dot = std::strchr(name, '.');
        if (!wav || dot == nullptr || strcasecmp(dot, ".DIG") != 0) continue;
        const auto samples = static_cast<std::size_t>(length);
        if (buffer.size() < 44 + samples) buffer.resize(44 + samples);
        wavHeader(buffer.data(), static_cast<unsigned long>(length));
        unscramble(reinterpret_cast<const unsigned char*>(image + offset), samples, buffer.data() + 44);
        const std::string wavName = directory + std::string(name, static_cast<std::size_t>(dot - name)) + ".WAV";
        const int companion = open(wavName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (companion < 0 || write(companion, buffer.data(), 44 + samples) != static_cast<ssize_t>(44 + samples)) return 5;
        close(companion);
    }
    std::fclose(list);
    munmap(block, size);
    return 0;
}
