// Finding the samples in a .WAV file's chunks.
#include "sound/wav_reader.h"

#include <algorithm>
#include <string_view>

#include "sound/little_endian.h"

namespace quill {
namespace {

constexpr std::size_t kRiffHeaderSize = 12;
constexpr std::size_t kChunkHeaderSize = 8;

// What the chunk walk found, and the first problem that stopped it.
struct Chunks {
    bool fmtSeen = false;
    bool formatRead = false;
    WavFormat format;
    bool dataSeen = false;
    std::span<const std::byte> samples;
    std::string problem;
};

bool isId(std::span<const std::byte> bytes, std::size_t at, std::string_view id) {
    return std::equal(id.begin(), id.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                      [](char c, std::byte b) { return static_cast<std::byte>(c) == b; });
}

// A chunk ID as text for a message: bytes outside printable ASCII as '?'.
std::string printableId(std::span<const std::byte> id) {
    std::string text;
    for (std::byte b : id) {
        const auto c = std::to_integer<unsigned char>(b);
        text += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    return text;
}

std::string runsPastTheEnd(std::span<const std::byte> id) {
    // Appended piece by piece: g++ 12 at -O3 warns falsely (-Wrestrict) on "..." + std::string.
    std::string text = "\"";
    text += printableId(id);
    text += "\" chunk runs past the end of the file";
    return text;
}

bool stop(Chunks& found, std::string problem) {
    found.problem = std::move(problem);
    return false;
}

// Takes in one chunk; false stops the walk. fits is false for a chunk whose
// declared size runs past the end of the file, which nothing can follow.
bool takeChunk(std::span<const std::byte> id, std::span<const std::byte> body, bool fits, Chunks& found) {
    if (isId(id, 0, "data")) {
        if (found.dataSeen) return stop(found, "more than one \"data\" chunk");
        if (!fits) return stop(found, runsPastTheEnd(id));  // cut-short samples are no use
        found.dataSeen = true;
        found.samples = body;
    } else if (isId(id, 0, "fmt ")) {
        if (found.fmtSeen) return stop(found, "more than one \"fmt \" chunk");
        if (!fits) return stop(found, runsPastTheEnd(id));
        found.fmtSeen = true;
        found.formatRead = parseWavFormat(body, found.format, found.problem);
        return found.formatRead;
    } else if (!fits) {
        // Anything else cut short (a tag, junk after the last chunk) only
        // matters while the samples or their format are still to be found.
        return found.dataSeen && found.fmtSeen ? false : stop(found, runsPastTheEnd(id));
    }
    return true;
}

void walkChunks(std::span<const std::byte> file, Chunks& found) {
    std::size_t at = kRiffHeaderSize;
    while (file.size() - at >= kChunkHeaderSize) {
        const std::size_t size = loadLittleEndian(file, at + 4, 4);
        const std::size_t bodyAt = at + kChunkHeaderSize;
        const bool fits = size <= file.size() - bodyAt;
        const auto body = fits ? file.subspan(bodyAt, size) : std::span<const std::byte>();
        if (!takeChunk(file.subspan(at, 4), body, fits, found)) return;
        // An odd-sized chunk is followed by a pad byte; one missing at the very end is no loss.
        at = bodyAt + size + size % 2;
        if (at > file.size()) return;
    }
}

WavReadResult refuse(std::string& refusal, std::string text) {
    refusal = std::move(text);
    return WavReadResult::refused;
}

}  // namespace

WavReadResult readWav(std::span<const std::byte> file, WavContents& contents, std::string& refusal) {
    if (file.size() < kRiffHeaderSize || !isId(file, 0, "RIFF") || !isId(file, 8, "WAVE")) {
        return refuse(refusal, "not a RIFF/WAVE file");
    }
    Chunks found;
    walkChunks(file, found);
    // What the file is comes first: it tells the user what to export instead,
    // whatever else is wrong with it.
    std::string problem;
    if (found.formatRead && !checkWavFormat(found.format, problem)) return refuse(refusal, problem);
    if (!found.problem.empty()) return refuse(refusal, found.problem);
    if (!found.fmtSeen) return refuse(refusal, "no \"fmt \" chunk");
    if (!found.dataSeen) return refuse(refusal, "no \"data\" chunk");
    contents.format = found.format;
    contents.samples = found.samples;
    return WavReadResult::accepted;
}

}  // namespace quill
