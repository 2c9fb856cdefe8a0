#include "web/gate.h"

#include "common/ascii_case.h"

namespace quill::web {
namespace {

// Compares every byte whatever the first difference, so the time taken says
// nothing about how much of a guess was right.
bool sameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned>(static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i]));
    }
    return difference == 0;
}

// A page served under any other name could be a site whose name was pointed at
// this machine: it must not reach the archive.
bool ownHost(std::string_view host, const GateKeys& keys) {
    std::string port = ":";
    port += std::to_string(keys.port);
    if (!host.ends_with(port)) return false;
    const std::string_view name = host.substr(0, host.size() - port.size());
    return name == "127.0.0.1" || equalsIgnoringAsciiCase(name, "localhost");
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool hasCookie(std::string_view header, std::string_view name, std::string_view value) {
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        const std::string_view pair = trimmed(header.substr(0, end));
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name &&
            sameSecret(pair.substr(equals + 1), value)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string cookieName(const GateKeys& keys) {
    std::string name = "quillpack";
    return name += std::to_string(keys.port);
}

std::string grantedCookie(const GateKeys& keys) {
    return cookieName(keys) + "=" + keys.token + "; Path=/; HttpOnly; SameSite=Strict";
}

GateVerdict checkGate(const GateRequest& request, const GateKeys& keys) {
    if (keys.token.empty() || !ownHost(request.host, keys)) return GateVerdict::refuse;
    const bool reading = request.method == "GET" || request.method == "HEAD";
    // A changing request must come from the page itself, not from a form or
    // script on another site that the browser would send the cookie along for.
    if (!reading && !(request.origin.starts_with("http://") && request.origin.substr(7) == request.host)) {
        return GateVerdict::refuse;
    }
    if (hasCookie(request.cookie, cookieName(keys), keys.token)) return GateVerdict::pass;
    if (request.method == "GET" && request.path == "/" && sameSecret(request.token, keys.token)) {
        return GateVerdict::grantCookie;
    }
    return GateVerdict::refuse;
}

}  // namespace quill::web
