// The history file: a text header per version, then its list bytes as they
// are (they may hold any byte), so a version reads back exactly.
//
//   quillpack history 1
//   current C previous P L next N
//   resource SIZE TICKS                 (optional: the resource as the last commit left it)
//   range OFFSET LENGTH CHECKSUM        (one per range any version uses)
//   version NUMBER TIME HEADLENGTH TAILLENGTH TAILCHECKSUM
//   command TEXT
//   summary TEXT
//   HEADLENGTH bytes, then a line end
//   end
#include "pack/history.h"

#include <xxhash.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace quill::pack {
namespace {

constexpr std::string_view kMagic = "quillpack history 1\n";

std::string hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// One line of text: a note never spans lines.
std::string oneLine(const std::string& text) {
    std::string line = text;
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return line;
}

void put(std::vector<std::byte>& out, std::string_view text) {
    for (const char c : text) out.push_back(static_cast<std::byte>(c));
}

class Reader {
public:
    explicit Reader(std::span<const std::byte> bytes) : bytes_(bytes) {}

    bool line(std::string& text) {
        text.clear();
        while (at_ < bytes_.size() && bytes_[at_] != std::byte{'\n'}) text += static_cast<char>(bytes_[at_++]);
        if (at_ >= bytes_.size()) return false;
        ++at_;
        return true;
    }

    bool peek(std::string_view text) const {
        if (bytes_.size() - at_ < text.size()) return false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (bytes_[at_ + i] != static_cast<std::byte>(text[i])) return false;
        }
        return true;
    }

    bool raw(std::size_t count, std::vector<std::byte>& out) {
        if (bytes_.size() - at_ < count + 1 || bytes_[at_ + count] != std::byte{'\n'}) return false;
        out.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + count));
        at_ += count + 1;
        return true;
    }

private:
    std::span<const std::byte> bytes_;
    std::size_t at_ = 0;
};

// A checksum, written as 16 hex digits.
struct Hex {
    std::uint64_t& value;
};

// The words of a line after its keyword, as numbers (base 10, or 16 where asked).
template <typename... T>
bool fields(std::string_view line, std::string_view keyword, T&... values) {
    if (!line.starts_with(keyword) || line.size() <= keyword.size() || line[keyword.size()] != ' ') return false;
    const char* at = line.data() + keyword.size();
    const char* end = line.data() + line.size();
    const auto one = [&](auto& value) {
        if (at == end || *at != ' ') return false;
        ++at;
        if constexpr (std::is_same_v<std::remove_reference_t<decltype(value)>, Hex>) {
            const auto [next, error] = std::from_chars(at, end, value.value, 16);
            if (error != std::errc() || next - at != 16) return false;
            at = next;
        } else {
            const auto [next, error] = std::from_chars(at, end, value);
            if (error != std::errc() || next == at) return false;
            at = next;
        }
        return true;
    };
    return (one(values) && ...) && at == end;
}

bool text(std::string_view line, std::string_view keyword, std::string& value) {
    if (!line.starts_with(keyword) || line.size() < keyword.size() + 1 || line[keyword.size()] != ' ') return false;
    value = std::string(line.substr(keyword.size() + 1));
    return true;
}

}  // namespace

const HistoryVersion* History::find(int number) const {
    const int index = indexOf(number);
    return index < 0 ? nullptr : &versions[static_cast<std::size_t>(index)];
}

bool History::checksumOf(const HistoryVersion& version, Range range, std::uint64_t& sum) const {
    if (const auto own = version.ownChecksums.find(range); own != version.ownChecksums.end()) {
        sum = own->second;
        return true;
    }
    const auto shared = ranges.find(range);
    if (shared == ranges.end()) return false;
    sum = shared->second;
    return true;
}

int History::indexOf(int number) const {
    for (std::size_t i = 0; i < versions.size(); ++i) {
        if (versions[i].number == number) return static_cast<int>(i);
    }
    return -1;
}

std::uint64_t checksum(std::span<const std::byte> bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

std::vector<std::byte> serializeHistory(const History& history) {
    std::vector<std::byte> out;
    put(out, kMagic);
    put(out, "current " + std::to_string(history.current) + " previous " + std::to_string(history.previousCurrent) +
                 " " + std::to_string(history.previousLast) + " next " + std::to_string(history.nextNumber) + "\n");
    if (history.resourceSize >= 0) {
        put(out, "resource " + std::to_string(history.resourceSize) + " " + std::to_string(history.resourceTicks) + "\n");
    }
    for (const auto& [range, sum] : history.ranges) {
        put(out, "range " + std::to_string(range.first) + " " + std::to_string(range.second) + " " + hex(sum) + "\n");
    }
    for (const HistoryVersion& version : history.versions) {
        put(out, "version " + std::to_string(version.number) + " " + std::to_string(version.time) + " " +
                     std::to_string(version.head.size()) + " " + std::to_string(version.tail.length) + " " +
                     hex(version.tail.hash) + "\n");
        put(out, "command " + oneLine(version.command) + "\n");
        put(out, "summary " + oneLine(version.summary) + "\n");
        for (const auto& [range, sum] : version.ownChecksums) {
            put(out, "own " + std::to_string(range.first) + " " + std::to_string(range.second) + " " + hex(sum) + "\n");
        }
        out.insert(out.end(), version.head.begin(), version.head.end());
        put(out, "\n");
    }
    put(out, "end\n");
    return out;
}

bool parseHistory(std::span<const std::byte> bytes, History& history, std::string& problem) {
    history = History{};
    Reader reader(bytes);
    std::string line;
    if (!reader.line(line) || line + "\n" != kMagic) {
        problem = "not a quillpack history (or one of a newer quillpack)";
        return false;
    }
    if (!reader.line(line)) {
        problem = "cut short";
        return false;
    }
    {
        // "current C previous P L next N"
        int current = 0;
        int previousCurrent = 0;
        int previousLast = 0;
        int next = 0;
        char keywords[3][10] = {};
        if (std::sscanf(line.c_str(), "current %d %9s %d %d %9s %d", &current, keywords[0], &previousCurrent,
                        &previousLast, keywords[1], &next) != 6 ||
            std::string_view(keywords[0]) != "previous" || std::string_view(keywords[1]) != "next" || next < 1 ||
            line != "current " + std::to_string(current) + " previous " + std::to_string(previousCurrent) + " " +
                        std::to_string(previousLast) + " next " + std::to_string(next)) {
            problem = "its state line is damaged";
            return false;
        }
        history.current = current;
        history.previousCurrent = previousCurrent;
        history.previousLast = previousLast;
        history.nextNumber = next;
    }
    while (reader.line(line)) {
        if (line == "end") {
            for (const HistoryVersion& version : history.versions) {
                if (version.number >= history.nextNumber) {
                    problem = "version " + std::to_string(version.number) + " is numbered past the next number";
                    return false;
                }
            }
            return true;
        }
        std::int64_t offset = 0;
        std::int64_t length = 0;
        std::uint64_t sum = 0;
        Hex sumHex{sum};
        if (fields(line, "resource", offset, length)) {
            if (offset < 0 || !history.versions.empty() || !history.ranges.empty()) {
                problem = "its resource line is damaged";
                return false;
            }
            history.resourceSize = offset;
            history.resourceTicks = length;
            continue;
        }
        if (fields(line, "range", offset, length, sumHex)) {
            if (offset < 0 || length < 0) {
                problem = "a range with a negative offset or length";
                return false;
            }
            history.ranges[{offset, length}] = sum;
            continue;
        }
        HistoryVersion version;
        std::int64_t headLength = 0;
        Hex tailHex{version.tail.hash};
        if (!fields(line, "version", version.number, version.time, headLength, version.tail.length, tailHex) ||
            headLength < 0) {
            problem = "a damaged line: " + line.substr(0, 40);
            return false;
        }
        bool whole = reader.line(line) && text(line, "command", version.command) && reader.line(line) &&
                     text(line, "summary", version.summary);
        while (whole && reader.peek("own ")) {
            whole = reader.line(line) && fields(line, "own", offset, length, sumHex) && offset >= 0 && length >= 0;
            if (whole) version.ownChecksums[{offset, length}] = sum;
        }
        if (!whole || !reader.raw(static_cast<std::size_t>(headLength), version.head)) {
            problem = "version " + std::to_string(version.number) + " is damaged";
            return false;
        }
        if (history.find(version.number) != nullptr) {
            problem = "version " + std::to_string(version.number) + " appears twice";
            return false;
        }
        history.versions.push_back(std::move(version));
    }
    problem = "cut short";
    return false;
}

void reconcile(History& history, std::span<const std::byte> head, const ListTail& tail) {
    const auto is = [&](const HistoryVersion* version) {
        return version != nullptr && version->tail == tail && std::equal(version->head.begin(), version->head.end(),
                                                                         head.begin(), head.end());
    };
    history.storedCurrent = history.current;
    if (is(history.find(history.current))) return;
    if (history.previousCurrent != 0 && is(history.find(history.previousCurrent))) {
        // The last write's list never landed, or a copy of the list before it
        // was put back: either way the version it made stays, ahead (redo
        // reaches it when its bytes are still there).
        history.current = history.previousCurrent;
        return;
    }
    history.current = 0;
    for (auto version = history.versions.rbegin(); version != history.versions.rend(); ++version) {
        if (is(&*version)) {
            history.current = version->number;
            return;
        }
    }
}

}  // namespace quill::pack
