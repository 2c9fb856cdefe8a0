// The list reader on arbitrary bytes, fed in chunks whose sizes the input picks,
// checked against the C library's own "%lld %lld %12s" over the same text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "unpack/unpack.h"

namespace {

// Hands out the input in pieces of 1 to 64 bytes, straight from the fuzzer's buffer.
class ChunkedInput final : public quill::ReadFile {
public:
    ChunkedInput(const std::uint8_t* data, std::size_t size, std::uint8_t seed)
        : data_(data), size_(size), seed_(seed) {}
    bool measure(std::int64_t& size) override {
        size = static_cast<std::int64_t>(size_);
        return true;
    }
    std::size_t read(std::span<std::byte> buffer) override {
        seed_ = static_cast<std::uint8_t>(seed_ * 37 + 11);
        const std::size_t count = std::min({buffer.size(), size_ - position_, std::size_t{1} + seed_ % 64u});
        if (count > 0) std::memcpy(buffer.data(), data_ + position_, count);
        position_ += count;
        return count;
    }
    bool failed() const override { return false; }
    bool readAt(std::int64_t, std::span<std::byte>) override { return false; }  // the list reader only streams

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::uint8_t seed_;
};

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "list reader invariant broken: %s\n", what);
    std::abort();
}

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    ChunkedInput input(data + 1, size - 1, data[0]);
    quill::EntryTable table;
    quill::readListRecords(input, table);

    if (table.count < 0 || table.count > quill::kMaxListEntries) broken("record count");
    for (int i = 0; i < table.count; ++i) {
        const auto& name = table.entries[static_cast<std::size_t>(i)].name;
        if (name.empty() || name.size() > quill::kMaxNameLength) broken("name length");
        for (char c : name) {
            if (c == '\0' || c == 0x1a || isWhiteSpace(c)) broken("name byte");
        }
        // Each number's place in the stored bytes holds that number, carriage returns aside.
        const auto& entry = table.entries[static_cast<std::size_t>(i)];
        const std::pair<quill::TextSpan, std::int32_t> numbers[] = {{entry.lengthText, entry.length},
                                                                     {entry.offsetText, entry.offset}};
        for (const auto& [where, value] : numbers) {
            if (where.size == 0 || where.position + where.size > size - 1) broken("number outside the list");
            std::string digits;
            for (std::size_t k = 0; k < where.size; ++k) {
                const char c = static_cast<char>(data[1 + where.position + k]);
                if (c != '\r') digits += c;
            }
            if (data[1 + where.position] == '\r' || data[where.position + where.size] == '\r') {
                broken("number's place starts or ends with a carriage return");
            }
            char* end = nullptr;
            if (std::strtoll(digits.c_str(), &end, 10) != value || *end != '\0') broken("number's place");
        }
    }

    // The same text as a C runtime's text mode shows it: no CR, nothing after Ctrl-Z;
    // as a C string it also ends at a NUL, which ends the list just the same.
    std::string text;
    for (std::size_t i = 1; i < size && data[i] != 0x1a; ++i) {
        if (data[i] != 0x0d) text += static_cast<char>(data[i]);
    }
    int expected = 0;
    const char* at = text.c_str();
    long long length = 0;
    long long offset = 0;
    char name[13];
    int used = 0;
    while (expected < quill::kMaxListEntries && std::sscanf(at, "%lld %lld %12s%n", &length, &offset, name, &used) == 3) {
        if (length < INT32_MIN || length > INT32_MAX || offset < INT32_MIN || offset > INT32_MAX) break;
        if (expected >= table.count) broken("fewer records than the C library reads");
        const auto& entry = table.entries[static_cast<std::size_t>(expected)];
        if (entry.length != length || entry.offset != offset || entry.name != name) broken("record differs");
        ++expected;
        at += used;
    }
    if (expected != table.count) broken("more records than the C library reads");
    return 0;
}
