#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// quillpack's words: commands, their arguments and options, and what to say
// when a word is not one of them.
namespace quill::pack {

struct OptionInfo {
    std::string_view name;   // as written in the help: "-wav2dig", "--as"
    bool takesValue = false;  // the next word is its value
    std::string_view alias;  // another name for it ("--dry-run" for "-n"); may be empty
};

struct CommandInfo {
    std::string_view name;
    std::string_view synopsis;  // "update LIST.RD [-wav2dig] [-n] [-v]"
    std::string_view summary;   // one line for the command table
    std::string_view detail;    // the paragraph `help COMMAND` shows
    int minArguments = 1;       // words that are not options, the list included
    int maxArguments = 1;       // -1: any number
    std::vector<OptionInfo> options;
};

const std::vector<CommandInfo>& commandTable();

struct ParsedCommand {
    const CommandInfo* info = nullptr;
    std::vector<std::string> arguments;          // in order
    std::map<std::string, std::string> options;  // by the name in the table; a flag's value is empty
    bool has(std::string_view option) const { return options.count(std::string(option)) != 0; }
};

// Parses the words after the command's name: options anywhere, in any ASCII
// letter case, each once; "--" ends them. Empty when the words are good;
// otherwise what to tell the user.
std::string parseCommand(const CommandInfo& info, const std::vector<std::string>& words, ParsedCommand& parsed);

// The info whose name matches in any ASCII letter case; null when none does.
const CommandInfo* findCommand(std::string_view word);

// The candidate nearest to a mistyped word, when one is near enough to be
// what was meant; empty otherwise.
std::string nearestWord(std::string_view word, const std::vector<std::string_view>& candidates);

}  // namespace quill::pack
