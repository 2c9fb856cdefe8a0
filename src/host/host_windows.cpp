// Windows side of the host: paths are used exactly as typed. (The API calls
// are spelt ::ReadFile and ::WriteFile: the tool has classes of those names.)
#include "host/host.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>

namespace quill {
namespace {

constexpr std::size_t kMaxChunk = 1u << 30;  // ReadFile and WriteFile take a DWORD count

class WindowsReadFile final : public ReadFile {
public:
    explicit WindowsReadFile(HANDLE handle) : handle_(handle) {}
    ~WindowsReadFile() override { CloseHandle(handle_); }
    WindowsReadFile(const WindowsReadFile&) = delete;
    WindowsReadFile& operator=(const WindowsReadFile&) = delete;

    bool measure(std::int64_t& size) override {
        LARGE_INTEGER zero{};
        LARGE_INTEGER end{};
        if (!SetFilePointerEx(handle_, zero, &end, FILE_END)) return false;
        if (!SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN)) return false;
        size = end.QuadPart;
        return true;
    }

    std::size_t read(std::span<std::byte> buffer) override {
        std::size_t total = 0;
        while (total < buffer.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min(buffer.size() - total, kMaxChunk));
            DWORD got = 0;
            if (!::ReadFile(handle_, buffer.data() + total, chunk, &got, nullptr)) {
                failed_ = true;
                break;
            }
            if (got == 0) break;
            total += got;
        }
        return total;
    }

    bool failed() const override { return failed_; }

private:
    HANDLE handle_;
    bool failed_ = false;
};

class WindowsWriteFile final : public WriteFile {
public:
    explicit WindowsWriteFile(HANDLE handle) : handle_(handle) {}
    ~WindowsWriteFile() override {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    WindowsWriteFile(const WindowsWriteFile&) = delete;
    WindowsWriteFile& operator=(const WindowsWriteFile&) = delete;

    bool write(std::span<const std::byte> bytes) override {
        while (!bytes.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min(bytes.size(), kMaxChunk));
            DWORD put = 0;
            if (!::WriteFile(handle_, bytes.data(), chunk, &put, nullptr) || put == 0) return false;
            bytes = bytes.subspan(put);
        }
        return true;
    }

    bool close() override {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != 0;
    }

private:
    HANDLE handle_;
};

class WindowsHost final : public Host {
public:
    NameRules nameRules() const override { return NameRules::windows; }

    std::string importArgumentPath(const std::string& typed) override { return typed; }

    void makeDirectory(const std::string& path) override { (void)CreateDirectoryA(path.c_str(), nullptr); }

    // The file system ignores letter case by itself.
    std::unique_ptr<ReadFile> openForReading(const std::string& path, NameCase) override {
        const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<WindowsReadFile>(handle);
    }

    std::unique_ptr<WriteFile> createForWriting(const std::string& path) override {
        const HANDLE handle =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<WindowsWriteFile>(handle);
    }
};

}  // namespace

Host& systemHost() {
    static WindowsHost host;
    return host;
}

// Windows raises no signal for a closed pipe or a file-size limit.
void ignoreSignalsThatEndRuns() {}

}  // namespace quill
