// The unpacker's entry point: the system's host and standard output, wired into the run.
#include "host/console.h"
#include "host/host.h"
#include "unpack/unpack.h"

int main(int argc, char** argv) {
    quill::ignoreSignalsThatEndRuns();
    quill::Console& console = quill::standardOutput();
    const quill::ExitCode code = quill::run(argc, argv, quill::systemHost(), console);
    console.flush();
    return static_cast<int>(code);
}
