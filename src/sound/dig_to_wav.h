#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace quill {

inline constexpr std::size_t kWavHeaderSize = 44;

// A companion's samples go out through one buffer of this many bytes, a whole
// number of unscrambling periods (768), the header in front of the first. The
// fuzzing build makes it one period, so that small inputs cross many buffers.
#ifndef QUILL_WAV_CHUNK_PERIODS
#define QUILL_WAV_CHUNK_PERIODS 256
#endif
inline constexpr std::size_t kWavChunk = 768 * QUILL_WAV_CHUNK_PERIODS;
using WavHeader = std::array<std::byte, kWavHeaderSize>;

// PCM, one channel, 11025 samples per second, 8 bits; the two size fields
// declare dataSize sample bytes.
WavHeader makeWavHeader(std::uint32_t dataSize);

// True when the name, read from its first dot to its end, is ".DIG" in any case.
bool isSoundName(std::string_view name);
// The companion's name: the text from the first dot replaced by ".WAV".
std::string wavNameFor(std::string_view soundName);

// Writes the unscrambled form of samples into out (same size). firstIndex is
// the position of samples[0] within its entry: every third byte of an entry,
// from its first, has its index (mod 256) added.
void unscrambleInto(std::span<const std::byte> samples, std::size_t firstIndex, std::span<std::byte> out);

// A sound's whole .WAV companion in memory: header and unscrambled samples,
// byte for byte what convertDigToWav writes.
std::vector<std::byte> companionBytes(std::span<const std::byte> sound);

enum class WavResult { written, failed };

// Writes a sound's ".WAV" companion at wavPath: the header, then the samples
// unscrambled. The samples are only read, so each companion is unscrambled
// exactly once however entries repeat or overlap.
// `buffer` is the caller's working memory, made once and used for every sound
// (one per thread): on the stack it would overflow a small stack limit, and a
// heap block this size would be mapped, faulted in and unmapped for each one.
using WavBuffer = std::array<std::byte, kWavHeaderSize + kWavChunk>;
WavResult convertDigToWav(Host& host, const std::string& wavPath, std::span<const std::byte> samples,
                          WavBuffer& buffer);

}  // namespace quill
