#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "host/console.h"
#include "host/host.h"

namespace quill {

inline constexpr int kMaxListEntries = 999;
inline constexpr std::size_t kMaxNameLength = 12;

// Where a piece of text stands in the list file's bytes as stored (carriage
// returns and all), so that a number can be rewritten where it stood.
struct TextSpan {
    std::size_t position = 0;
    std::size_t size = 0;
};

// One record of the list file.
struct ListEntry {
    std::string name;  // 1 to 12 bytes, as listed
    std::int32_t offset = 0;
    std::int32_t length = 0;
    TextSpan lengthText;  // sign and digits of the length
    TextSpan offsetText;  // sign and digits of the offset
    TextSpan nameText;    // the name's bytes (carriage returns among them included)
};

struct EntryTable {
    std::array<ListEntry, kMaxListEntries> entries;
    int count = 0;
};

// The whole resource file as one block, released when the image goes.
struct ResourceImage {
    std::unique_ptr<ImageMemory> memory;
    std::int32_t size = 0;

    std::span<const std::byte> bytes() const { return {memory->data(), static_cast<std::size_t>(size)}; }
};

enum class ExitCode : int {
    ok = 0,
    badCommandLine = 1,
    listNotOpened = 2,
    listEmpty = 3,
    resourceNotLoaded = 4,
    invalidEntry = 5,
    entryNotWritten = 6,
    wavNotWritten = 7,
};

// --- list file -------------------------------------------------------------
enum class ListReadResult { ok, openFailed };
ListReadResult readListFile(Host& host, const std::string& listPath, EntryTable& table);
// The record reader itself, over any byte stream.
void readListRecords(ReadFile& file, EntryTable& table);

// --- resource file -----------------------------------------------------------
enum class LoadResult { ok, openFailed, allocationFailed };
LoadResult loadResourceImage(Host& host, const std::string& resourcePath, ResourceImage& image);

bool checkEntry(const ListEntry& entry, std::int32_t imageSize);

// --- paths and directories ---------------------------------------------------
std::string deriveResourcePath(const std::string& listPath);
void deriveOutputDirectory(std::string& path);
int makeDirectoryPath(Host& host, const std::string* path);
std::string entryOutputPath(const std::string& outputDirectory, const std::string& name);
// True when a name would reach outside the output directory, or (on Windows)
// name a device or a stream instead of a file.
bool isUnsafeEntryName(std::string_view name, NameRules rules);

// --- the run -------------------------------------------------------------------
void printUsage(Console& console);
// The whole run, on the host and console the caller hands in.
ExitCode run(int argc, const char* const* argv, Host& host, Console& console);

}  // namespace quill
