// quillpack extract: some entries, or all, written where an unpack writes
// them, without the unpacker's need for every directory to exist and without
// its overwriting of edits not yet put back.
#include <map>
#include <set>

#include "archive/output_path.h"
#include "pack/archive.h"
#include "pack/entry_file.h"
#include "pack/name_pattern.h"
#include "pack/progress.h"
#include "pack/staged_file.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

struct Target {
    std::string path;      // where it goes, as the host is given it
    int writer = -1;       // the record whose write stands there at the end
    bool companion = false;
};

std::string withSeparator(std::string directory) {
    if (!directory.empty() && directory.back() != '\\') directory += '\\';
    return directory;
}

class Extractor {
public:
    Extractor(Host& host, Console& out, Console& err, const Archive& archive, const ExtractOptions& options)
        : host_(host), out_(out), err_(err), archive_(archive), options_(options),
          plan_(options.dig2wav ? archive.plan : archive.plainPlan),
          directory_(options.directory.empty() ? archive.paths.dataDirectory : withSeparator(options.directory)) {}

    PackStatus run() {
        std::vector<int> records;
        if (!choose(records)) return PackStatus::badCommandLine;
        const std::vector<Target> targets = targetsOf(records);
        // The output directory is the user's choice, links and all.
        if (!targets.empty() && !makeDirectory(directory_, true)) return finish();
        std::int64_t total = 0;
        for (const Target& target : targets) total += entry(target.writer).length;
        Progress progress(host_, "extracting", total, static_cast<std::int64_t>(targets.size()));
        for (const Target& target : targets) {
            progress.clear();
            extract(target);
            // A resource that cannot be read gives nothing more worth writing.
            if (archive_.resource.failed()) break;
            progress.advance(entry(target.writer).length, 1);
        }
        progress.clear();
        return finish();
    }

private:
    const ListEntry& entry(int record) const { return archive_.table->entries[static_cast<std::size_t>(record)]; }

    // The records matching any pattern; false (each named) when a pattern matches none.
    bool choose(std::vector<int>& records) const {
        std::vector<bool> used(options_.patterns.size(), false);
        for (int record = 0; record < archive_.table->count; ++record) {
            bool chosen = options_.patterns.empty();
            for (std::size_t k = 0; k < options_.patterns.size(); ++k) {
                if (nameMatches(options_.patterns[k], entry(record).name)) chosen = used[k] = true;
            }
            if (chosen) records.push_back(record);
        }
        bool every = true;
        for (std::size_t k = 0; k < used.size(); ++k) {
            if (used[k]) continue;
            std::string text(1, '\'');  // built piece by piece: GCC 12's -Wrestrict misreads "'" + std::string
            text += shownName(options_.patterns[k]);
            err_.print(text + "': matches no entry of " + shownPath(host_, archive_.paths.list) + "\n");
            every = false;
        }
        return every;
    }

    // What stands at each path the chosen records write when every write an
    // unpack could make is made: the last one there, as in an unpack.
    std::vector<Target> targetsOf(const std::vector<int>& records) {
        std::map<std::string, std::pair<int, bool>> last;
        for (int i = 0; i < static_cast<int>(plan_.steps.size()); ++i) {
            const UnpackStep& step = plan_.steps[static_cast<std::size_t>(i)];
            if (step.kind != StepKind::write) continue;
            last[step.file] = {i, false};
            if (!step.companion.empty()) last[step.companion] = {i, true};
        }
        std::vector<Target> targets;
        std::set<std::string> taken;
        for (const int record : records) {
            const UnpackStep& step = plan_.steps[static_cast<std::size_t>(record)];
            if (step.kind != StepKind::write) {
                const std::string why = step.kind == StepKind::invalidEntry ? step.stopReason : "the unpacker refuses its name";
                err_.print("record " + std::to_string(record + 1) + " (" + shownName(entry(record).name) +
                           "): not extracted: " + why + "; an unpack stops there with status " +
                           std::to_string(step.kind == StepKind::invalidEntry ? 5 : 6) + "\n");
                refused_ = true;
                continue;
            }
            const std::string name = host_.importListName(entry(record).name);
            if (taken.insert(step.file).second) {
                const auto [writer, byCompanion] = last[step.file];
                targets.push_back({directory_ + name, writer, byCompanion});
            }
            if (!step.companion.empty() && taken.insert(step.companion).second) {
                const auto [writer, byCompanion] = last[step.companion];
                targets.push_back({directory_ + host_.importListName(wavNameFor(entry(record).name)), writer,
                                   byCompanion});
            }
        }
        return targets;
    }

    // Makes a directory and every one above it that is missing. Inside the
    // output directory a link is not followed: nothing is written outside it.
    bool makeDirectory(const std::string& directory, bool followLinks) {
        std::string reason;
        // Either slash separates directories in a name, for the unpacker too.
        for (std::size_t at = directory.find_first_of("\\/", 1); at != std::string::npos;
             at = directory.find_first_of("\\/", at + 1)) {
            const std::string level = directory.substr(0, at);
            if (level.empty() || level.back() == ':' || level.back() == '\\' || level.back() == '/' ||
                made_.count(level) != 0) {
                continue;
            }
            PathState state = host_.lookUp(level, reason);
            if (state == PathState::missing) {
                host_.makeDirectory(level);
                state = host_.lookUp(level, reason);
            }
            if (state != PathState::notAFile && !(followLinks && state == PathState::link)) {
                const std::string why = state == PathState::link      ? "a symbolic link; not followed"
                                        : state == PathState::file    ? "a file, where a directory is needed"
                                        : state == PathState::missing ? "the directory cannot be made"
                                                                      : reason;
                err_.print(shownPath(host_, level) + ": " + why + "\n");
                failed_ = true;
                return false;
            }
            made_.insert(level);
        }
        return true;
    }

    void extract(const Target& target) {
        const std::size_t slash = target.path.find_last_of("\\/");
        if (slash != std::string::npos && slash + 1 > directory_.size() &&
            !makeDirectory(target.path.substr(0, slash + 1), false)) {
            return;
        }
        readRecord(archive_, target.writer, record_);
        if (archive_.resource.failed()) return;
        const std::span<const std::byte> record = record_;
        std::vector<std::byte> wav;
        if (target.companion) wav = companionBytes(record);
        const std::span<const std::byte> content = target.companion ? std::span<const std::byte>(wav) : record;
        const std::string shown = shownPath(host_, target.path);
        std::string reason;
        switch (host_.lookUp(target.path, reason)) {
            case PathState::missing: break;
            case PathState::file: {
                const std::span<const std::byte> expected[] = {content};
                std::vector<std::byte> bytes;
                std::string problem;
                const EntryFileState state = examineEntryFile(host_, target.path, expected, buffer_, bytes, problem);
                if (state == EntryFileState::same) {
                    ++unchanged_;
                    return;
                }
                if (!options_.overwrite) {
                    err_.print(shown + ": differs from record " + std::to_string(target.writer + 1) + " (" +
                               shownName(entry(target.writer).name) +
                               "), perhaps an edit not yet put back; left as it is (--overwrite replaces it)\n");
                    ++leftAlone_;
                    return;
                }
                break;
            }
            case PathState::link:
                err_.print(shown + ": a symbolic link; not followed, left as it is\n");
                ++leftAlone_;
                return;
            case PathState::notAFile:
                err_.print(shown + ": not a file; left as it is\n");
                ++leftAlone_;
                return;
            case PathState::unknown:
                err_.print(shown + ": " + reason + "\n");
                failed_ = true;
                return;
        }
        StagedFile file(host_, err_, target.path, "extract");
        std::string problem;
        if (!file.create(problem) || !file.write(content, problem) || !file.finish(problem) ||
            file.publish(problem) == ReplaceResult::notReplaced) {
            err_.print(problem + "\n");
            failed_ = true;
            return;
        }
        if (!problem.empty()) err_.print(problem + "\n");
        ++written_;
        bytesWritten_ += static_cast<std::int64_t>(content.size());
        out_.print("wrote " + shown + " (" + counted(static_cast<std::int64_t>(content.size()), "byte", "bytes") +
                   ")\n");
    }

    PackStatus finish() {
        std::string summary = "extracted " + counted(written_, "file", "files") + " (" +
                              counted(bytesWritten_, "byte", "bytes") + ") to " + shownPath(host_, directory_);
        if (unchanged_ > 0) summary += "; " + counted(unchanged_, "file was", "files were") + " already there";
        if (leftAlone_ > 0) summary += "; " + counted(leftAlone_, "file left as it was", "files left as they were");
        out_.print(summary + "\n");
        // Every file written holds the resource's bytes as they stood when it was opened, or this says otherwise.
        if (const PackStatus read = checkResourceRead(host_, err_, archive_); read != PackStatus::done) return read;
        if (failed_) return PackStatus::writeFailed;
        if (leftAlone_ > 0) return PackStatus::inputUnusable;
        return refused_ ? PackStatus::archiveUnsafe : PackStatus::done;
    }

    Host& host_;
    Console& out_;
    Console& err_;
    const Archive& archive_;
    const ExtractOptions& options_;
    const UnpackPlan& plan_;
    std::string directory_;
    std::set<std::string> made_;
    std::vector<std::byte> buffer_ = std::vector<std::byte>(1 << 16);
    std::vector<std::byte> record_;  // the record being written, read from the resource
    std::int64_t written_ = 0;
    std::int64_t bytesWritten_ = 0;
    std::int64_t unchanged_ = 0;
    std::int64_t leftAlone_ = 0;
    bool failed_ = false;
    bool refused_ = false;
};

}  // namespace

PackStatus extractEntries(Host& host, Console& out, Console& err, const std::string& listPath,
                          const ExtractOptions& options) {
    Archive archive;
    if (const PackStatus loaded = loadArchiveConsistent(host, err, listPath, archive); loaded != PackStatus::done) {
        return loaded;
    }
    return Extractor(host, out, err, archive, options).run();
}

}  // namespace quill::pack
