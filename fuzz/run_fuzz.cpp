// The whole run on an in-memory file system: arbitrary list bytes, arbitrary
// resource bytes; the first byte's bits ask for "-dig2wav" (1), a large sound
// over a repeated resource (2) and Windows' name rules (4). Every file left
// must hold exactly the resource's bytes for its entry (a ".WAV" the header
// and the entry unscrambled once), and the status must be that of the first
// failing entry.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "sound/dig_to_wav.h"
#include "support/memory_host.h"
#include "unpack/unpack.h"

namespace {

using quill::testing::Bytes;

constexpr std::size_t kLargeResource = 2 * quill::kWavChunk + 1000;

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "run invariant broken: %s\n", what);
    std::abort();
}

Bytes expectedWav(const Bytes& samples) {
    const quill::WavHeader header = quill::makeWavHeader(static_cast<std::uint32_t>(samples.size()));
    Bytes wav(header.begin(), header.end());
    wav.reserve(wav.size() + samples.size());
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const auto add = static_cast<unsigned>(k % 3 == 0 ? k % 256 : 0);
        wav.push_back(static_cast<std::byte>((std::to_integer<unsigned>(samples[k]) + add) & 0xff));
    }
    return wav;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const bool convert = (data[0] & 1) != 0;
    const std::size_t listSize = std::min<std::size_t>(data[1] | (std::size_t{data[2]} << 8), size - 3);
    const auto* listStart = reinterpret_cast<const std::byte*>(data + 3);
    Bytes list(listStart, listStart + listSize);
    Bytes resource(listStart + listSize, reinterpret_cast<const std::byte*>(data + size));
    // On request the resource is repeated past two of the .WAV writer's
    // buffers and the list starts with a sound over nearly all of it, so that
    // such sounds are in reach in every build (where a buffer is 192 KiB), not
    // only in the fuzzing build (where it is small).
    if ((data[0] & 2) != 0 && !resource.empty()) {
        while (resource.size() < kLargeResource) {
            const auto half = static_cast<std::ptrdiff_t>(resource.size());
            resource.resize(resource.size() * 2);
            std::copy_n(resource.begin(), half, resource.begin() + half);
        }
        const Bytes large = quill::testing::toBytes(std::to_string(kLargeResource - 8) + " 7 BIG.DIG\n");
        list.insert(list.begin(), large.begin(), large.end());
    }

    quill::testing::MemoryHost host;
    // Windows' name rules on request: device names and colons are refused there.
    if ((data[0] & 4) != 0) host.rules = quill::NameRules::windows;
    host.directories = {"G"};
    host.files["G\\L.RD"] = list;
    host.files["G\\L.RES"] = resource;
    quill::testing::CapturedConsole console;
    const char* arguments[] = {"quillfane", "G\\L.RD", "-dig2wav"};
    const int status = static_cast<int>(quill::run(convert ? 3 : 2, arguments, host, console));

    // What the run should have done, worked out on the side.
    quill::testing::MemoryReadFile listFile(list);
    quill::EntryTable table;
    quill::readListRecords(listFile, table);
    std::map<std::string, Bytes> files = {{"G\\L.RD", list}, {"G\\L.RES", resource}};
    int expected = 0;
    if (table.count == 0) {
        expected = 3;
    } else if (resource.empty()) {
        expected = 4;
    } else {
        for (int i = 0; i < table.count && expected == 0; ++i) {
            const auto& entry = table.entries[static_cast<std::size_t>(i)];
            const std::int64_t end = std::int64_t{entry.offset} + entry.length;
            if (entry.offset < 0 || entry.length < 1 || end > static_cast<std::int64_t>(resource.size())) {
                expected = 5;
            } else if (quill::isUnsafeEntryName(entry.name, host.rules) ||
                       entry.name.find_first_of("\\/") != std::string::npos) {  // no such subdirectory here
                expected = 6;
            } else {
                const Bytes bytes(resource.begin() + entry.offset, resource.begin() + end);
                files["G\\data\\" + entry.name] = bytes;
                if (convert && quill::isSoundName(entry.name)) {
                    files["G\\data\\" + quill::wavNameFor(entry.name)] = expectedWav(bytes);
                }
            }
        }
    }

    if (status != expected) broken("status is not that of the first failing step");
    if ((console.text.find("All done!") != std::string::npos) != (status == 0)) broken("All done! and status disagree");
    if (host.files != files) broken("files left differ from the resource's bytes");
    return 0;
}
