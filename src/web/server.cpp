// The workbench's HTTP side: cpp-httplib on the loopback address, the gate in
// front of every route, and the routes handed to WorkbenchState.
#include "web/server.h"

#include <httplib.h>

#include <array>
#include <charconv>
#include <cstdio>

#include "web/assets.h"
#include "web/gate.h"
#include "web/system.h"
#include "web/workbench_state.h"

namespace quill::web {
namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr std::size_t kTokenBytes = 32;  // 256 bits
constexpr std::size_t kPreviewMost = 64u << 10;

// The page runs only what the tool serves: no other origin is reached for
// scripts, styles, fonts, pictures or connections, and no site may frame it.
const httplib::Headers& commonHeaders() {
    static const httplib::Headers headers = {
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data: blob:; "
         "media-src 'self' blob:; connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "no-referrer"},
        {"Cache-Control", "no-store"},
        {"Cross-Origin-Resource-Policy", "same-origin"},
    };
    return headers;
}

std::string tokenHex() {
    std::array<unsigned char, kTokenBytes> bytes{};
    if (!fillRandom(bytes)) return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

// filename*: the UTF-8 name percent-encoded, so no name can break the header.
std::string attachment(const std::string& name) {
    std::string encoded;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            byte == '.' || byte == '-' || byte == '_') {
            encoded += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            encoded += escaped;
        }
    }
    return "attachment; filename*=UTF-8''" + encoded;
}

void send(httplib::Response& res, const Reply& reply) {
    res.status = reply.status;
    res.set_content(reply.body, reply.type.c_str());
    if (!reply.fileName.empty()) res.set_header("Content-Disposition", attachment(reply.fileName));
}

void forbid(httplib::Response& res) {
    res.status = 403;
    res.set_content("Forbidden: this workbench is for the address quillpack printed.\n", "text/plain");
}

std::size_t mostOf(const httplib::Request& req) {
    std::size_t most = SIZE_MAX;
    if (req.has_param("max")) {
        const std::string text = req.get_param_value("max");
        if (std::from_chars(text.data(), text.data() + text.size(), most).ec != std::errc()) most = kPreviewMost;
    }
    return most;
}

void route(httplib::Server& server, WorkbenchState& state) {
    for (const Asset& asset : webAssets()) {
        server.Get(std::string(asset.path), [&asset](const httplib::Request&, httplib::Response& res) {
            res.set_content(asset.bytes.data(), asset.bytes.size(), std::string(asset.type).c_str());
        });
    }
    server.Get("/api/archive", [&state](const httplib::Request&, httplib::Response& res) { send(res, state.reload()); });
    server.Get(R"(/api/records/([0-9]{1,9})/(raw|wav))", [&state](const httplib::Request& req, httplib::Response& res) {
        send(res, state.record(req.matches[1].str(), req.matches[2].str() == "wav", req.get_param_value("v"),
                               mostOf(req), req.has_param("download")));
    });
    server.Get("/api/name", [&state](const httplib::Request& req, httplib::Response& res) {
        send(res, state.nameCheck(req.get_param_value("name")));
    });
    server.Post("/api/save", [&state](const httplib::Request& req, httplib::Response& res) {
        std::map<std::string, std::string_view> parts;
        for (const auto& [name, part] : req.files) parts.emplace(name, part.content);
        send(res, state.save(req.get_file_value("version").content, req.get_file_value("changes").content, parts));
    });
    server.Post("/api/close", [&server](const httplib::Request&, httplib::Response& res) {
        res.set_content("{\"ok\":true}", "application/json");
        // Stops accepting; listen() returns once the open connections end.
        server.stop();
    });
}

}  // namespace

pack::PackStatus serveWorkbench(Host& host, Console& out, Console& err, const ServeOptions& options) {
    WorkbenchState state(host, options);
    if (const pack::PackStatus loaded = state.load(err); loaded != pack::PackStatus::done) return loaded;
    GateKeys keys;
    keys.token = tokenHex();
    if (keys.token.empty()) {
        err.print("quillpack: the system gave no random numbers for the workbench's key\n");
        return pack::PackStatus::inputUnusable;
    }
    httplib::Server server;
    server.set_payload_max_length(kUploadLimit);
    server.set_keep_alive_timeout(1);
    server.set_default_headers(commonHeaders());
    if (options.port == 0) {
        keys.port = server.bind_to_any_port(kLoopback);
    } else {
        keys.port = server.bind_to_port(kLoopback, options.port) ? options.port : -1;
    }
    if (keys.port <= 0) {
        err.print("quillpack: " + std::string(kLoopback) +
                  (options.port == 0 ? "" : ":" + std::to_string(options.port)) + " cannot be listened on\n");
        return pack::PackStatus::inputUnusable;
    }
    server.set_pre_routing_handler([&keys](const httplib::Request& req, httplib::Response& res) {
        // Held here: the request's accessors return copies.
        const std::string hostHeader = req.get_header_value("Host");
        const std::string origin = req.get_header_value("Origin");
        const std::string cookie = req.get_header_value("Cookie");
        const std::string token = req.get_param_value("token");
        const GateRequest request{req.method, req.path, hostHeader, origin, cookie, token};
        switch (checkGate(request, keys)) {
            case GateVerdict::pass:
                // Answered at once: httplib itself would read a body past its limit to throw it away.
                if (req.get_header_value<std::uint64_t>("Content-Length") > kUploadLimit) {
                    res.status = 413;
                    res.set_content("refused: larger than the workbench takes\n", "text/plain");
                    return httplib::Server::HandlerResponse::Handled;
                }
                return httplib::Server::HandlerResponse::Unhandled;
            case GateVerdict::grantCookie:
                // The key leaves the address bar and the history: from here on it is a cookie.
                res.set_header("Set-Cookie", grantedCookie(keys));
                res.set_redirect("/", 303);
                return httplib::Server::HandlerResponse::Handled;
            case GateVerdict::refuse: break;
        }
        forbid(res);
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) res.set_content("refused (" + std::to_string(res.status) + ")\n", "text/plain");
    });
    route(server, state);

    const std::string address = "http://" + std::string(kLoopback) + ":" + std::to_string(keys.port) + "/?token=" + keys.token;
    out.print("quillpack: the workbench for " + pack::shownPath(host, options.listPath) + (options.readOnly ? " (read-only)" : "") +
              " is at\n  " + address + "\nIt stops with the page's Close, or Ctrl+C here.\n");
    // The address is out before the browser is asked for: however long that
    // takes, or if it fails, the address can be opened by hand.
    out.flush();
    if (options.openBrowser) {
        switch (openBrowser(address)) {
            case BrowserResult::opened: break;
            case BrowserResult::noOpener: out.print("(no xdg-open here: open the address in a browser)\n"); break;
            case BrowserResult::failed: out.print("(the browser could not be started: open the address in one)\n"); break;
        }
    }
    out.flush();
    if (!server.listen_after_bind()) {
        err.print("quillpack: the workbench stopped serving\n");
        return pack::PackStatus::inputUnusable;
    }
    out.print("quillpack: the workbench is closed\n");
    return pack::PackStatus::done;
}

}  // namespace quill::web
