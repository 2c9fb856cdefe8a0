#include "web/staged_changes.h"

#include <charconv>

#include "pack/pack.h"
#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "sound/wav_reader.h"

namespace quill::web {
namespace {

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t space = line.find(' ');
        fields.push_back(line.substr(0, space));
        if (space == std::string_view::npos) return fields;
        line.remove_prefix(space + 1);
    }
}

bool fromHex(std::string_view hex, std::string& text) {
    if (hex.empty() || hex.size() % 2 != 0) return false;
    text.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + i + 2) return false;
        text += static_cast<char>(value);
    }
    return true;
}

// Something the page sends wrong is not the modder's doing: said so, with the way out.
constexpr const char* kPageFault = " (the page and the workbench disagree: Reload the page, then stage it again)";

class Reader {
public:
    Reader(const Host& host, const pack::Archive& archive, const std::map<std::string, std::string_view>* parts,
           pack::ArchiveEdit& edit)
        : host_(host), archive_(archive), parts_(parts), edit_(edit) {}

    // Renames first: a sound's .WAV is checked against the name it will have.
    void readRenames(const std::vector<std::vector<std::string_view>>& lines) {
        const std::size_t reported = problems.size();
        for (const auto& fields : lines) {
            int record = 0;
            std::string name;
            if (fields[0] == "rename" && fields.size() == 3 && recordOf(fields[1], record) &&
                listName(fields[2], recordText(host_, archive_, record), name)) {
                edit_.renamed[record] = name;
            }
        }
        problems.resize(reported);  // said again, in order, when the lines are read
    }

    void read(const std::vector<std::string_view>& fields, std::size_t index, std::size_t count) {
        int record = 0;
        std::string name;
        std::vector<std::byte> bytes;
        if (fields[0] == "replace" && fields.size() == 4) {
            if (!recordOf(fields[1], record)) return;
            const auto renamed = edit_.renamed.find(record);
            name = renamed != edit_.renamed.end() ? renamed->second : entryName(record);
            if (!bytesOf(fields[2], fields[3], recordText(host_, archive_, record) + ", its new bytes", name, bytes)) {
                return;
            }
            edit_.replaced.push_back({{record}, std::move(bytes), nullptr});
        } else if (fields[0] == "add" && fields.size() == 4) {
            if (!listName(fields[3], "a new record", name)) return;
            if (!bytesOf(fields[1], fields[2], "the new record " + pack::shownName(host_.importListName(name)), name,
                         bytes)) {
                return;
            }
            edit_.added.push_back({name, std::move(bytes)});
        } else if (fields[0] == "remove" && fields.size() == 2) {
            if (recordOf(fields[1], record)) edit_.removed.insert(record);
        } else if (fields[0] == "rename" && fields.size() == 3) {
            // Taken by readRenames; checked again here for its message.
            if (recordOf(fields[1], record)) (void)listName(fields[2], recordText(host_, archive_, record), name);
        } else {
            problems.push_back("change " + std::to_string(index + 1) + " of " + std::to_string(count) +
                               " is not one the workbench knows" + kPageFault);
        }
    }

    std::vector<std::string> problems;

private:
    const std::string& entryName(int record) const {
        return archive_.table->entries[static_cast<std::size_t>(record)].name;
    }

    bool recordOf(std::string_view field, int& record) {
        int number = 0;
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), number);
        const int count = archive_.table->count;
        if (error != std::errc() || end != field.data() + field.size() || number < 1 || number > count) {
            problems.push_back("a change to a record the list does not hold (it has " +
                               pack::counted(count, "record", "records") + ")" + kPageFault);
            return false;
        }
        record = number - 1;
        return true;
    }

    bool listName(std::string_view hex, const std::string& what, std::string& name) {
        std::string typed;
        if (!fromHex(hex, typed)) {
            problems.push_back(what + ": its new name did not arrive whole" + kPageFault);
            return false;
        }
        if (!host_.exportListName(typed, name)) {
            problems.push_back(what + ": the name " + pack::shownName(typed) +
                               " holds characters the game's list cannot spell on this system");
            return false;
        }
        return true;
    }

    bool bytesOf(std::string_view part, std::string_view form, const std::string& what, const std::string& name,
                 std::vector<std::byte>& bytes) {
        if (parts_ == nullptr) {
            bytes.assign(1, std::byte{0});  // judging names only
            return true;
        }
        const auto found = parts_->find(std::string(part));
        if (found == parts_->end() || (form != "raw" && form != "wav")) {
            problems.push_back(what + " did not arrive" + kPageFault);
            return false;
        }
        const auto* data = reinterpret_cast<const std::byte*>(found->second.data());
        const std::span<const std::byte> file(data, found->second.size());
        if (form == "raw") {
            bytes.assign(file.begin(), file.end());
            return true;
        }
        // The same check as update -wav2dig and add -wav2dig make of a .WAV.
        if (!isSoundName(name)) {
            problems.push_back(what + ": a .WAV goes into a sound (.DIG) only, and " +
                               pack::shownName(host_.importListName(name)) + " is not one");
            return false;
        }
        WavContents contents;
        std::string refusal;
        if (readWav(file, contents, refusal) != WavReadResult::accepted) {
            problems.push_back(what + ": " + refusal);
            return false;
        }
        bytes.resize(contents.samples.size());
        scrambleInto(contents.samples, 0, bytes);
        return true;
    }

    const Host& host_;
    const pack::Archive& archive_;
    const std::map<std::string, std::string_view>* parts_;
    pack::ArchiveEdit& edit_;
};

std::vector<std::string> readChanges(const Host& host, const pack::Archive& archive, std::string_view changes,
                                     const std::map<std::string, std::string_view>* parts, pack::ArchiveEdit& edit) {
    std::vector<std::vector<std::string_view>> lines;
    for (const std::string_view line : changeLines(changes)) lines.push_back(fieldsOf(line));
    Reader reader(host, archive, parts, edit);
    reader.readRenames(lines);
    for (std::size_t i = 0; i < lines.size(); ++i) reader.read(lines[i], i, lines.size());
    return reader.problems;
}

}  // namespace

std::vector<std::string_view> changeLines(std::string_view changes) {
    std::vector<std::string_view> lines;
    while (!changes.empty()) {
        const std::size_t end = changes.find_first_of("\r\n");
        const std::string_view line = changes.substr(0, end);
        if (!line.empty()) lines.push_back(line);
        changes = end == std::string_view::npos ? std::string_view() : changes.substr(end + 1);
    }
    return lines;
}

std::string recordText(const Host& host, const pack::Archive& archive, int record) {
    return "record " + std::to_string(record + 1) + " " +
           pack::shownName(host.importListName(archive.table->entries[static_cast<std::size_t>(record)].name));
}

std::vector<std::string> stagedEdit(const Host& host, const pack::Archive& archive, std::string_view changes,
                                    const std::map<std::string, std::string_view>& parts, pack::ArchiveEdit& edit) {
    std::vector<std::string> problems = readChanges(host, archive, changes, &parts, edit);
    if (changeLines(changes).empty()) problems.push_back("no change to save");
    return problems;
}

std::vector<std::string> stagedNames(const Host& host, const pack::Archive& archive, std::string_view changes,
                                     pack::ArchiveEdit& edit) {
    return readChanges(host, archive, changes, nullptr, edit);
}

}  // namespace quill::web
