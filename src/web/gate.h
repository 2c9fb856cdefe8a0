#pragma once

#include <string>
#include <string_view>

// Who may use the workbench: the person who started it, through the address
// it printed, on this machine. Decided from a request's headers alone, before
// its body is read.
namespace quill::web {

struct GateKeys {
    std::string token;  // the secret in the printed address, hex
    int port = 0;       // the port the server listens on
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
    pass,         // the cookie is right
    grantCookie,  // the printed address: answer with the cookie and send the browser on to "/"
    refuse,       // 403
};

GateVerdict checkGate(const GateRequest& request, const GateKeys& keys);

// The cookie's name: one per port, since browsers share cookies between the
// ports of one host.
std::string cookieName(const GateKeys& keys);

// The Set-Cookie value that grants the page.
std::string grantedCookie(const GateKeys& keys);

}  // namespace quill::web
