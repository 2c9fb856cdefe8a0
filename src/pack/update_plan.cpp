// Working out an update: what in the data directory differs from what an
// unpack of the archive leaves there, with -dig2wav or without.
#include <algorithm>
#include <climits>
#include <map>

#include "archive/list_rewrite.h"
#include "archive/output_path.h"
#include "pack/entry_file.h"
#include "pack/history.h"
#include "pack/progress.h"
#include "pack/update.h"
#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "sound/wav_reader.h"

namespace quill::pack {
namespace {

// What stands at one path after an unpack, under each of the two plans.
struct Slot {
    std::string canonical; // one spelling per file
    std::string path;      // as the host is given it
    Replacement plain;     // whose own file stands there after an unpack without -dig2wav
    Replacement withWav;   // whose file or .WAV stands there after one with -dig2wav
};

// New bytes offered for one group of records, and where they came from.
struct Offer {
    std::string source;
    std::string sourceFile;  // canonical
    bool fromWav = false;
    std::vector<std::byte> bytes;  // empty when in `file`
    std::shared_ptr<const FileBytes> file;

    std::int64_t size() const { return file ? file->size : static_cast<std::int64_t>(bytes.size()); }
    std::uint64_t sum() const { return file ? file->sum : checksum(bytes); }
};

// Two offers of the same bytes; a file's are known by their length and checksum.
bool sameBytes(const Offer& a, const Offer& b) {
    if (!a.file && !b.file) return a.bytes == b.bytes;
    return a.size() == b.size() && a.sum() == b.sum();
}

class Planner {
public:
    Planner(Host& host, const Archive& archive, bool wav2dig)
        : host_(host), archive_(archive), wav2dig_(wav2dig), rules_(host.nameRules()),
          plain_(archive.plainPlan) {}

    PackStatus run(UpdatePlan& plan) {
        plan_ = &plan;
        for (const Slot& slot : slots()) {
            plan.written.push_back(slot.path);
            examine(slot, plan);
        }
        for (auto& [group, offers] : offers_) decide(group, offers, plan);
        if (!plan.refusals.empty()) return PackStatus::inputUnusable;
        std::int64_t end = archive_.resource.size;
        for (Change& change : plan.changes) {
            change.newOffset = end;
            end += change.size();
        }
        if (end > INT32_MAX) {
            plan.tooLarge = true;
            return PackStatus::archiveUnsafe;
        }
        plan.appendedBytes = end - archive_.resource.size;
        return PackStatus::done;
    }

private:
    const ListEntry& entry(int record) const { return archive_.table->entries[static_cast<std::size_t>(record)]; }

    // A record's bytes, read from the resource into `into`; its range's checksum kept for the history.
    void readWhole(int record, std::vector<std::byte>& into) {
        readRecord(archive_, record, into);
        if (plan_->keepChecksums) plan_->rangesRead.try_emplace({entry(record).offset, entry(record).length}, checksum(into));
    }

    std::string hostPath(const std::string& name) const {
        return entryOutputPath(archive_.paths.dataDirectory, host_.importListName(name));
    }

    // Every path an unpack writes, in the order it first writes them.
    std::vector<Slot> slots() const {
        std::vector<Slot> result;
        std::map<std::string, bool> seen;
        const UnpackPlan& wav = archive_.plan;
        for (int i = 0; i < wav.stepsTaken(); ++i) {
            const UnpackStep& step = wav.steps[static_cast<std::size_t>(i)];
            const std::string& name = entry(i).name;
            if (seen.emplace(step.file, true).second) {
                result.push_back(
                    {step.file, hostPath(name), finalWriter(plain_, step.file), finalWriter(wav, step.file)});
            }
            if (!step.companion.empty() && seen.emplace(step.companion, true).second) {
                result.push_back({step.companion, hostPath(wavNameFor(name)), finalWriter(plain_, step.companion),
                                  finalWriter(wav, step.companion)});
            }
        }
        return result;
    }

    // The records whose own file is the one `record` writes, when `record` is
    // the last of them; otherwise `record` alone.
    std::vector<int> groupOf(int record) const {
        const std::string& file = plain_.steps[static_cast<std::size_t>(record)].file;
        std::vector<int> group;
        for (int i = 0; i < plain_.stepsTaken(); ++i) {
            if (plain_.steps[static_cast<std::size_t>(i)].file == file) group.push_back(i);
        }
        if (group.empty() || group.back() != record) return {record};
        return group;
    }

    void refuse(const std::string& path, const std::string& problem, Refusal::Kind kind = Refusal::Kind::unusable) {
        plan_->refusals.push_back({kind, {path}, shownPath(host_, path) + ": " + problem});
    }

    // A directory link inside data/ would bring a file from elsewhere into
    // the archive (a downloaded mod could carry one to a private file): not
    // followed. The data directory itself is the user's choice, links and all.
    bool throughLink(const std::string& path) {
        const std::string& data = archive_.paths.dataDirectory;
        for (std::size_t at = path.find('\\', data.size()); at != std::string::npos; at = path.find('\\', at + 1)) {
            const std::string level = path.substr(0, at);
            auto [known, isNew] = directories_.try_emplace(level, PathState::unknown);
            std::string reason;
            if (isNew) known->second = host_.lookUp(level, reason);
            if (known->second != PathState::link) continue;
            if (isNew) {
                refuse(level, "a symbolic link inside " + shownPath(host_, data) +
                                  "; not followed (files from elsewhere would go into the archive): put the directory "
                                  "itself there",
                       Refusal::Kind::link);
            }
            return true;
        }
        return false;
    }

    void examine(const Slot& slot, UpdatePlan& plan) {
        if (throughLink(slot.path)) return;
        // Each record's range is read from the resource into buffers that serve every slot.
        std::vector<std::span<const std::byte>> expected;
        std::vector<std::byte> companion;
        if (slot.plain.step >= 0) {
            readWhole(slot.plain.step, plainBytes_);
            expected.push_back(plainBytes_);
        }
        if (slot.withWav.byCompanion) {
            readWhole(slot.withWav.step, wavBytes_);
            companion = companionBytes(wavBytes_);
            expected.push_back(companion);
        } else if (slot.withWav.step != slot.plain.step) {
            readWhole(slot.withWav.step, wavBytes_);
            expected.push_back(wavBytes_);
        }
        std::vector<std::byte> bytes;
        std::string problem;
        // Taken before the file is read: a later save shows as a new time, and
        // the refresh after the commit then leaves that file alone.
        FileTime time;
        const bool timed = host_.readModificationTime(slot.path, NameCase::exact, time);
        const EntryFileState state = examineEntryFile(host_, slot.path, expected, buffer_, bytes, problem);
        if (state == EntryFileState::same || state == EntryFileState::differs) {
            // Without its time a file could not be told from one saved meanwhile, nor be kept from going stale.
            if (!timed) return refuse(slot.path, withReason("cannot be read", host_.lastFailure()));
            plan.seen[slot.canonical] = {slot.path, time};
        }
        switch (state) {
            case EntryFileState::same: return;
            case EntryFileState::missing:
                plan.absent.push_back(slot.path);
                // A .WAV only an unpack with -dig2wav makes is no loss when absent.
                if (slot.plain.step >= 0) plan.missing.push_back(slot.path);
                return;
            case EntryFileState::unusable: return refuse(slot.path, problem);
            case EntryFileState::differs: break;
        }
        // One path, two readings: a record's own file, and a sound's .WAV
        // that an unpack with -dig2wav writes over it. Which one was edited
        // cannot be told, and guessing would put one into the other.
        if (slot.plain.step >= 0 && slot.withWav.byCompanion) {
            return refuse(slot.path, "differs both from record " + std::to_string(slot.plain.step + 1) + " (" +
                                         shownName(entry(slot.plain.step).name) + ") and from the sound of record " +
                                         std::to_string(slot.withWav.step + 1) + " (" +
                                         shownName(entry(slot.withWav.step).name) +
                                         "), which both write this file; cannot tell which to change",
                          Refusal::Kind::conflict);
        }
        if (wav2dig_ ? !slot.withWav.byCompanion : slot.plain.step >= 0) {
            const int record = wav2dig_ ? slot.withWav.step : slot.plain.step;
            Offer offer{slot.path, slot.canonical, false, std::move(bytes), nullptr};
            // Not a sound, so no .WAV is compared with it: left in its file until the commit.
            if (!isSoundName(entry(record).name)) {
                offer.file = std::make_shared<const FileBytes>(
                    FileBytes{slot.path, static_cast<std::int64_t>(offer.bytes.size()), checksum(offer.bytes)});
                offer.bytes = std::vector<std::byte>();  // its memory let go, not only emptied
            }
            offers_[groupOf(record)].push_back(std::move(offer));
            return;
        }
        if (!wav2dig_) {
            // The .WAV of the edited .DIG beside it, exactly: nothing disagrees.
            const auto taken = offers_.find(groupOf(slot.withWav.step));
            if (taken != offers_.end() &&
                std::ranges::any_of(taken->second, [&](const Offer& offer) {
                    return !offer.fromWav && std::ranges::equal(companionBytes(offer.bytes), bytes);
                })) {
                return;
            }
            plan.notTaken.push_back(slot.path);
            // Beside an edited .DIG it disagrees with, -wav2dig would find the two in conflict.
            const bool disagrees = taken != offers_.end() && !taken->second.empty();
            refuse(slot.path,
                   "differs from the sound " + shownName(entry(slot.withWav.step).name) +
                       " holds, and is not taken without -wav2dig; give -wav2dig to take it, or remove it",
                   disagrees ? Refusal::Kind::conflict : Refusal::Kind::wavNotTaken);
            return;
        }
        WavContents contents;
        std::string refusal;
        if (readWav(bytes, contents, refusal) != WavReadResult::accepted) return refuse(slot.path, refusal);
        if (contents.samples.empty()) return refuse(slot.path, "no samples; a record cannot be empty");
        std::vector<std::byte> sound(contents.samples.size());
        scrambleInto(contents.samples, 0, sound);
        // Only the header differs: the sound is unchanged.
        readWhole(slot.withWav.step, wavBytes_);
        if (std::ranges::equal(sound, wavBytes_)) return;
        offers_[groupOf(slot.withWav.step)].push_back({slot.path, slot.canonical, true, std::move(sound), nullptr});
    }

    void decide(const std::vector<int>& group, std::vector<Offer>& offers, UpdatePlan& plan) {
        for (std::size_t k = 1; k < offers.size(); ++k) {
            if (!sameBytes(offers[k], offers[0])) {
                plan.refusals.push_back({Refusal::Kind::conflict,
                                         {offers[0].source, offers[k].source},
                                         "conflict: " + shownPath(host_, offers[0].source) + " and " +
                                             shownPath(host_, offers[k].source) +
                                             " both differ from the archive and from each other; change one of them"});
                return;
            }
        }
        Change change;
        change.records = group;
        change.source = offers[0].source;
        change.sourceFile = offers[0].sourceFile;
        change.fromWav = offers[0].fromWav;
        change.bytes = std::move(offers[0].bytes);
        change.file = std::move(offers[0].file);
        plan.changes.push_back(std::move(change));
    }

    Host& host_;
    const Archive& archive_;
    bool wav2dig_;
    NameRules rules_;
    const UnpackPlan& plain_;
    std::vector<std::byte> buffer_ = std::vector<std::byte>(1 << 20);
    std::vector<std::byte> plainBytes_;
    std::vector<std::byte> wavBytes_;
    std::map<std::vector<int>, std::vector<Offer>> offers_;
    std::map<std::string, PathState> directories_;  // inside data/, as looked up
    UpdatePlan* plan_ = nullptr;
};

}  // namespace

PackStatus classifyUpdate(Host& host, const Archive& archive, bool wav2dig, UpdatePlan& plan) {
    // Comparing a large data/ takes a while; the line is gone before anything is said.
    Progress reading(host, "comparing " + shownPath(host, archive.paths.dataDirectory), -1, 0);
    reading.countReads();
    return Planner(host, archive, wav2dig).run(plan);
}

PackStatus planUpdate(Host& host, Console& err, const Archive& archive, bool wav2dig, UpdatePlan& plan) {
    const PackStatus status = classifyUpdate(host, archive, wav2dig, plan);
    for (const Refusal& refusal : plan.refusals) err.print(refusal.message + "\n");
    if (plan.tooLarge && status == PackStatus::archiveUnsafe) {
        err.print(shownPath(host, archive.paths.resource) +
                  ": the updated resource would pass 2147483647 bytes; quillpack compact writes a copy "
                  "that stores each range once\n");
    }
    return status;
}

}  // namespace quill::pack
