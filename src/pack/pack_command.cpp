// quillpack's command line.
#include <string_view>

#include "common/ascii_case.h"
#include "pack/pack.h"
#include "pack/update.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace quill::pack {
namespace {

constexpr std::string_view kUsage =
    "usage: quillpack list    LIST.RD\n"
    "       quillpack update  LIST.RD [-wav2dig] [-n] [-v]\n"
    "       quillpack compact LIST.RD NEW.RD\n"
    "       quillpack --help | --version\n";

constexpr std::string_view kHelp =
    "quillpack: the Quillfane resource archive (LIST.RD and its .RES) seen from the modder's side.\n"
    "\n"
    "  list LIST.RD        one row per record: where its bytes are and what an unpack (quillfane LIST.RD\n"
    "                      -dig2wav) does with it; then bytes covered, gaps, overlaps, and whether an\n"
    "                      unpack completes.\n"
    "  update LIST.RD      puts the files edited in the data directory back into the archive. With\n"
    "                      -wav2dig a sound's edited .WAV counts too; -n shows what would change and\n"
    "                      writes nothing; -v names every entry file missing. Afterwards the files\n"
    "                      in the data directory are what an unpack of the new archive leaves.\n"
    "                      New bytes are appended to the resource and the list is\n"
    "                      replaced in one step, so the archive is the old one or the new one at every\n"
    "                      instant, whatever fails.\n"
    "  compact LIST.RD NEW.RD\n"
    "                      writes a fresh pair holding each range of bytes once, in list order.\n"
    "\n"
    "Exit status: 0 done (list: an unpack completes); 1 bad command line; 2 the list cannot be read;\n"
    "3 the archive cannot be updated safely as it stands; 4 an input file is unusable; 5 writing failed,\n"
    "and the archive is as it was before the command; 6 update: the archive is updated, but some files\n"
    "in the data directory could not be refreshed to match it (each is named).\n";

PackStatus badCommandLine(Console& err) {
    err.print(kUsage);
    return PackStatus::badCommandLine;
}

}  // namespace

PackStatus runPack(int argc, const char* const* argv, Host& host, Console& out, Console& err) {
    if (argc < 2) return badCommandLine(err);
    const std::string_view command = argv[1];
    if (argc == 2 && command == "--help") {
        out.print(kHelp);
        return PackStatus::done;
    }
    if (argc == 2 && command == "--version") {
        out.print(std::string("quillpack ") + QUILL_VERSION + "\n");
        return PackStatus::done;
    }
    if (argc == 3 && command == "list") return listArchive(host, out, err, host.importArgumentPath(argv[2]));
    if (argc == 4 && command == "compact") {
        return compactArchive(host, out, err, host.importArgumentPath(argv[2]), host.importArgumentPath(argv[3]));
    }
    if (argc >= 3 && argc <= 6 && command == "update") {
        UpdateOptions options;
        for (int i = 3; i < argc; ++i) {
            const std::string_view option = argv[i];
            if (!options.wav2dig && equalsIgnoringAsciiCase(option, "-wav2dig")) {
                options.wav2dig = true;
            } else if (!options.dryRun && option == "-n") {
                options.dryRun = true;
            } else if (!options.verbose && option == "-v") {
                options.verbose = true;
            } else {
                return badCommandLine(err);
            }
        }
        return updateArchive(host, out, err, host.importArgumentPath(argv[2]), options);
    }
    return badCommandLine(err);
}

}  // namespace quill::pack
