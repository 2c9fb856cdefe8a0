// quillpack create's first half: every file under a directory as a new record,
// or named with the reason it cannot be one. Nothing is written here.
#include <algorithm>
#include <climits>
#include <map>

#include "archive/output_path.h"
#include "common/ascii_case.h"
#include "pack/create.h"
#include "pack/entry_file.h"
#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "sound/wav_reader.h"

namespace quill::pack {
namespace {

struct Found {
    std::string path;   // in the host's path form
    std::string typed;  // below the directory, components joined by '\'
};

// Walks a directory in name order. Returns whether a file, or something
// named as a problem, lies below it at any depth; a directory holding none is
// noted (the topmost of such a run), since no record makes it.
bool walk(Host& host, const std::string& directory, const std::string& prefix, std::vector<Found>& found,
          std::vector<std::string>& problems, std::vector<std::string>& empty) {
    std::vector<std::string> names;
    if (!host.listDirectory(directory, names)) {
        problems.push_back(withReason(shownPath(host, directory) + ": cannot be read", host.lastFailure()));
        return true;
    }
    std::sort(names.begin(), names.end());
    bool any = false;
    for (const std::string& name : names) {
        const std::string path = directory + "\\" + name;
        const std::string typed = prefix.empty() ? name : prefix + "\\" + name;
        // Only a Linux name can hold one; the path form would split it.
        if (name.find_first_of("\\/") != std::string::npos) {
            problems.push_back(shownPath(host, directory) + "/" + shownName(name) +
                               ": its name holds a '\\', which the unpacker reads as a separator");
            any = true;
            continue;
        }
        std::string reason;
        switch (host.lookUp(path, reason)) {
            case PathState::file: found.push_back({path, typed}); any = true; break;
            case PathState::notAFile:
                // A directory or a device: lookUp does not tell them apart, listing does.
                if (std::vector<std::string> inner; host.listDirectory(path, inner)) {
                    const std::size_t mark = empty.size();
                    if (walk(host, path, typed, found, problems, empty)) {
                        any = true;
                    } else {
                        empty.resize(mark);
                        empty.push_back(path);
                    }
                } else {
                    problems.push_back(withReason(shownPath(host, path) + ": neither a regular file nor a directory "
                                                                          "that can be read",
                                                  host.lastFailure()));
                    any = true;
                }
                break;
            case PathState::link:
                problems.push_back(shownPath(host, path) + ": a symbolic link; put the file itself there");
                any = true;
                break;
            case PathState::missing: break;  // gone since the listing
            case PathState::unknown: problems.push_back(shownPath(host, path) + ": " + reason); any = true; break;
        }
    }
    return any;
}

// Where the name's first dot starts ".WAV" in any case, as a sound's .DIG is
// told from its first dot: the .DIG name a converted .WAV takes; empty when
// the name is no .WAV.
std::string digNameFor(const std::string& name) {
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos || !equalsIgnoringAsciiCase(std::string_view(name).substr(dot), ".WAV")) return {};
    return name.substr(0, dot) + (name.substr(dot) == ".wav" ? ".dig" : ".DIG");
}

enum class Role { record, converted, companion };

struct Candidate {
    Found file;
    std::string name;        // the record's name in the list (a converted .WAV: its .DIG's)
    Role role = Role::record;
    int companion = -1;      // for a .DIG: the candidate that is its .WAV
};

// Reads a record's bytes; false with the problem named.
bool readRecord(Host& host, const Candidate& candidate, std::vector<std::byte>& buffer, std::vector<std::byte>& bytes,
                std::string& problem) {
    std::vector<std::byte> read;
    switch (examineEntryFile(host, candidate.file.path, {}, buffer, read, problem)) {
        case EntryFileState::missing: problem = "gone while it was read"; return false;
        case EntryFileState::unusable: return false;
        case EntryFileState::same:
        case EntryFileState::differs: break;
    }
    if (candidate.role != Role::converted) {
        bytes = std::move(read);
        return true;
    }
    WavContents contents;
    if (readWav(read, contents, problem) != WavReadResult::accepted) return false;
    bytes.resize(contents.samples.size());
    scrambleInto(contents.samples, 0, bytes);
    return true;
}

// The size a file has now, before it is read whole; false when it cannot be told.
bool sizeOf(Host& host, const std::string& path, std::int64_t& size) {
    const auto file = host.openForReading(path, NameCase::exact);
    return file && file->measure(size);
}

}  // namespace

GatherResult gatherFiles(Host& host, const std::string& directory, bool wav2dig, GatheredFiles& gathered) {
    std::vector<Found> found;
    walk(host, directory, {}, found, gathered.problems, gathered.emptyDirectories);

    const NameRules rules = host.nameRules();
    std::vector<Candidate> candidates;
    for (const Found& file : found) {
        const std::string shown = shownPath(host, file.path);
        std::string name;
        if (!host.exportListName(file.typed, name)) {
            gathered.problems.push_back(shown + ": its name holds characters the game's list cannot spell");
            continue;
        }
        if (host.importListName(name) != file.typed) {
            gathered.problems.push_back(shown + ": an unpack would write it under another name");
            continue;
        }
        candidates.push_back({file, name});
    }

    // A .DIG's .WAV is its companion; with -wav2dig any other .WAV is a sound.
    std::map<std::string, int> soundByWav;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (isSoundName(candidates[i].name)) {
            soundByWav.emplace(canonicalEntryPath(wavNameFor(candidates[i].name), NameRules::windows),
                               static_cast<int>(i));
        }
    }
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        Candidate& candidate = candidates[i];
        const auto sound = soundByWav.find(canonicalEntryPath(candidate.name, NameRules::windows));
        if (sound != soundByWav.end()) {
            Candidate& dig = candidates[static_cast<std::size_t>(sound->second)];
            const std::string written = wavNameFor(dig.name);
            if (sameEntryPath(written, candidate.name, rules)) {
                candidate.role = Role::companion;
                dig.companion = static_cast<int>(i);
            } else {
                // Linux: "a.wav" beside "A.DIG", which an unpack answers with "A.WAV".
                gathered.problems.push_back(shownPath(host, candidate.file.path) + ": the .WAV of " +
                                            shownName(dig.name) + ", but an unpack with -dig2wav writes it as " +
                                            shownName(written) + "; rename it so");
                candidate.role = Role::companion;  // not a record either way
            }
        } else if (const std::string digName = digNameFor(candidate.name); !digName.empty()) {
            if (wav2dig) {
                candidate.role = Role::converted;
                candidate.name = digName;
            } else {
                ++gathered.loneWavs;
            }
        }
    }

    // Records in byte order of their names as the list holds them.
    std::vector<int> order;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i].role != Role::companion) order.push_back(static_cast<int>(i));
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return candidates[static_cast<std::size_t>(a)].name < candidates[static_cast<std::size_t>(b)].name;
    });

    std::vector<std::byte> buffer(1 << 16);
    std::int64_t held = 0;
    int leftOut = -1;  // the first record past the most a resource holds; it and the rest are not read
    int pastLimit = 0;
    for (const int index : order) {
        if (host.interrupted()) return GatherResult::interrupted;
        const Candidate& candidate = candidates[static_cast<std::size_t>(index)];
        const std::string shown = shownPath(host, candidate.file.path);
        if (const std::string problem = nameProblem(candidate.name); !problem.empty()) {
            gathered.problems.push_back(shown + ": as " + shownName(candidate.name) + ", " + problem);
            continue;
        }
        std::int64_t size = 0;
        if (leftOut >= 0 || (sizeOf(host, candidate.file.path, size) && size > INT32_MAX - held)) {
            if (leftOut < 0) leftOut = index;
            ++pastLimit;
            continue;
        }
        std::vector<std::byte> bytes;
        std::string problem;
        if (!readRecord(host, candidate, buffer, bytes, problem)) {
            gathered.problems.push_back(shown + ": " + problem);
            continue;
        }
        RecordSource source{candidate.file.path, candidate.role == Role::converted, false};
        if (candidate.companion >= 0) {
            // Taken only when it is what an unpack with -dig2wav writes from
            // the .DIG: which of two that disagree is the newer work is not
            // this tool's to guess.
            const std::string wav = candidates[static_cast<std::size_t>(candidate.companion)].file.path;
            const std::vector<std::byte> expected = companionBytes(bytes);
            const std::span<const std::byte> expectedSpan = expected;
            std::vector<std::byte> unused;
            switch (examineEntryFile(host, wav, std::span(&expectedSpan, 1), buffer, unused, problem)) {
                case EntryFileState::same: source.companion = true; break;
                case EntryFileState::differs:
                    gathered.problems.push_back(shownPath(host, wav) + ": differs from the .WAV an unpack with -dig2wav "
                                                "writes from " + shown + "; remove the one of the two not wanted");
                    break;
                case EntryFileState::missing: gathered.problems.push_back(shownPath(host, wav) + ": gone while it was read"); break;
                case EntryFileState::unusable: gathered.problems.push_back(shownPath(host, wav) + ": " + problem); break;
            }
        }
        held += static_cast<std::int64_t>(bytes.size());
        gathered.edit.added.push_back({candidate.name, std::move(bytes)});
        gathered.sources.push_back(std::move(source));
    }
    if (leftOut >= 0) {
        gathered.problems.push_back(shownPath(host, candidates[static_cast<std::size_t>(leftOut)].file.path) +
                                    ": the resource would pass 2147483647 bytes, the most the unpacker reads, from "
                                    "here on (" + counted(pastLimit, "file", "files") + " left out, in name order)");
    }

    // Names that meet (one file for two records on either system, a name
    // that is another's .WAV), too many records, empty records: checked as
    // every change to an archive is.
    if (!gathered.edit.added.empty()) {
        Archive none;
        for (const std::string& problem : editProblems(none, rules, gathered.edit)) {
            gathered.problems.push_back(problem);
        }
    }
    return GatherResult::gathered;
}

}  // namespace quill::pack
