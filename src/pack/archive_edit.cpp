// An archive edit checked and laid out: the bytes to append, the new list's
// head and the records it must read as.
#include "pack/archive_edit.h"

#include <algorithm>
#include <climits>
#include <string_view>

#include "archive/list_rewrite.h"
#include "archive/output_path.h"
#include "sound/dig_to_wav.h"

namespace quill::pack {
namespace {

bool isListSpace(std::byte b) {
    const auto c = static_cast<unsigned char>(b);
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::byte> bytesOf(const std::string& text) {
    const auto* data = reinterpret_cast<const std::byte*>(text.data());
    return {data, data + text.size()};
}

std::size_t endOf(const TextSpan& span) { return span.position + span.size; }

// True when the byte after `at` that the reader sees (carriage returns are
// dropped) would run on into whatever is written at `at`.
bool gluedAfter(std::span<const std::byte> head, std::size_t at) {
    while (at < head.size() && head[at] == std::byte{'\r'}) ++at;
    // Past what was read of the list: more of it may follow, so keep apart.
    if (at >= head.size()) return true;
    return !isListSpace(head[at]) && head[at] != std::byte{0x1A};
}

// Two names are one record's file when an unpack on either system writes one
// file for both, or one's file is the other's .WAV.
bool namesMeet(const std::string& a, const std::string& b) {
    for (const NameRules rules : {NameRules::posix, NameRules::windows}) {
        if (sameEntryPath(a, b, rules)) return true;
        if (isSoundName(a) && sameEntryPath(wavNameFor(a), b, rules)) return true;
        if (isSoundName(b) && sameEntryPath(a, wavNameFor(b), rules)) return true;
    }
    return false;
}

std::string recordText(const Archive& archive, int record) {
    return "record " + std::to_string(record + 1) + " (" +
           shownName(archive.table->entries[static_cast<std::size_t>(record)].name) + ")";
}

}  // namespace

std::string nameProblem(const std::string& name) {
    if (name.empty()) return "an empty name";
    if (name.size() > kMaxNameLength) return "longer than 12 bytes, the most a list's name holds";
    for (const char c : name) {
        if (isListSpace(static_cast<std::byte>(c)) || c == '\0' || c == '\x1A') {
            return "holds white space, a NUL or a Ctrl-Z, which ends a name in the list";
        }
    }
    if (isUnsafeEntryName(name, NameRules::posix) || isUnsafeEntryName(name, NameRules::windows)) {
        return "the unpacker refuses it: it leads out of the data directory or names a device";
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
            return "holds a character no Windows file name may hold, so the game's unpacker cannot write it";
        }
    }
    // Every component a file or directory name of its own: none empty, ".",
    // or ending in a dot or a space, which Windows drops.
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '\\' && name[i] != '/') continue;
        const std::string_view component = std::string_view(name).substr(start, i - start);
        if (component.empty() || component == "." || component.back() == '.' || component.back() == ' ') {
            return "a part of it is empty, \".\", or ends in a dot or a space, so it names no file of its own";
        }
        start = i + 1;
    }
    return {};
}

std::vector<std::string> editProblems(const Archive& archive, NameRules, const ArchiveEdit& edit) {
    std::vector<std::string> problems;
    const int count = archive.table->count;
    const auto inRange = [&](int record) { return record >= 0 && record < count; };
    const auto outOfRange = [&](int record) {
        problems.push_back("record " + std::to_string(record + 1) + ": the list has " +
                           counted(count, "record", "records"));
    };
    std::set<int> changed;
    for (const NewBytes& group : edit.replaced) {
        for (const int record : group.records) {
            if (!inRange(record)) {
                outOfRange(record);
            } else if (!changed.insert(record).second) {
                problems.push_back(recordText(archive, record) + ": given new bytes twice");
            }
        }
        if (group.size() == 0 && !group.records.empty() && inRange(group.records.front())) {
            problems.push_back(recordText(archive, group.records.front()) +
                               ": would be empty, and an unpack stops at a record of 0 bytes");
        }
    }
    for (const auto& [record, name] : edit.renamed) {
        if (!inRange(record)) outOfRange(record);
    }
    for (const int record : edit.removed) {
        if (!inRange(record)) {
            outOfRange(record);
        } else if (changed.count(record) != 0 || edit.renamed.count(record) != 0) {
            problems.push_back(recordText(archive, record) + ": both removed and changed");
        }
    }
    const std::int64_t newCount =
        count - static_cast<std::int64_t>(edit.removed.size()) + static_cast<std::int64_t>(edit.added.size());
    if (newCount > kMaxListEntries) {
        problems.push_back("the list would hold " + std::to_string(newCount) +
                           " records; the unpacker reads 999 and never the rest");
    }
    if (count == kMaxListEntries && newCount < kMaxListEntries) {
        // What follows the 999th record in the file would move up into what the unpacker reads.
        problems.push_back("the list holds 999 records, the most the unpacker reads, and removing one would let "
                           "whatever follows them in; quillpack compact writes a list of just these records first");
    }
    if (newCount < 1 && edit.added.empty()) {
        problems.push_back("every record would be gone, and an unpack of a list with no record stops with status 3");
    }
    if (!problems.empty()) return problems;

    // The names the list will hold; new ones are checked against every other.
    std::vector<std::pair<std::string, int>> names;  // name, old record (-1 - i: added i)
    for (int record = 0; record < count; ++record) {
        if (edit.removed.count(record) != 0) continue;
        const auto renamed = edit.renamed.find(record);
        names.emplace_back(renamed != edit.renamed.end() ? renamed->second
                                                         : archive.table->entries[static_cast<std::size_t>(record)].name,
                           record);
    }
    for (std::size_t i = 0; i < edit.added.size(); ++i) names.emplace_back(edit.added[i].name, -1 - static_cast<int>(i));
    const auto isNew = [&](int who) { return who < 0 || edit.renamed.count(who) != 0; };
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& [name, who] = names[i];
        if (!isNew(who)) continue;
        if (const std::string problem = nameProblem(name); !problem.empty()) {
            problems.push_back(shownName(name) + ": " + problem);
            continue;
        }
        for (std::size_t j = 0; j < names.size(); ++j) {
            const auto& [other, otherWho] = names[j];
            // A pair of new names is reported once.
            if (j == i || (isNew(otherWho) && j < i) || !namesMeet(name, other)) continue;
            const std::string whose = otherWho >= 0 ? recordText(archive, otherWho) : "another new record";
            problems.push_back(shownName(name) + ": " + whose + " is written to the same file" +
                               (sameEntryPath(name, other, NameRules::windows) ? "" : " or its .WAV") +
                               " by an unpack; each record needs a file of its own");
            break;
        }
    }
    std::int64_t appended = 0;
    for (const NewBytes& group : edit.replaced) appended += group.size();
    for (const NewRecord& record : edit.added) {
        appended += static_cast<std::int64_t>(record.bytes.size());
        if (record.bytes.empty()) {
            problems.push_back(shownName(record.name) + ": empty, and an unpack stops at a record of 0 bytes");
        }
    }
    if (archive.resource.size + appended > INT32_MAX) {
        problems.push_back("the resource would pass 2147483647 bytes, the most the unpacker reads; quillpack compact "
                           "writes a copy that stores each range once");
    }
    return problems;
}

LaidOutEdit layOutEdit(const Archive& archive, const ArchiveEdit& edit) {
    LaidOutEdit laid;
    laid.rangesRead = &edit.rangesRead;
    const std::span<const std::byte> head = archive.listHead;
    const auto& entries = archive.table->entries;
    const int count = archive.table->count;

    std::map<int, std::pair<std::int64_t, std::int64_t>> placed;  // record -> new offset, length
    std::int64_t end = archive.resource.size;
    for (const NewBytes& group : edit.replaced) {
        for (const int record : group.records) placed[record] = {end, group.size()};
        laid.appended.push_back({group.bytes, group.file.get()});
        end += group.size();
    }

    std::vector<Splice> splices;
    EntryTable& expected = *laid.expected;
    expected.count = 0;
    for (int record = 0; record < count; ++record) {
        const ListEntry& entry = entries[static_cast<std::size_t>(record)];
        if (edit.removed.count(record) != 0) {
            // From the record to the next one's start; in the run of removed
            // records that ends the list, from the end of the last one kept,
            // so no empty line is left.
            int kept = record - 1;
            while (kept >= 0 && edit.removed.count(kept) != 0) --kept;
            bool trailing = true;
            for (int later = record + 1; later < count && trailing; ++later) trailing = edit.removed.count(later) != 0;
            const std::size_t from = trailing && kept >= 0 ? endOf(entries[static_cast<std::size_t>(kept)].nameText)
                                                          : entry.lengthText.position;
            const std::size_t to = record == count - 1 ? endOf(entry.nameText)
                                                       : entries[static_cast<std::size_t>(record + 1)].lengthText.position;
            splices.push_back({{from, to - from}, {}});
            continue;
        }
        ListEntry kept = entry;
        if (const auto found = placed.find(record); found != placed.end()) {
            kept.offset = static_cast<std::int32_t>(found->second.first);
            kept.length = static_cast<std::int32_t>(found->second.second);
            splices.push_back({entry.lengthText, rewrittenNumber(head.subspan(entry.lengthText.position,
                                                                              entry.lengthText.size),
                                                                 kept.length)});
            splices.push_back({entry.offsetText, rewrittenNumber(head.subspan(entry.offsetText.position,
                                                                              entry.offsetText.size),
                                                                 kept.offset)});
        }
        if (const auto renamed = edit.renamed.find(record); renamed != edit.renamed.end()) {
            kept.name = renamed->second;
            std::vector<std::byte> text = bytesOf(renamed->second);
            // A 12-byte name may run straight into what follows it, and a name
            // may follow its offset directly: a digit there would join it.
            if (gluedAfter(head, endOf(entry.nameText))) text.push_back(std::byte{' '});
            if (entry.nameText.position == endOf(entry.offsetText)) text.insert(text.begin(), std::byte{' '});
            splices.push_back({entry.nameText, std::move(text)});
        }
        expected.entries[static_cast<std::size_t>(expected.count++)] = kept;
        laid.fromRecord.push_back(record);
    }

    if (!edit.added.empty()) {
        const std::string lineEnd = lineEndOf(head);
        const std::size_t at = endOf(entries[static_cast<std::size_t>(count - 1)].nameText);
        std::string text;
        for (const NewRecord& record : edit.added) {
            ListEntry entry;
            entry.name = record.name;
            entry.offset = static_cast<std::int32_t>(end);
            entry.length = static_cast<std::int32_t>(record.bytes.size());
            text += lineEnd + std::to_string(entry.length) + " " + std::to_string(entry.offset) + " " + record.name;
            laid.appended.push_back({record.bytes, nullptr});
            end += entry.length;
            expected.entries[static_cast<std::size_t>(expected.count++)] = entry;
            laid.fromRecord.push_back(-1);
        }
        if (gluedAfter(head, at)) text += lineEnd;
        splices.push_back({{at, 0}, bytesOf(text)});
    }

    // Cuts that touch are one cut.
    std::sort(splices.begin(), splices.end(),
              [](const Splice& a, const Splice& b) { return a.where.position < b.where.position; });
    std::vector<Splice> merged;
    for (Splice& splice : splices) {
        if (!merged.empty() && merged.back().text.empty() && splice.text.empty() && splice.where.size > 0 &&
            endOf(merged.back().where) >= splice.where.position) {
            const std::size_t to = std::max(endOf(merged.back().where), endOf(splice.where));
            merged.back().where.size = to - merged.back().where.position;
            continue;
        }
        merged.push_back(std::move(splice));
    }
    // A cut between two pieces of text that would then run together keeps them apart.
    for (Splice& splice : merged) {
        if (!splice.text.empty() || splice.where.size == 0 || splice.where.position == 0) continue;
        if (!isListSpace(head[splice.where.position - 1]) && gluedAfter(head, endOf(splice.where))) {
            splice.text.push_back(std::byte{' '});
        }
    }
    laid.listHead = applySplices(head, std::move(merged));
    laid.appendedBytes = end - archive.resource.size;
    return laid;
}

}  // namespace quill::pack
