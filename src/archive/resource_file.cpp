#include "archive/resource_file.h"

#include <algorithm>

namespace quill {

LoadStatus ResourceFile::open(Host& host, const std::string& path, NameCase nameCase, std::int64_t maxSize) {
    auto state = std::make_shared<State>();
    state->host = &host;
    // Taken before the file is measured: a write after this shows as a new time.
    state->timed = host.readModificationTime(path, nameCase, state->time);
    state->file = host.openForReading(path, nameCase);
    if (!state->file) return LoadStatus::cannotOpen;
    std::int64_t measured = 0;
    if (!state->file->measure(measured) || measured < 0) return LoadStatus::cannotOpen;
    if (measured == 0) return LoadStatus::empty;
    if (measured > maxSize) return LoadStatus::tooLarge;
    size = measured;
    state_ = std::move(state);
    return LoadStatus::loaded;
}

bool ResourceFile::read(std::int64_t offset, std::span<std::byte> into) const {
    if (into.empty()) return true;
    const bool inside = state_ && offset >= 0 && offset <= size &&
                        static_cast<std::int64_t>(into.size()) <= size - offset;
    if (inside && state_->file && state_->file->readAt(offset, into)) return true;
    std::fill(into.begin(), into.end(), std::byte{0});
    if (!state_) return false;
    std::lock_guard hold(state_->reasonLock);
    if (!state_->failed.exchange(true)) {
        // The host keeps its reason per thread: taken here, on the thread that failed.
        const std::string why = inside ? state_->host->lastFailure() : std::string();
        state_->reason = why.empty() ? "it ends sooner than it did when it was measured" : why;
    }
    return false;
}

bool ResourceFile::read(std::int64_t offset, std::int64_t length, std::vector<std::byte>& into) const {
    into.resize(static_cast<std::size_t>(std::max<std::int64_t>(length, 0)));
    return read(offset, into);
}

std::vector<std::byte> ResourceFile::bytes(std::int64_t offset, std::int64_t length) const {
    std::vector<std::byte> result;
    read(offset, length, result);
    return result;
}

void ResourceFile::close() {
    if (!state_) return;
    auto kept = std::make_shared<State>();
    kept->host = state_->host;
    kept->time = state_->time;
    kept->timed = state_->timed;
    state_ = std::move(kept);
}

bool ResourceFile::sameAs(const ResourceFile& other) const {
    return state_ && other.state_ && size == other.size && state_->timed && other.state_->timed &&
           state_->time == other.state_->time;
}

std::string ResourceFile::failure() const {
    if (!state_) return {};
    std::lock_guard hold(state_->reasonLock);
    return state_->reason;
}

bool ResourceFile::changedSince(Host& host, const std::string& path, NameCase nameCase) const {
    if (!state_) return false;
    FileTime now;
    const bool timed = host.readModificationTime(path, nameCase, now);
    if (timed != state_->timed || (timed && now != state_->time)) return true;
    auto check = host.openForReading(path, nameCase);
    std::int64_t measured = 0;
    return !check || !check->measure(measured) || measured != size;
}

}  // namespace quill
