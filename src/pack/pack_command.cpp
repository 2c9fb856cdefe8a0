// quillpack's command line: which command, with what, and help.
#include <charconv>
#include <string_view>

#include "pack/command_line.h"
#include "pack/create.h"
#include "pack/history_command.h"
#include "pack/pack.h"
#include "pack/progress.h"
#include "pack/status.h"
#include "pack/update.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace quill::pack {
namespace {

constexpr std::string_view kExample =
    "Example: swap a sound\n"
    "  quillfane GAME.RD -dig2wav          unpack into data/, sounds as .WAV too\n"
    "  (edit data/SFX/BOOM.WAV; save it as PCM 8-bit, 1 channel, 11025 Hz)\n"
    "  quillpack update GAME.RD -wav2dig   put it back into the archive\n";

constexpr std::string_view kStatus =
    "Exit status: 0 done; 1 bad command line; 2 the list (or its history) cannot\n"
    "be read; 3 the archive is not safe to change as it stands (an unpack of it\n"
    "stops); 4 an input is unusable, or nothing to undo or redo; 5 writing\n"
    "failed, and the archive is as it was; 6 the archive is changed, but some\n"
    "files in data/ could not be refreshed; 7 interrupted (Ctrl+C), and the\n"
    "archive is as it was; 8 (status) data/ differs from the archive.\n";

std::string fullHelp() {
    std::string text = "quillpack: the Quillfane archive (LIST.RD and its .RES) for modders.\n\n"
                       "usage: quillpack COMMAND LIST.RD ...\n\n";
    for (const CommandInfo& info : commandTable()) {
        const std::string synopsis = "  " + std::string(info.synopsis);
        if (synopsis.size() < 28) {
            text += synopsis + std::string(28 - synopsis.size(), ' ') + std::string(info.summary) + "\n";
        } else {
            text += synopsis + "\n" + std::string(28, ' ') + std::string(info.summary) + "\n";
        }
    }
    text += "  --version                 the version\n\n";
    text += "On a terminal, long work shows one progress line; -q (--quiet) leaves it out.\n\n";
    text += "'quillpack help COMMAND' says more about one command.\n\n";
    return text + std::string(kExample) + "\n" + std::string(kStatus);
}

std::string commandHelp(const CommandInfo& info) {
    return "usage: quillpack " + std::string(info.synopsis) + "\n\n" + std::string(info.detail);
}

PackStatus refused(Console& err, const std::string& problem, const CommandInfo* info) {
    err.print("quillpack: " + problem + "\n");
    err.print(info != nullptr ? "usage: quillpack " + std::string(info->synopsis) + "\n"
                              : std::string("run 'quillpack help' for the commands\n"));
    return PackStatus::badCommandLine;
}

bool isHelpWord(std::string_view word, const Host& host) {
    return word == "-h" || word == "--help" || word == "help" || (host.nameRules() == NameRules::windows && word == "/?");
}

PackStatus help(Console& out, Console& err, const std::vector<std::string>& rest) {
    if (rest.empty()) {
        out.print(fullHelp());
        return PackStatus::done;
    }
    if (rest.size() == 1) {
        const bool aboutHelp = rest[0] == "--help" || rest[0] == "-h";
        if (const CommandInfo* info = findCommand(aboutHelp ? "help" : rest[0])) {
            out.print(commandHelp(*info));
            return PackStatus::done;
        }
    }
    return refused(err, "help takes one command name", findCommand("help"));
}

PackStatus openWith(Workbench workbench, Host& host, Console& out, Console& err, const std::string& listPath,
                    const ParsedCommand& command) {
    if (workbench == nullptr) {
        err.print("quillpack: this build has no workbench\n");
        return PackStatus::badCommandLine;
    }
    return workbench(host, out, err, listPath, command);
}

PackStatus dispatch(Host& host, Console& out, Console& err, const ParsedCommand& command, Workbench workbench) {
    const std::string_view name = command.info->name;
    const auto& arguments = command.arguments;
    const auto path = [&](std::size_t i) { return host.importArgumentPath(arguments[i]); };
    const auto option = [&](std::string_view key) { return command.options.at(std::string(key)); };
    if (name == "list") {
        return command.has("--json") ? listArchiveJson(host, out, err, path(0)) : listArchive(host, out, err, path(0));
    }
    if (name == "status") {
        return statusOfData(host, out, err, path(0), {.verbose = command.has("-v"), .json = command.has("--json")});
    }
    // Progress lines only where a person watches, and not when asked for quiet.
    setProgressConsole(out.isTerminal() && !command.has("-q") ? &out : nullptr);
    // A change stopped by Ctrl+C is undone before the process ends.
    if (name == "compact" || name == "update" || name == "add" || name == "remove" || name == "rename" ||
        name == "create" || name == "undo" || name == "redo" || name == "restore") {
        host.catchInterrupts();
    }
    if (name == "compact") return compactArchive(host, out, err, path(0), path(1));
    if (name == "update") {
        return updateArchive(host, out, err, path(0),
                             {.wav2dig = command.has("-wav2dig"), .dryRun = command.has("-n"), .verbose = command.has("-v")});
    }
    if (name == "extract") {
        ExtractOptions options;
        options.patterns.assign(arguments.begin() + 1, arguments.end());
        if (command.has("-C")) options.directory = host.importArgumentPath(option("-C"));
        options.dig2wav = command.has("-dig2wav");
        options.overwrite = command.has("--overwrite");
        return extractEntries(host, out, err, path(0), options);
    }
    if (name == "add") {
        AddOptions options;
        for (std::size_t i = 1; i < arguments.size(); ++i) options.files.push_back(path(i));
        if (command.has("--as")) options.as = option("--as");
        options.wav2dig = command.has("-wav2dig");
        return addRecords(host, out, err, path(0), options);
    }
    if (name == "remove") {
        return removeRecords(host, out, err, path(0), {arguments.begin() + 1, arguments.end()});
    }
    if (name == "rename") return renameRecord(host, out, err, path(0), arguments[1], arguments[2]);
    if (name == "create") {
        return createArchive(host, out, err, path(0),
                             {.directory = arguments.size() > 1 ? path(1) : std::string(),
                              .wav2dig = command.has("-wav2dig"), .dryRun = command.has("-n")});
    }
    if (name == "history") return showHistory(host, out, err, path(0));
    if (name == "undo" || name == "redo") {
        HistoryMove move;
        move.kind = name == "undo" ? HistoryMove::undo : HistoryMove::redo;
        move.dryRun = command.has("-n");
        return moveInHistory(host, out, err, path(0), move);
    }
    if (name == "restore") {
        int version = 0;
        const std::string& word = arguments[1];
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), version);
        if (error != std::errc() || end != word.data() + word.size() || version < 1) {
            return refused(err, "restore takes a version number (quillpack history shows them), not '" + word + "'",
                           command.info);
        }
        HistoryMove move;
        move.kind = HistoryMove::restore;
        move.version = version;
        move.dryRun = command.has("-n");
        return moveInHistory(host, out, err, path(0), move);
    }
    if (name == "open") return openWith(workbench, host, out, err, path(0), command);
    return refused(err, "unknown command '" + std::string(name) + "'", nullptr);
}

}  // namespace

PackStatus runPack(int argc, const char* const* argv, Host& host, Console& out, Console& err, Workbench workbench) {
    std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (words.empty()) {
        err.print(fullHelp());
        return PackStatus::badCommandLine;
    }
    const std::string first = words.front();
    words.erase(words.begin());
    if (isHelpWord(first, host)) return help(out, err, words);
    if (first == "--version" && words.empty()) {
        out.print(std::string("quillpack ") + QUILL_VERSION + "\n");
        return PackStatus::done;
    }
    const CommandInfo* info = findCommand(first);
    // A list dropped onto the .exe in Explorer arrives as the only word: it
    // opens the workbench, the browser with it.
    std::string reason;
    if (info == nullptr && words.empty() && host.nameRules() == NameRules::windows && !first.starts_with("-") &&
        host.lookUp(host.importArgumentPath(first), reason) == PathState::file) {
        return openWith(workbench, host, out, err, host.importArgumentPath(first), ParsedCommand{});
    }
    if (info == nullptr) {
        std::vector<std::string_view> names;
        for (const CommandInfo& known : commandTable()) names.push_back(known.name);
        const std::string near = nearestWord(first, names);
        return refused(err,
                       "unknown command '" + first + "'" + (near.empty() ? "" : "; did you mean '" + near + "'?"),
                       nullptr);
    }
    // "quillpack update --help" is a request for that command's help.
    for (const std::string& word : words) {
        if (word == "--") break;
        if (word == "--help" || word == "-h" || (host.nameRules() == NameRules::windows && word == "/?")) {
            out.print(commandHelp(*info));
            return PackStatus::done;
        }
    }
    if (info->name == "help") return help(out, err, words);
    ParsedCommand command;
    if (const std::string problem = parseCommand(*info, words, command); !problem.empty()) {
        return refused(err, problem, info);
    }
    return dispatch(host, out, err, command, workbench);
}

}  // namespace quill::pack
