// The unpacker's entry point: the system's host and standard output, wired into the run.
#include "host/command_line.h"
#include "host/console.h"
#include "host/host.h"
#include "unpack/unpack.h"

namespace {

int unpackWith(int argc, const char* const* argv) {
    quill::ignoreSignalsThatEndRuns();
    quill::Console& console = quill::standardOutput();
    const quill::ExitCode code = quill::run(argc, argv, quill::systemHost(), console);
    console.flush();
    return static_cast<int>(code);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    const quill::CommandLine line(argc, argv);
    return unpackWith(line.count(), line.words());
}
#else
int main(int argc, char** argv) { return unpackWith(argc, argv); }
#endif
