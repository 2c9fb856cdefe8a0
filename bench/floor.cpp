// The floor: only the system calls the job cannot do without. Reads the
// resource once into memory of its own (anonymous, large pages, made present
// in one call: the cheapest way this system has to hold a copy), then for each "length offset name" record of the
// list opens the output file, writes the bytes in one call and closes it.
// No checks beyond what keeps it from crashing on the benchmark's own files.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: floor RESOURCE LIST OUTDIR\n");
        return 1;
    }
    const int resource = open(argv[1], O_RDONLY);
    struct stat info {};
    if (resource < 0 || fstat(resource, &info) != 0) return 2;
    const auto size = static_cast<std::size_t>(info.st_size);
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return 2;
    madvise(block, size, MADV_HUGEPAGE);
    madvise(block, size, MADV_POPULATE_WRITE);
    auto* image = static_cast<char*>(block);
    std::size_t filled = 0;
    while (filled < static_cast<std::size_t>(info.st_size)) {
        const ssize_t got = read(resource, image + filled, static_cast<std::size_t>(info.st_size) - filled);
        if (got <= 0) return 3;
        filled += static_cast<std::size_t>(got);
    }
    close(resource);

    FILE* list = std::fopen(argv[2], "r");
    if (list == nullptr) return 4;
    mkdir(argv[3], 0777);
    const std::string directory = std::string(argv[3]) + "/";
    long length = 0;
    long offset = 0;
    char name[13];
    while (std::fscanf(list, "%ld %ld %12s", &length, &offset, name) == 3) {
        const int out = open((directory + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (out < 0 || write(out, image + offset, static_cast<std::size_t>(length)) != length) return 5;
        close(out);
    }
    std::fclose(list);
    munmap(block, size);
    return 0;
}
