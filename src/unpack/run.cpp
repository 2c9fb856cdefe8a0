// The run driver: every stage in order, every message, every exit status.
#include <cstdio>
#include <cstring>
#include <memory>

#include "archive/archive_paths.h"
#include "archive/unpack_plan.h"
#include "sound/dig_to_wav.h"
#include "common/ascii_case.h"
#include "common/control_text.h"
#include "unpack/messages.h"
#include "unpack/unpack.h"

namespace quill {
namespace {

bool isOption(const char* argument) { return equalsIgnoringAsciiCase(argument, messages::kOption); }

// Control bytes in a name would reach a terminal as commands (clear the screen,
// set its title); there they show as '?'. Redirected output keeps the name as listed.
std::string shownName(const Console& console, const std::string& name) {
    if (!console.isTerminal()) return name;
    std::string shown = name;
    for (std::size_t i = 0; i < shown.size();) {
        const std::size_t length = controlLength(shown, i);
        if (length == 0) {
            ++i;
            continue;
        }
        for (std::size_t j = i; j < i + length; ++j) shown[j] = '?';
        i += length;
    }
    return shown;
}

void printProgress(Console& console, int position, int count, const std::string& name) {
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%3d/%3d - %-13s\r", position, count,
                                     shownName(console, name).c_str());
    console.print({line, static_cast<std::size_t>(length)});
}

// Writes one entry's bytes, exactly as they stand in the resource file.
bool writeEntry(Host& host, const std::string& path, std::span<const std::byte> bytes) {
    auto file = host.createForWriting(path);
    return file && file->write(bytes) && file->close();
}

ExitCode report(Console& console, std::string_view message, ExitCode code) {
    console.print(message);
    return code;
}

ExitCode unpack(Host& host, Console& console, const std::string& listPath, bool convert) {
    // 999 records are some 40 KB: kept off the stack, which a user may have limited.
    const auto ownedTable = std::make_unique<EntryTable>();
    EntryTable& table = *ownedTable;
    if (readListFile(host, listPath, table) != ListReadResult::ok) {
        return report(console, messages::kListNotOpened, ExitCode::listNotOpened);
    }
    if (table.count == 0) return report(console, messages::kListEmpty, ExitCode::listEmpty);

    const ArchivePaths paths = archivePaths(listPath);
    ResourceImage image;
    switch (loadResourceImage(host, paths.resource, image)) {
        case LoadResult::ok: break;
        case LoadResult::openFailed: return report(console, messages::kResourceNotOpened, ExitCode::resourceNotLoaded);
        case LoadResult::allocationFailed: return report(console, messages::kNoMemory, ExitCode::resourceNotLoaded);
    }

    (void)makeDirectoryPath(host, &paths.dataDirectory);

    const UnpackPlan plan = planUnpack(table, image.size, host.nameRules(), convert);
    const auto wavBuffer = std::make_unique<WavBuffer>();
    for (int i = 0; i < table.count; ++i) {
        const ListEntry& entry = table.entries[static_cast<std::size_t>(i)];
        const UnpackStep& step = plan.steps[static_cast<std::size_t>(i)];
        if (step.kind == StepKind::invalidEntry) return report(console, messages::kInvalidEntry, ExitCode::invalidEntry);
        // A name that climbs out of the output directory, or names a device, is
        // refused before anything is created.
        if (step.kind == StepKind::refusedName) {
            return report(console, messages::kEntryNotWritten, ExitCode::entryNotWritten);
        }
        const auto bytes =
            image.bytes().subspan(static_cast<std::size_t>(entry.offset), static_cast<std::size_t>(entry.length));
        if (!writeEntry(host, entryOutputPath(paths.dataDirectory, host.importListName(entry.name)), bytes)) {
            return report(console, messages::kEntryNotWritten, ExitCode::entryNotWritten);
        }
        if (!step.companion.empty() &&
            convertDigToWav(host, entryOutputPath(paths.dataDirectory, host.importListName(wavNameFor(entry.name))),
                            bytes, *wavBuffer) == WavResult::failed) {
            return report(console, messages::kWavNotWritten, ExitCode::wavNotWritten);
        }
        printProgress(console, i + 1, table.count, entry.name);
    }
    image = {};
    return report(console, messages::kAllDone, ExitCode::ok);
}

}  // namespace

void printUsage(Console& console) { console.print(messages::kUsage); }

ExitCode run(int argc, const char* const* argv, Host& host, Console& console) {
    console.print(messages::kBanner);
    if (argc < 2 || argc > 3 || (argc == 3 && !isOption(argv[2]))) {
        printUsage(console);
        return report(console, messages::kInvalidParameters, ExitCode::badCommandLine);
    }
    console.print("\n");
    return unpack(host, console, host.importArgumentPath(argv[1]), argc == 3);
}

}  // namespace quill
