#pragma once

#include <string>
#include <vector>

#include "host/console.h"
#include "host/host.h"

// quillpack: the archive seen from the modder's side.
namespace quill::pack {

enum class PackStatus : int {
    done = 0,
    badCommandLine = 1,
    listUnreadable = 2,
    archiveUnsafe = 3,   // the unpacker would stop on it, or its resource cannot be read
    inputUnusable = 4,
    writeFailed = 5,     // and the archive is as it was before the command
    dataNotRefreshed = 6,  // the archive is updated; some files in data/ are not what an unpack of it leaves
    interrupted = 7,       // Ctrl+C or a request to terminate: stopped, and the archive is as it was
    differs = 8,           // status: data/ is not what an unpack of the archive leaves
};

struct ParsedCommand;

// quillpack open: serves the archive's workbench. The workbench is a layer
// above the commands, so the entry point hands it in; without one, open is
// refused.
using Workbench = PackStatus (*)(Host& host, Console& out, Console& err, const std::string& listPath,
                                 const ParsedCommand& command);

// The whole command, on the host and consoles the entry point hands in:
// results to out, messages to err.
PackStatus runPack(int argc, const char* const* argv, Host& host, Console& out, Console& err,
                   Workbench workbench = nullptr);

// quillpack list: one row per record, then a summary.
PackStatus listArchive(Host& host, Console& out, Console& err, const std::string& listPath);

// quillpack list --json: the same, as one JSON document (docs/reference.md).
PackStatus listArchiveJson(Host& host, Console& out, Console& err, const std::string& listPath);

// quillpack compact: a fresh pair NEW.RD and its resource, each range stored once.
PackStatus compactArchive(Host& host, Console& out, Console& err, const std::string& listPath,
                          const std::string& newListPath);

struct ExtractOptions {
    std::vector<std::string> patterns;  // none: every entry
    std::string directory;              // empty: the archive's data directory
    bool dig2wav = false;
    bool overwrite = false;
};

// quillpack extract: the entries whose names match, where an unpack writes
// them (or under another directory), making the directories they need; a
// file there that differs from the archive is left alone unless overwrite.
PackStatus extractEntries(Host& host, Console& out, Console& err, const std::string& listPath,
                          const ExtractOptions& options);

struct AddOptions {
    std::vector<std::string> files;
    std::string as;  // the record's name, for one file; empty: its path under the data directory
    bool wav2dig = false;
};

// quillpack add: new records at the end of the list, their bytes appended.
PackStatus addRecords(Host& host, Console& out, Console& err, const std::string& listPath, const AddOptions& options);

// quillpack remove: records dropped from the list; their bytes stay until compact.
PackStatus removeRecords(Host& host, Console& out, Console& err, const std::string& listPath,
                         const std::vector<std::string>& names);

// quillpack rename: one record's name changed.
PackStatus renameRecord(Host& host, Console& out, Console& err, const std::string& listPath,
                        const std::string& oldName, const std::string& newName);

// An entry name for the console: control bytes, which a terminal would take as
// commands, show as \xHH.
std::string shownName(const std::string& name);

// A path as the user of this host writes it, for messages.
std::string shownPath(const Host& host, const std::string& path);

}  // namespace quill::pack
