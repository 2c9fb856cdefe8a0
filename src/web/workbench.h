#pragma once

#include <string>

#include "host/console.h"
#include "host/host.h"
#include "pack/command_line.h"
#include "pack/pack.h"

// quillpack open: the workbench, a page in the browser over one archive,
// served from this machine to this machine only.
namespace quill::pack {

// Serves the archive's workbench until the page's Close (status 0), or until
// the process is interrupted. Options from the command line: --port N,
// --no-browser, --read-only.
PackStatus openWorkbench(Host& host, Console& out, Console& err, const std::string& listPath,
                         const ParsedCommand& command);

}  // namespace quill::pack
