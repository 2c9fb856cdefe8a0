#pragma once

#include <string_view>

// Every line of console text the tool prints, byte for byte.
namespace quill::messages {

inline constexpr std::string_view kBanner = "Quillfane decruncher by the Quillfane archive crew, V1.0, 2011-10-02.\n";
inline constexpr std::string_view kUsage = "usage: quillfane.exe list_path.rd [-dig2wav]\n\n";
inline constexpr std::string_view kInvalidParameters = "Error - invalid paramters!\n\n";
inline constexpr std::string_view kListNotOpened = "Error - can't open list file *.RD!\n\n";
inline constexpr std::string_view kListEmpty = "Error - no correct item found in the list!\n\n";
inline constexpr std::string_view kResourceNotOpened = "Error - can't open resource file *.RES!\n\n";
inline constexpr std::string_view kNoMemory = "Error - can't allocate memory!\n\n";
inline constexpr std::string_view kInvalidEntry = "\nError - invalid data in list!\n\n";
inline constexpr std::string_view kEntryNotWritten = "\nError - can't create destination file!\n\n";
inline constexpr std::string_view kWavNotWritten = "\nError - can't create destination file (*.WAV)!\n\n";
inline constexpr std::string_view kAllDone = "\nAll done!\n\n";
inline constexpr std::string_view kOption = "-dig2wav";

}  // namespace quill::messages
