// The workbench's HTTP side: cpp-httplib on the loopback address, the gate in
// front of every route, and the routes handed to WorkbenchState.
#include "web/server.h"

// What a client may cost before the gate has seen its headers
// (third_party/cpp-httplib/patches/): a request line or header line of 8 KiB
// at most, held as it is read; 32 header lines; the whole head within 10 s of
// its first byte (each read within 5 s); and 64 workers, so that many slow
// clients cannot hold every one. A refusal closes its connection. The address
// is numeric: a static link carries no resolver.
#define CPPHTTPLIB_NUMERIC_HOST_ONLY
#define CPPHTTPLIB_REQUEST_URI_MAX_LENGTH 8192
#define CPPHTTPLIB_HEADER_MAX_LENGTH 8192
#define CPPHTTPLIB_HEADER_MAX_COUNT 32
#define CPPHTTPLIB_REQUEST_HEAD_TIMEOUT_SECOND 10
#define CPPHTTPLIB_READ_TIMEOUT_SECOND 5
#define CPPHTTPLIB_THREAD_POOL_COUNT 64
#include <httplib.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <span>

#include "web/assets.h"
#include "web/gate.h"
#include "web/launcher.h"
#include "web/page_text.h"
#include "web/system.h"
#include "web/workbench_state.h"

namespace quill::web {
namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr std::size_t kTokenBytes = 32;  // 256 bits
constexpr std::size_t kNameBytes = 8;    // 64 bits: no other program can guess the host name
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

// The answer to the printed address: the cookie, and on to the page.
constexpr const char* kGranted =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"refresh\" content=\"0;url=/\">\n<title>quillpack workbench</title>\n"
    "<link rel=\"icon\" href=\"data:,\">\n</head>\n<body>\n<p>Opening the workbench: <a href=\"/\">/</a></p>\n</body>\n</html>\n";

std::string randomHex(std::size_t size) {
    std::array<unsigned char, kTokenBytes> bytes{};
    const std::span<unsigned char> used(bytes.data(), size < bytes.size() ? size : bytes.size());
    if (!fillRandom(used)) return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : used) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

// The secrets and the host name; false when the system gave no random numbers.
bool makeKeys(GateKeys& keys) {
    keys.key = randomHex(kTokenBytes);
    keys.session = randomHex(kTokenBytes);
    const std::string name = randomHex(kNameBytes);
    if (keys.key.empty() || keys.session.empty() || name.empty()) return false;
    keys.name = "quillpack-" + name + ".localhost";
    return true;
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

void forbid(httplib::Response& res, const std::string& why) {
    res.status = 403;
    res.set_content(why, "text/plain");
}

// The refusals' words; none of them names the host name, which a program on
// this machine could then use.
std::string refusal(GateVerdict verdict, int port) {
    switch (verdict) {
        case GateVerdict::keyUsed:
            return "Forbidden: this address was already used. Its key opens the workbench once, for one browser;\n"
                   "start `quillpack open` again for a new address.\n";
        case GateVerdict::loopbackName:
            return "Forbidden: this workbench answers only at the address quillpack printed,\n"
                   "http://quillpack-....localhost:" + std::to_string(port) + "/?token=..., not at 127.0.0.1 or localhost.\n";
        default: return "Forbidden: this workbench is for the address quillpack printed.\n";
    }
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
    // A form (the staged changes may pass a URL's length), judged against the archive as they leave it.
    server.Post("/api/name", [&state](const httplib::Request& req, httplib::Response& res) {
        send(res, state.nameCheck(req.get_param_value("name"), req.get_param_value("record"),
                                  req.get_param_value("changes")));
    });
    server.Get("/api/stamp", [&state](const httplib::Request&, httplib::Response& res) { send(res, state.stamp()); });
    server.Post("/api/save", [&state](const httplib::Request& req, httplib::Response& res) {
        std::map<std::string, std::string_view> parts;
        for (const auto& [name, part] : req.files) parts.emplace(name, part.content);
        send(res, state.save(req.get_file_value("version").content, req.get_file_value("changes").content, parts));
    });
    server.Get("/api/history", [&state](const httplib::Request&, httplib::Response& res) { send(res, state.history()); });
    // Forms, as /api/name: the version the page shows, and restore's version number.
    server.Post(R"(/api/(undo|redo|restore))", [&state](const httplib::Request& req, httplib::Response& res) {
        send(res, state.moveTo(req.get_param_value("version"), req.matches[1].str(), req.get_param_value("number")));
    });
    server.Get("/api/status", [&state](const httplib::Request&, httplib::Response& res) { send(res, state.dataStatus()); });
    server.Post("/api/close", [&server](const httplib::Request&, httplib::Response& res) {
        res.set_content(jsonBody(Json{{"ok", true}}), "application/json");
        // Stops accepting; listen() returns once the open connections end.
        server.stop();
    });
}

// Refuses what the gate refuses, and what is larger than the workbench takes,
// before any body is read.
void guard(httplib::Server& server, Gate& gate, Launcher& launcher, int port) {
    server.set_pre_routing_handler([&gate, &launcher, port](const httplib::Request& req, httplib::Response& res) {
        // Held here: the request's accessors return copies.
        const std::string hostHeader = req.get_header_value("Host");
        const std::string origin = req.get_header_value("Origin");
        const std::string cookie = req.get_header_value("Cookie");
        const std::string token = req.get_param_value("token");
        const GateRequest request{req.method, req.path, hostHeader, origin, cookie, token};
        const GateVerdict verdict = gate.admit(request);
        switch (verdict) {
            case GateVerdict::pass:
                // Answered at once: httplib itself would read a body past its limit to throw it away.
                if (req.get_header_value<std::uint64_t>("Content-Length") > kUploadLimit) {
                    res.status = 413;
                    res.set_content("refused: larger than the workbench takes\n", "text/plain");
                    return httplib::Server::HandlerResponse::Handled;
                }
                return httplib::Server::HandlerResponse::Unhandled;
            case GateVerdict::grantCookie:
                // From here on a cookie with another secret. The page goes on to "/" by itself rather than
                // by a redirect: a browser sent here by the launcher file, which has no site of its own,
                // would not send a SameSite=Strict cookie along a redirect of that navigation.
                res.set_header("Set-Cookie", gate.cookie());
                res.set_content(kGranted, "text/html; charset=utf-8");
                // The key opens nothing any more: its file has done its work.
                launcher.remove();
                return httplib::Server::HandlerResponse::Handled;
            default: break;
        }
        forbid(res, refusal(verdict, port));
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) res.set_content("refused (" + std::to_string(res.status) + ")\n", "text/plain");
    });
}

// Listens on the port, alone; the port, or -1 with the reason said.
int listenOn(httplib::Server& server, int port, Console& err) {
    server.set_socket_options([](socket_t sock) { claimPortAlone(static_cast<std::uintptr_t>(sock)); });
    const int bound = port == 0 ? server.bind_to_any_port(kLoopback) : (server.bind_to_port(kLoopback, port) ? port : -1);
    if (bound > 0) return bound;
    if (port == 0) {
        err.print("quillpack: no port on " + std::string(kLoopback) + " can be listened on\n");
    } else {
        err.print("quillpack: " + std::string(kLoopback) + ":" + std::to_string(port) +
                  " cannot be listened on: another workbench or program has that port; choose another --port, "
                  "or leave --port out for a free one\n");
    }
    return -1;
}

void startBrowser(Launcher& launcher, const std::string& address, Console& out) {
    if (!launcher.write(address)) {
        out.print("(the browser could not be given the address: open it in one)\n");
        return;
    }
    switch (openBrowser(launcher.path())) {
        case BrowserResult::opened: break;
        case BrowserResult::noOpener: out.print("(no xdg-open here: open the address in a browser)\n"); break;
        case BrowserResult::failed: out.print("(the browser could not be started: open the address in one)\n"); break;
    }
}

}  // namespace

pack::PackStatus serveWorkbench(Host& host, Console& out, Console& err, const ServeOptions& options) {
    WorkbenchState state(host, options);
    if (const pack::PackStatus loaded = state.load(err); loaded != pack::PackStatus::done) return loaded;
    GateKeys keys;
    if (!makeKeys(keys)) {
        err.print("quillpack: the system gave no random numbers for the workbench's key\n");
        return pack::PackStatus::inputUnusable;
    }
    httplib::Server server;
    server.set_payload_max_length(kUploadLimit);
    server.set_keep_alive_timeout(1);
    // Replies go out at once: with Nagle's wait, a small reply after another on a
    // kept-alive connection sits until the browser's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    server.set_default_headers(commonHeaders());
    keys.port = listenOn(server, options.port, err);
    if (keys.port <= 0) return pack::PackStatus::inputUnusable;
    struct HeldIpv6 {
        Ipv6Loopback socket;
        ~HeldIpv6() { releaseIpv6Loopback(socket); }
    } ipv6;
    if (holdIpv6Loopback(keys.port, ipv6.socket) == Ipv6Hold::taken) {
        // The browser would go there first, with the key.
        err.print("quillpack: [::1]:" + std::to_string(keys.port) + " is taken by another program, which the browser "
                  "would reach before the workbench; choose another --port, or leave --port out\n");
        return pack::PackStatus::inputUnusable;
    }
    const std::string address = "http://" + keys.name + ":" + std::to_string(keys.port) + "/?token=" + keys.key;
    Gate gate(keys);
    Launcher launcher;
    guard(server, gate, launcher, keys.port);
    route(server, state);

    out.print("quillpack: the workbench for " + pack::shownPath(host, options.listPath) + (options.readOnly ? " (read-only)" : "") +
              " is at\n  " + address + "\nThe address opens it once, in one browser. It stops with the page's Close, or Ctrl+C here.\n");
    // The address is out before the browser is asked for: however long that
    // takes, or if it fails, the address can be opened by hand.
    out.flush();
    // Before any thread starts, so that they all leave Ctrl+C to this one.
    watchInterrupts([&server] { server.stop(); });
    if (options.openBrowser) startBrowser(launcher, address, out);
    out.flush();
    const bool served = server.listen_after_bind();
    stopWatchingInterrupts();
    launcher.remove();
    if (!served) {
        err.print("quillpack: the workbench stopped serving\n");
        return pack::PackStatus::inputUnusable;
    }
    out.print("quillpack: the workbench is closed\n");
    return pack::PackStatus::done;
}

}  // namespace quill::web
