#include "pack/progress.h"

#include <algorithm>
#include <cstdio>

namespace quill::pack {
namespace {

Console* progressConsole = nullptr;
// The line that counts the bytes read on this thread (the workbench's threads have none).
thread_local Progress* readsCountedBy = nullptr;

// Shown only for work that lasts: a line that flashes by is noise.
constexpr std::int64_t kDelayMs = 1000;
constexpr std::int64_t kEveryMs = 200;

std::string size(std::int64_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%lld KiB", static_cast<long long>(bytes / 1024));
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return text;
}

}  // namespace

void setProgressConsole(Console* console) { progressConsole = console; }

Progress::Progress(Host& host, std::string what, std::int64_t totalBytes, std::int64_t totalRecords)
    : host_(host), console_(progressConsole), what_(std::move(what)), totalBytes_(totalBytes),
      totalRecords_(totalRecords), started_(host.steadyMilliseconds()) {}

Progress::~Progress() { finish(); }

void Progress::finish() {
    if (countsReads_ && readsCountedBy == this) readsCountedBy = outer_;
    countsReads_ = false;
    clear();
}

void Progress::countReads() {
    if (countsReads_) return;
    countsReads_ = true;
    outer_ = readsCountedBy;
    readsCountedBy = this;
}

void progressRead(std::int64_t bytes) {
    if (readsCountedBy != nullptr) readsCountedBy->advance(bytes);
}

void Progress::clear() {
    if (console_ == nullptr || shownWidth_ == 0) return;
    // Built by appending: GCC 12 at -O3 warns falsely on "literal" + string here.
    std::string blank(1, '\r');
    blank.append(shownWidth_, ' ');
    blank.push_back('\r');
    console_->print(blank);
    shownWidth_ = 0;
}

std::string Progress::line() const {
    const std::int64_t elapsed = host_.steadyMilliseconds() - started_;
    // Appended piece by piece: GCC 12 at -O3 warns falsely on "literal" + string.
    std::string text = what_;
    text.append(": ");
    if (totalRecords_ > 0) {
        text.append(std::to_string(records_)).append(" of ").append(std::to_string(totalRecords_)).append(" records, ");
    }
    text.append(size(bytes_));
    if (totalBytes_ >= 0) text.append(" of ").append(size(totalBytes_));
    if (elapsed > 0 && bytes_ > 0) {
        const double rate = static_cast<double>(bytes_) * 1000.0 / static_cast<double>(elapsed);
        text.append(", ").append(size(static_cast<std::int64_t>(rate))).append("/s");
        if (totalBytes_ >= 0) {
            const auto left = static_cast<long long>(static_cast<double>(totalBytes_ - bytes_) / rate + 0.5);
            text.append(", ").append(std::to_string(left)).append(" s left");
        }
    }
    return text;
}

void Progress::advance(std::int64_t bytes, std::int64_t records) {
    bytes_ += bytes;
    records_ += records;
    if (console_ == nullptr) return;
    const std::int64_t now = host_.steadyMilliseconds();
    if (now - started_ < kDelayMs || (lastShown_ >= 0 && now - lastShown_ < kEveryMs)) return;
    lastShown_ = now;
    std::string text(1, '\r');
    text += line();
    const std::size_t width = text.size() - 1;
    if (width < shownWidth_) text.append(shownWidth_ - width, ' ');
    console_->print(text);
    shownWidth_ = std::max(shownWidth_, width);
}

}  // namespace quill::pack
