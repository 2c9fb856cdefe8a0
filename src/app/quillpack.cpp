// quillpack's entry point: the system's host, standard output for results and
// standard error for messages, wired into the command.
#include "host/console.h"
#include "host/host.h"
#include "pack/pack.h"

int main(int argc, char** argv) {
    quill::ignoreSignalsThatEndRuns();
    quill::Console& out = quill::standardOutput();
    const quill::pack::PackStatus status =
        quill::pack::runPack(argc, argv, quill::systemHost(), out, quill::standardError());
    out.flush();
    return static_cast<int>(status);
}
