// quillpack's commands as the help shows them. Every line fits 80 columns.
#include "pack/command_line.h"

namespace quill::pack {

const std::vector<CommandInfo>& commandTable() {
    static const std::vector<CommandInfo> commands = {
        {"list", "list LIST.RD [--json]", "every record and what an unpack does with it",
         "  One row per record: name, offset, length, a sound's duration, and what an\n"
         "  unpack (quillfane LIST.RD -dig2wav) does with it, as the disk stands now;\n"
         "  then bytes covered, gaps, overlaps, and whether an unpack completes.\n"
         "  --json: the same as one JSON document (quillpack(1) has its fields).\n"
         "  Status 0 when it completes, 3 when it stops.\n",
         1, 1, {{"--json", false, {}}}},
        {"status", "status LIST.RD [-v] [--json]", "what in data/ differs from the archive",
         "  One line per path in data/ that is not what an unpack leaves there:\n"
         "  modified (update takes it), a modified .WAV (update -wav2dig takes it),\n"
         "  a conflict, unusable, a link (not followed), missing (kept as it is;\n"
         "  -v names them all), not in the archive (add takes it), a directory an\n"
         "  unpack needs, files a stopped update set aside; then a summary. Writes\n"
         "  nothing. --json: one JSON document. Status 0 when data/ is what an\n"
         "  unpack leaves, 8 when anything differs.\n",
         1, 1, {{"-v", false, {}}, {"--json", false, {}}}},
        {"extract", "extract LIST.RD [PATTERN...] [-C DIR] [-dig2wav] [--overwrite]",
         "entries out, making the directories they need",
         "  Writes the entries whose names match a PATTERN (* and ?, letter case\n"
         "  ignored, \\ and / alike; every entry when none is given) where an unpack\n"
         "  writes them, or under DIR, making the directories they need. A file\n"
         "  there that differs from the archive is left alone and named (an edit not\n"
         "  put back yet) unless --overwrite. -dig2wav: sounds get their .WAV too.\n",
         1, -1, {{"-C", true, {}}, {"-dig2wav", false, {}}, {"--overwrite", false, {}}, {"-q", false, "--quiet"}}},
        {"update", "update LIST.RD [-wav2dig] [-n] [-v]", "files edited in data/ back into the archive",
         "  Puts the files edited in the data directory back into the archive.\n"
         "  -wav2dig: a sound's edited .WAV counts too (PCM 8-bit, 1 channel,\n"
         "  11025 Hz). -n (--dry-run): show what would change, write nothing.\n"
         "  -v: name every entry file missing. Afterwards data/ is what an unpack of\n"
         "  the new archive leaves, so running it again changes nothing.\n",
         1, 1, {{"-wav2dig", false, {}}, {"-n", false, "--dry-run"}, {"-v", false, {}}, {"-q", false, "--quiet"}}},
        {"add", "add LIST.RD FILE... [--as NAME] [-wav2dig]", "new files in, as new records",
         "  Adds each FILE as a new record at the end of the list. Its name is its\n"
         "  path under the data directory (data/SFX/NEW.DIG becomes SFX\\NEW.DIG), or\n"
         "  NAME for one file. -wav2dig: a .WAV goes in as a .DIG sound.\n",
         2, -1, {{"--as", true, {}}, {"-wav2dig", false, {}}, {"-q", false, "--quiet"}}},
        {"remove", "remove LIST.RD NAME...", "records out of the list",
         "  Drops the records of each NAME from the list. Their bytes stay in the\n"
         "  resource until compact; their files in data/ are left as they are.\n",
         2, -1, {}},
        {"rename", "rename LIST.RD OLD NEW", "a record renamed",
         "  Gives the record named OLD the name NEW (1 to 12 bytes, no spaces, one\n"
         "  the unpacker writes inside the data directory, not in the list yet).\n",
         3, 3, {}},
        {"history", "history LIST.RD", "the versions kept, newest first",
         "  Every list this archive has had through quillpack (kept in\n"
         "  LIST.RD.history beside it, at most 100): version, date and time (UTC),\n"
         "  the command, what changed; * marks the one the list is now.\n",
         1, 1, {}},
        {"undo", "undo LIST.RD [-n]", "back to the version before",
         "  Makes the list the version before the current one again, and data/ what\n"
         "  an unpack of it leaves (refused when that would overwrite an edit not\n"
         "  put back). Again: further back. A list changed outside quillpack is kept\n"
         "  as a version first. Refused, naming the records, when the resource no\n"
         "  longer holds what that version points at. -n: show, write nothing.\n",
         1, 1, {{"-n", false, "--dry-run"}, {"-q", false, "--quiet"}}},
        {"redo", "redo LIST.RD [-n]", "forward again after undo",
         "  Makes the list the version after the current one again. A new change\n"
         "  after undo drops the versions ahead, and says so. -n: show only.\n",
         1, 1, {{"-n", false, "--dry-run"}, {"-q", false, "--quiet"}}},
        {"restore", "restore LIST.RD VERSION [-n]", "the list of any version kept",
         "  Makes the list the given version again (as undo does); versions ahead\n"
         "  and behind stay, so redo and undo go on from there. -n: show only.\n",
         2, 2, {{"-n", false, "--dry-run"}, {"-q", false, "--quiet"}}},
        {"compact", "compact LIST.RD NEW.RD", "a fresh pair storing each range once",
         "  Writes NEW.RD and its resource: every range of bytes once, in list\n"
         "  order, no gaps; the same records in the same order.\n",
         2, 2, {{"-q", false, "--quiet"}}},
        {"create", "create LIST.RD [DIR] [-wav2dig] [-n]", "a new archive from a folder's files",
         "  Makes LIST.RD and its resource from every file under DIR (default: data/\n"
         "  beside LIST.RD), each a record named by its path there (DIR/SFX/A.DIG is\n"
         "  SFX\\A.DIG), in byte order of those names. A .WAV beside its .DIG goes\n"
         "  with it when it is what an unpack writes from it, and is refused when\n"
         "  not. -wav2dig: any other .WAV goes in as a .DIG sound. Every file that\n"
         "  cannot be a record is named first, and nothing is written. An existing\n"
         "  LIST.RD or resource is refused. -n (--dry-run): show, write nothing.\n",
         1, 2, {{"-wav2dig", false, {}}, {"-n", false, "--dry-run"}, {"-q", false, "--quiet"}}},
        {"open", "open LIST.RD [--port N] [--no-browser] [--read-only]", "the workbench, in the browser",
         "  Serves a page for the archive on this machine and opens the browser on\n"
         "  it: every record, its sound or text, and replace, add, remove and rename\n"
         "  staged and saved in one commit. Only the address printed gets in, and\n"
         "  it opens once: in one browser, then start open again for another.\n"
         "  --port N: listen on port N (default: one the system picks).\n"
         "  --no-browser: print the address only. --read-only: no changes.\n"
         "  Runs until the page's Close or Ctrl+C.\n",
         1, 1, {{"--port", true, {}}, {"--no-browser", false, {}}, {"--read-only", false, {}}}},
        {"help", "help [COMMAND]", "this help, or one command's", "  Shows the help, or one command's.\n", 0, 1, {}},
    };
    return commands;
}

}  // namespace quill::pack
