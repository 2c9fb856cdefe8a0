// quillpack's entry point: the system's host, standard output for results and
// standard error for messages, wired into the command.
#include "host/command_line.h"
#include "host/console.h"
#include "host/host.h"
#include "pack/pack.h"
#include "web/workbench.h"

namespace {

int packWith(int argc, const char* const* argv) {
    quill::ignoreSignalsThatEndRuns();
    quill::Console& out = quill::standardOutput();
    const quill::pack::PackStatus status =
        quill::pack::runPack(argc, argv, quill::systemHost(), out, quill::standardError(), &quill::pack::openWorkbench);
    out.flush();
    quill::holdOwnConsoleWindow();
    return static_cast<int>(status);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    const quill::CommandLine line(argc, argv);
    return packWith(line.count(), line.words());
}
#else
int main(int argc, char** argv) { return packWith(argc, argv); }
#endif
