#pragma once

#include <string>
#include <vector>

#include "pack/pack.h"
#include "support/memory_host.h"

namespace quill::testing {

// What one quillpack command line gave.
struct PackResult {
    pack::PackStatus status;
    std::string out;
    std::string err;
};

// Runs quillpack with these words after its name, on the host given.
inline PackResult runQuillpack(Host& host, std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "quillpack");
    CapturedConsole out;
    CapturedConsole err;
    const pack::PackStatus status =
        pack::runPack(static_cast<int>(arguments.size()), arguments.data(), host, out, err);
    return {status, out.text, err.text};
}

}  // namespace quill::testing
