// The list reader: "length offset name" records, read the way a C runtime's
// text-mode "%d %d %12s" would on Windows, but by hand so every host agrees.
#include <cstdint>
#include <vector>

#include "unpack/unpack.h"

namespace quill {
namespace {

constexpr int kEnd = -1;

// The list's bytes as text mode shows them: CR bytes vanish, Ctrl-Z ends the text.
class ListText {
public:
    explicit ListText(ReadFile& file) : file_(file) {}

    int peek() {
        while (!ended_) {
            if (position_ == filled_ && !refill()) break;
            const auto byte = static_cast<unsigned char>(buffer_[position_]);
            if (byte == 0x0D) {
                ++position_;
                continue;
            }
            if (byte == 0x1A) {
                ended_ = true;
                break;
            }
            return byte;
        }
        return kEnd;
    }

    void advance() { ++position_; }
    // Bytes of the file before the next one peek() looks at, carriage returns included.
    std::size_t offset() const { return consumed_ + position_; }

private:
    bool refill() {
        consumed_ += filled_;
        filled_ = file_.read(buffer_);
        position_ = 0;
        if (filled_ == 0) ended_ = true;
        return filled_ != 0;
    }

    ReadFile& file_;
    std::vector<std::byte> buffer_ = std::vector<std::byte>(16384);  // off the stack, as the table is
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    std::size_t consumed_ = 0;
    bool ended_ = false;
};

bool isWhiteSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void skipWhiteSpace(ListText& text) {
    while (isWhiteSpace(text.peek())) text.advance();
}

// An optional sign and decimal digits. A value outside the signed 32-bit
// range makes the record malformed rather than wrapping to another offset.
bool readNumber(ListText& text, std::int32_t& value, TextSpan& where) {
    skipWhiteSpace(text);
    where = {text.offset(), 0};
    bool negative = false;
    if (const int c = text.peek(); c == '+' || c == '-') {
        negative = c == '-';
        text.advance();
    }
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
    std::int64_t magnitude = 0;
    bool anyDigit = false;
    bool inRange = true;
    for (int c = text.peek(); c >= '0' && c <= '9'; c = text.peek()) {
        anyDigit = true;
        if (inRange) {
            magnitude = magnitude * 10 + (c - '0');
            inRange = magnitude <= limit;
        }
        text.advance();
        where.size = text.offset() - where.position;
    }
    if (!anyDigit || !inRange) return false;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

// 1 to 12 bytes that are not white space; a NUL ends the name and stays unread.
bool readName(ListText& text, std::string& name, TextSpan& where) {
    skipWhiteSpace(text);
    name.clear();
    where = {text.offset(), 0};
    for (int c = text.peek(); name.size() < kMaxNameLength && c != kEnd && c != 0 && !isWhiteSpace(c);
         c = text.peek()) {
        name.push_back(static_cast<char>(c));
        text.advance();
        where.size = text.offset() - where.position;
    }
    return !name.empty();
}

}  // namespace

void readListRecords(ReadFile& file, EntryTable& table) {
    ListText text(file);
    table.count = 0;
    while (table.count < kMaxListEntries) {
        ListEntry& entry = table.entries[static_cast<std::size_t>(table.count)];
        if (!readNumber(text, entry.length, entry.lengthText) || !readNumber(text, entry.offset, entry.offsetText) ||
            !readName(text, entry.name, entry.nameText)) {
            break;
        }
        ++table.count;
    }
}

ListReadResult readListFile(Host& host, const std::string& listPath, EntryTable& table) {
    auto file = host.openForReading(listPath, NameCase::exact);
    if (!file) return ListReadResult::openFailed;
    readListRecords(*file, table);
    // A list that could not be read to its end is not the list the user has.
    return file->failed() ? ListReadResult::openFailed : ListReadResult::ok;
}

}  // namespace quill
