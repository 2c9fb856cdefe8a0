#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "sound/wav_format.h"

namespace quill {

struct WavContents {
    WavFormat format;
    std::span<const std::byte> samples;  // the "data" chunk's body, inside the file's bytes; may be empty
};

enum class WavReadResult { accepted, refused };

// Decides whether a .WAV file's bytes hold samples the game can play: RIFF/
// WAVE, "fmt " PCM (plain or WAVE_FORMAT_EXTENSIBLE), 1 channel, 11025 Hz,
// 8 bits. Otherwise refused, with a description of what the file is and what
// is needed, for the caller to put after the file's name.
//
// Lenient where the samples are not in doubt:
// - the RIFF size is not looked at: chunks are read to the end of the file,
//   since editors and streaming writers leave it wrong;
// - other chunks are skipped, pad byte included, and "fmt " may follow "data";
// - fewer than 8 bytes at the end, or no pad byte after an odd last chunk,
//   are passed over; so is another chunk running past the end (a tag cut
//   short, junk) once "fmt " and "data" are both found;
// - a "data" chunk of 0 bytes gives no samples: an empty entry is the
//   caller's to refuse.
// Strict where they are: "data" or "fmt " running past the end of the file
// (cut short), either of them twice or missing, and a block align, byte rate
// or valid bit count that disagrees with 8-bit mono at 11025 Hz are refused.
// When the "fmt " chunk can be read and is not the format needed, that is
// what the refusal says, whatever else is wrong.
WavReadResult readWav(std::span<const std::byte> file, WavContents& contents, std::string& refusal);

}  // namespace quill
