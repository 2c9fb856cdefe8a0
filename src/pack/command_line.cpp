#include "pack/command_line.h"

#include <algorithm>

#include "common/ascii_case.h"

namespace quill::pack {
namespace {

char lowered(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Levenshtein distance, ASCII letter case ignored.
std::size_t distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lowered(a[i - 1]) == lowered(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

const OptionInfo* findOption(const CommandInfo& info, std::string_view word) {
    for (const OptionInfo& option : info.options) {
        if (equalsIgnoringAsciiCase(word, option.name) ||
            (!option.alias.empty() && equalsIgnoringAsciiCase(word, option.alias))) {
            return &option;
        }
    }
    return nullptr;
}

// Appended piece by piece: GCC 12's -Wrestrict misreads "'" + std::string.
std::string quoted(std::string_view word) {
    std::string text(1, '\'');
    text.append(word);
    text.push_back('\'');
    return text;
}

}  // namespace

std::string nearestWord(std::string_view word, const std::vector<std::string_view>& candidates) {
    std::string_view best;
    std::size_t bestDistance = SIZE_MAX;
    for (const std::string_view candidate : candidates) {
        const std::size_t d = distance(word, candidate);
        if (d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    // Near enough: a slip of a key or two, never most of the word.
    const std::size_t allowed = std::max<std::size_t>(1, std::min<std::size_t>(3, (word.size() + 1) / 2));
    return bestDistance <= allowed ? std::string(best) : std::string();
}

const CommandInfo* findCommand(std::string_view word) {
    for (const CommandInfo& info : commandTable()) {
        if (equalsIgnoringAsciiCase(word, info.name)) return &info;
    }
    return nullptr;
}

std::string parseCommand(const CommandInfo& info, const std::vector<std::string>& words, ParsedCommand& parsed) {
    parsed.info = &info;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            parsed.arguments.push_back(word);
            continue;
        }
        const OptionInfo* option = findOption(info, word);
        if (option == nullptr) {
            std::vector<std::string_view> names;
            for (const OptionInfo& known : info.options) {
                names.push_back(known.name);
                if (!known.alias.empty()) names.push_back(known.alias);
            }
            const std::string near = nearestWord(word, names);
            std::string text = "unknown option " + quoted(word) + " for " + std::string(info.name);
            if (!near.empty()) return text + "; did you mean " + quoted(near) + "?";
            return names.empty() ? text + " (it takes none)" : text;
        }
        const std::string name(option->name);
        if (parsed.options.count(name) != 0) return quoted(option->name) + " is given twice";
        if (!option->takesValue) {
            parsed.options[name];
            continue;
        }
        if (i + 1 == words.size()) return quoted(option->name) + " needs a value after it";
        parsed.options[name] = words[++i];
    }
    const int count = static_cast<int>(parsed.arguments.size());
    if (count < info.minArguments || (info.maxArguments >= 0 && count > info.maxArguments)) {
        return std::string(count < info.minArguments ? "too few" : "too many") + " arguments for " +
               std::string(info.name);
    }
    return {};
}

}  // namespace quill::pack
