#pragma once

#include <mutex>
#include <string>
#include <string_view>

// Who may use the workbench: the person who started it, through the address
// it printed, on this machine. Decided from a request's headers alone, before
// its body is read.
//
// The workbench is served under a host name of its own, NAME.localhost, which
// browsers resolve to the loopback address themselves and to which they scope
// cookies: the session cookie never travels to a server on another name, and
// no server on another port learns the name. The printed address's key is
// good for one exchange; the cookie it buys holds another secret.
namespace quill::web {

struct GateKeys {
    std::string name;     // the host name, "NAME.localhost"
    int port = 0;         // the port the server listens on
    std::string key;      // the secret in the printed address, hex
    std::string session;  // the cookie's secret, hex
    bool keyUsed = false; // the key was exchanged: it opens nothing any more
};

struct GateRequest {
    std::string_view method;
    std::string_view path;
    std::string_view host;      // the Host header
    std::string_view origin;    // the Origin header; empty when absent
    std::string_view cookie;    // the Cookie header; empty when absent
    std::string_view token;     // the address's ?token=, empty when absent
};

enum class GateVerdict {
    pass,          // the session cookie is right
    grantCookie,   // the printed address: answer with the cookie and send the browser on to "/"
    keyUsed,       // the printed address once more: 403 saying it was used
    loopbackName,  // 127.0.0.1 or localhost on our port: 403 naming the printed address
    refuse,        // 403
};

GateVerdict checkGate(const GateRequest& request, const GateKeys& keys);

// The session cookie's name: one per host name, which scopes it.
inline constexpr std::string_view kCookieName = "quillpack";

// The Set-Cookie value that grants the page.
std::string grantedCookie(const GateKeys& keys);

// The gate as the server holds it, shared by its worker threads: the key is
// spent by the one request it lets in.
class Gate {
public:
    explicit Gate(GateKeys keys) : keys_(std::move(keys)) {}
    GateVerdict admit(const GateRequest& request);
    std::string cookie() const { return grantedCookie(keys_); }

private:
    std::mutex mutex_;
    GateKeys keys_;
};

}  // namespace quill::web
