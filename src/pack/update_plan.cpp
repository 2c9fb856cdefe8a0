// Working out an update: what in the data directory differs from the archive.
#include <algorithm>
#include <climits>

#include "pack/update.h"
#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "sound/wav_reader.h"

namespace quill::pack {
namespace {

bool sameBytes(std::span<const std::byte> a, std::span<const std::byte> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// Records that write one output path, in list order; the last one decides what an unpack leaves.
std::vector<std::vector<int>> recordsByOutputPath(const EntryTable& table, NameRules rules) {
    std::vector<std::vector<int>> groups;
    for (int i = 0; i < table.count; ++i) {
        const std::string& name = table.entries[static_cast<std::size_t>(i)].name;
        const auto same = std::find_if(groups.begin(), groups.end(), [&](const std::vector<int>& group) {
            return sameOutputPath(table.entries[static_cast<std::size_t>(group.front())].name, name, rules);
        });
        if (same == groups.end()) {
            groups.push_back({i});
        } else {
            same->push_back(i);
        }
    }
    return groups;
}

// Whether a record after `record` writes `path` in an unpack with -dig2wav,
// as its own file or as a sound's companion: then what stands at that path is
// not what `record` left there.
bool writtenLater(const EntryTable& table, int record, const std::string& path, NameRules rules) {
    for (int j = record + 1; j < table.count; ++j) {
        const std::string& name = table.entries[static_cast<std::size_t>(j)].name;
        if (sameOutputPath(name, path, rules)) return true;
        if (isSoundName(name) && sameOutputPath(wavNameFor(name), path, rules)) return true;
    }
    return false;
}

enum class Found { missing, bytes, refused };

// An edited file from the data directory; missing is no fault, anything else
// unusable is. A file that cannot be opened counts as missing only when the
// system also finds nothing at its path.
Found readEdited(Host& host, Console& err, const std::string& path, WholeFile& file) {
    const LoadStatus status = loadWholeFile(host, path, NameCase::exact, INT32_MAX, file);
    FileTime time;
    switch (status) {
        case LoadStatus::loaded: return Found::bytes;
        case LoadStatus::empty: err.print(shownPath(host, path) + ": empty; a record cannot be empty\n"); break;
        case LoadStatus::tooLarge: err.print(shownPath(host, path) + ": larger than 2147483647 bytes\n"); break;
        case LoadStatus::noMemory: err.print(shownPath(host, path) + ": no memory to hold it\n"); break;
        case LoadStatus::cannotOpen:
            if (!host.readModificationTime(path, NameCase::exact, time)) return Found::missing;
            [[fallthrough]];
        case LoadStatus::shortRead: err.print(shownPath(host, path) + ": cannot be read\n"); break;
    }
    return Found::refused;
}

// Whether an entry file holds exactly `current`, read through one buffer that
// serves every file: most files are unchanged, and holding each whole would
// cost a fresh block of memory per file. Only a file that differs is then read
// whole (readEdited), for its bytes.
Found matchesArchive(Host& host, Console& err, const std::string& path, std::span<const std::byte> current,
                     std::vector<std::byte>& buffer, bool& same) {
    same = false;
    auto file = host.openForReading(path, NameCase::exact);
    FileTime time;
    if (!file) {
        if (!host.readModificationTime(path, NameCase::exact, time)) return Found::missing;
        err.print(shownPath(host, path) + ": cannot be read\n");
        return Found::refused;
    }
    std::int64_t size = 0;
    if (!file->measure(size)) {
        err.print(shownPath(host, path) + ": cannot be read\n");
        return Found::refused;
    }
    if (size != static_cast<std::int64_t>(current.size())) return Found::bytes;
    for (std::size_t done = 0; done < current.size();) {
        const std::size_t want = std::min(buffer.size(), current.size() - done);
        const std::size_t got = file->read(std::span(buffer).first(want));
        if (got == 0) {
            // Shorter than measured, or unreadable: the whole read that follows says which.
            return Found::bytes;
        }
        if (!std::equal(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got),
                        current.begin() + static_cast<std::ptrdiff_t>(done))) {
            return Found::bytes;
        }
        done += got;
    }
    std::byte extra{};
    // Grown since it was measured: not the same.
    same = file->read(std::span(&extra, 1)) == 0 && !file->failed();
    return Found::bytes;
}

}  // namespace

PackStatus planUpdate(Host& host, Console& err, const Archive& archive, bool wav2dig, UpdatePlan& plan) {
    const NameRules rules = host.nameRules();
    const EntryTable& table = *archive.table;
    std::int64_t end = archive.resource.size;
    std::vector<std::byte> buffer(1 << 20);
    for (const auto& records : recordsByOutputPath(table, rules)) {
        const std::string& name = table.entries[static_cast<std::size_t>(records.back())].name;
        // With -wav2dig the directory is one an unpack with -dig2wav made: a
        // later sound's companion may have taken this path's place.
        if (wav2dig && writtenLater(table, records.back(), name, rules)) continue;
        const auto current = recordBytes(archive, records.back());
        const std::string entryPath = entryOutputPath(archive.dataDirectory, name);

        bool entrySame = false;
        Found entryFound = matchesArchive(host, err, entryPath, current, buffer, entrySame);
        WholeFile edited;
        if (entryFound == Found::bytes && !entrySame) entryFound = readEdited(host, err, entryPath, edited);
        if (entryFound == Found::refused) return PackStatus::inputUnusable;
        if (entryFound == Found::missing) ++plan.missing;
        const bool entryDiffers = entryFound == Found::bytes && !entrySame && !sameBytes(edited.bytes(), current);

        // A sound's .WAV, scrambled back, is a candidate too, when this record's companion is what an unpack leaves there.
        std::vector<std::byte> fromWav;
        bool wavDiffers = false;
        const std::string wavName = wavNameFor(name);
        const std::string wavPath = entryOutputPath(archive.dataDirectory, wavName);
        if (wav2dig && isSoundName(name) && !writtenLater(table, records.back(), wavName, rules)) {
            WholeFile wav;
            const Found wavFound = readEdited(host, err, wavPath, wav);
            if (wavFound == Found::refused) return PackStatus::inputUnusable;
            if (wavFound == Found::bytes) {
                WavContents contents;
                std::string refusal;
                if (readWav(wav.bytes(), contents, refusal) != WavReadResult::accepted) {
                    err.print(shownPath(host, wavPath) + ": " + refusal + "\n");
                    return PackStatus::inputUnusable;
                }
                if (contents.samples.empty()) {
                    err.print(shownPath(host, wavPath) + ": no samples; a record cannot be empty\n");
                    return PackStatus::inputUnusable;
                }
                fromWav.resize(contents.samples.size());
                scrambleInto(contents.samples, 0, fromWav);
                wavDiffers = !sameBytes(fromWav, current);
            }
        }

        Change change;
        change.records = records;
        if (entryDiffers && wavDiffers && !sameBytes(edited.bytes(), fromWav)) {
            err.print("conflict: " + shownPath(host, entryPath) + " and " + shownPath(host, wavPath) +
                      " both differ from the archive and from each other; change one of them\n");
            return PackStatus::inputUnusable;
        }
        if (entryDiffers) {
            change.source = entryPath;
            change.bytes.assign(edited.bytes().begin(), edited.bytes().end());
        } else if (wavDiffers) {
            change.source = wavPath;
            change.bytes = std::move(fromWav);
        } else {
            continue;
        }
        change.newOffset = end;
        end += static_cast<std::int64_t>(change.bytes.size());
        if (end > INT32_MAX) {
            err.print(shownPath(host, archive.resourcePath) +
                      ": the updated resource would pass 2147483647 bytes; quillpack compact writes a copy "
                      "that stores each range once\n");
            return PackStatus::archiveUnsafe;
        }
        plan.changes.push_back(std::move(change));
    }
    plan.appendedBytes = end - archive.resource.size;
    return PackStatus::done;
}

std::vector<std::byte> rewrittenList(const Archive& archive, const UpdatePlan& plan) {
    std::vector<std::pair<TextSpan, std::int64_t>> numbers;
    for (const Change& change : plan.changes) {
        for (const int record : change.records) {
            const ListEntry& entry = archive.table->entries[static_cast<std::size_t>(record)];
            numbers.emplace_back(entry.lengthText, static_cast<std::int64_t>(change.bytes.size()));
            numbers.emplace_back(entry.offsetText, change.newOffset);
        }
    }
    std::sort(numbers.begin(), numbers.end(),
              [](const auto& a, const auto& b) { return a.first.position < b.first.position; });
    const auto old = archive.list.bytes();
    std::vector<std::byte> result;
    result.reserve(old.size() + numbers.size() * 4);
    std::size_t at = 0;
    for (const auto& [where, value] : numbers) {
        result.insert(result.end(), old.begin() + static_cast<std::ptrdiff_t>(at),
                      old.begin() + static_cast<std::ptrdiff_t>(where.position));
        for (const char c : std::to_string(value)) result.push_back(static_cast<std::byte>(c));
        at = where.position + where.size;
    }
    result.insert(result.end(), old.begin() + static_cast<std::ptrdiff_t>(at), old.end());
    return result;
}

bool listHoldsPlan(const Archive& archive, const UpdatePlan& plan, std::span<const std::byte> list) {
    const auto table = std::make_unique<EntryTable>();
    readRecords(list, *table);
    if (table->count != archive.table->count) return false;
    std::vector<ListEntry> expected(archive.table->entries.begin(), archive.table->entries.begin() + table->count);
    for (const Change& change : plan.changes) {
        for (const int record : change.records) {
            expected[static_cast<std::size_t>(record)].length = static_cast<std::int32_t>(change.bytes.size());
            expected[static_cast<std::size_t>(record)].offset = static_cast<std::int32_t>(change.newOffset);
        }
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ListEntry& got = table->entries[i];
        if (got.name != expected[i].name || got.length != expected[i].length || got.offset != expected[i].offset) {
            return false;
        }
    }
    return true;
}

}  // namespace quill::pack
