#include "support/memory_host.h"

#include <algorithm>

namespace quill::testing {
namespace {

class MemoryWriteFile : public WriteFile {
public:
    MemoryWriteFile(Bytes& target, bool failing) : target_(target), failing_(failing) {}
    bool write(std::span<const std::byte> bytes) override {
        if (failing_) return false;
        target_.insert(target_.end(), bytes.begin(), bytes.end());
        return true;
    }
    bool close() override { return !failing_; }

private:
    Bytes& target_;
    bool failing_;
};

}  // namespace

Bytes toBytes(std::string_view text) {
    Bytes bytes(text.size());
    std::transform(text.begin(), text.end(), bytes.begin(), [](char c) { return static_cast<std::byte>(c); });
    return bytes;
}

std::string toText(const Bytes& bytes) { return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()); }

bool MemoryReadFile::measure(std::int64_t& size) {
    size = static_cast<std::int64_t>(bytes_.size());
    position_ = 0;
    return true;
}

std::size_t MemoryReadFile::read(std::span<std::byte> buffer) {
    const std::size_t count = std::min({buffer.size(), bytes_.size() - position_, maxChunk_});
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
    position_ += count;
    return count;
}

bool MemoryHost::parentExists(const std::string& path) const {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos || directories.count(path.substr(0, slash)) != 0;
}

void MemoryHost::makeDirectory(const std::string& path) {
    directoryAttempts.push_back(path);
    if (!path.empty() && parentExists(path) && files.count(path) == 0) directories.insert(path);
}

std::unique_ptr<ReadFile> MemoryHost::openForReading(const std::string& path, NameCase) {
    const auto found = files.find(path);
    if (found == files.end()) return nullptr;
    return std::make_unique<MemoryReadFile>(found->second);
}

std::unique_ptr<WriteFile> MemoryHost::createForWriting(const std::string& path) {
    if (!parentExists(path) || directories.count(path) != 0) return nullptr;
    Bytes& target = files[path];
    target.clear();
    return std::make_unique<MemoryWriteFile>(target, unwritable.count(path) != 0);
}

}  // namespace quill::testing
