// quillpack's command line.
#include <string_view>

#include "pack/pack.h"

#ifndef QUILL_VERSION
#define QUILL_VERSION "unknown"
#endif

namespace quill::pack {
namespace {

constexpr std::string_view kUsage =
    "usage: quillpack list LIST.RD\n"
    "       quillpack --help | --version\n";

constexpr std::string_view kHelp =
    "quillpack: the Quillfane resource archive (LIST.RD and its .RES) seen from the modder's side.\n"
    "\n"
    "  quillpack list LIST.RD   one row per record of the list: where its bytes are and what an unpack\n"
    "                           (quillfane LIST.RD -dig2wav) does with it; then bytes covered, gaps,\n"
    "                           overlaps, and whether an unpack completes.\n"
    "  quillpack --help         this text\n"
    "  quillpack --version      the version\n"
    "\n"
    "Exit status: 0 done (list: an unpack completes); 1 bad command line; 2 the list cannot be read;\n"
    "3 an unpack would stop on the archive, or its resource cannot be read.\n";

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
    return badCommandLine(err);
}

}  // namespace quill::pack
