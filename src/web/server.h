#pragma once

#include <cstddef>
#include <string>

#include "host/console.h"
#include "host/host.h"
#include "pack/pack.h"

namespace quill::web {

// The largest request the workbench reads (a Save with its files): larger
// ones are refused before their body is read.
inline constexpr std::size_t kUploadLimit = 128u << 20;

struct ServeOptions {
    std::string listPath;
    int port = 0;  // 0: one the system picks
    bool openBrowser = true;
    bool readOnly = false;
};

// Serves the workbench on the loopback address until the page's Close.
pack::PackStatus serveWorkbench(Host& host, Console& out, Console& err, const ServeOptions& options);

}  // namespace quill::web
