#include "pack/entry_file.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "pack/progress.h"

namespace quill::pack {
namespace {

EntryFileState unusable(std::string& problem, std::string text) {
    problem = std::move(text);
    return EntryFileState::unusable;
}

// Reads the rest of a file that differs; the `prefix` bytes already read go first.
EntryFileState readRest(ReadFile& file, std::int64_t size, std::span<const std::byte> prefix,
                        std::vector<std::byte>& bytes, std::string& problem, const Host& host) {
    if (size > INT32_MAX) return unusable(problem, "larger than 2147483647 bytes");
    bytes.resize(static_cast<std::size_t>(size));
    std::copy(prefix.begin(), prefix.end(), bytes.begin());
    // In pieces, so that a progress line moves while a large file is read.
    constexpr std::size_t kPiece = 8 << 20;
    for (auto rest = std::span(bytes).subspan(prefix.size()); !rest.empty();) {
        const auto piece = rest.first(std::min(rest.size(), kPiece));
        if (file.read(piece) != piece.size()) {
            return unusable(problem,
                            file.failed() ? "cannot be read: " + host.lastFailure() : "changed while it was read");
        }
        progressRead(static_cast<std::int64_t>(piece.size()));
        rest = rest.subspan(piece.size());
    }
    std::byte extra{};
    if (file.read(std::span(&extra, 1)) != 0) return unusable(problem, "changed while it was read");
    return EntryFileState::differs;
}

}  // namespace

EntryFileState examineEntryFile(Host& host, const std::string& path,
                                std::span<const std::span<const std::byte>> expected, std::vector<std::byte>& buffer,
                                std::vector<std::byte>& bytes, std::string& problem) {
    std::string reason;
    switch (host.lookUp(path, reason)) {
        case PathState::missing: return EntryFileState::missing;
        case PathState::unknown: return unusable(problem, reason);
        case PathState::notAFile: return unusable(problem, "not a file");
        case PathState::link:
            // An unpack replaces a link with a file of its own: what it points at is not the archive's to take.
            return unusable(problem, "a symbolic link; put the file itself there");
        case PathState::file: break;
    }
    auto file = host.openForReading(path, NameCase::exact);
    if (!file) return unusable(problem, "cannot be read: " + host.lastFailure());
    std::int64_t size = 0;
    if (!file->measure(size)) return unusable(problem, "cannot be read: " + host.lastFailure());
    if (size == 0) return unusable(problem, "empty; a record cannot be empty");

    // Which expected contents are still matched by what has been read so far.
    std::vector<bool> matching;
    for (const auto content : expected) matching.push_back(content.size() == static_cast<std::size_t>(size));
    const auto anyMatching = [&] { return std::find(matching.begin(), matching.end(), true) != matching.end(); };
    if (!anyMatching()) return readRest(*file, size, {}, bytes, problem, host);

    const auto total = static_cast<std::size_t>(size);
    for (std::size_t done = 0; done < total;) {
        const std::size_t want = std::min(buffer.size(), total - done);
        const auto chunk = std::span(buffer).first(want);
        if (file->read(chunk) != want) {
            return unusable(problem, file->failed() ? "cannot be read: " + host.lastFailure() : "changed while it was read");
        }
        progressRead(static_cast<std::int64_t>(want));
        const std::vector<bool> before = matching;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            if (matching[k]) matching[k] = std::memcmp(chunk.data(), expected[k].data() + done, want) == 0;
        }
        if (!anyMatching()) {
            // The bytes before this chunk equal an expected content that
            // matched up to here: taken from it rather than read again.
            const auto k = static_cast<std::size_t>(std::find(before.begin(), before.end(), true) - before.begin());
            std::vector<std::byte> head(expected[k].begin(), expected[k].begin() + static_cast<std::ptrdiff_t>(done));
            head.insert(head.end(), chunk.begin(), chunk.end());
            return readRest(*file, size, head, bytes, problem, host);
        }
        done += want;
    }
    std::byte extra{};
    if (file->read(std::span(&extra, 1)) != 0) return unusable(problem, "changed while it was read");
    return EntryFileState::same;
}

}  // namespace quill::pack
