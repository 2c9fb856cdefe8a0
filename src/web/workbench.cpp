#include "web/workbench.h"

#include <charconv>

#include "web/server.h"

namespace quill::pack {

PackStatus openWorkbench(Host& host, Console& out, Console& err, const std::string& listPath,
                         const ParsedCommand& command) {
    web::ServeOptions options;
    options.listPath = listPath;
    options.openBrowser = !command.has("--no-browser");
    options.readOnly = command.has("--read-only");
    if (command.has("--port")) {
        const std::string& text = command.options.at("--port");
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), options.port);
        if (error != std::errc() || end != text.data() + text.size() || options.port < 1 || options.port > 65535) {
            err.print("quillpack: --port takes a port number from 1 to 65535, not '" + text + "'\n");
            return PackStatus::badCommandLine;
        }
    }
    return web::serveWorkbench(host, out, err, options);
}

}  // namespace quill::pack
