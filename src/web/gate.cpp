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

// The name in a Host header on our port; empty when the port is another.
std::string_view nameOnPort(std::string_view host, int port) {
    std::string suffix = ":";
    suffix += std::to_string(port);
    if (!host.ends_with(suffix)) return {};
    return host.substr(0, host.size() - suffix.size());
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Any cookie of the name with the value: a page on a sibling name may plant
// one of the same name for all of localhost, which must not hide ours.
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

std::string grantedCookie(const GateKeys& keys) {
    return std::string(kCookieName) + "=" + keys.session + "; Path=/; HttpOnly; SameSite=Strict";
}

GateVerdict checkGate(const GateRequest& request, const GateKeys& keys) {
    if (keys.key.empty() || keys.session.empty() || keys.name.empty()) return GateVerdict::refuse;
    const std::string_view name = nameOnPort(request.host, keys.port);
    // A page served under any other name could be a site whose name was
    // pointed at this machine: it must not reach the archive. The loopback's
    // own names are told where to go instead.
    if (!equalsIgnoringAsciiCase(name, keys.name)) {
        const bool loopback = name == "127.0.0.1" || equalsIgnoringAsciiCase(name, "localhost");
        return loopback ? GateVerdict::loopbackName : GateVerdict::refuse;
    }
    const bool reading = request.method == "GET" || request.method == "HEAD";
    // A changing request must come from the page itself, not from a form or
    // script on another site that the browser would send the cookie along for.
    if (!reading && !(request.origin.starts_with("http://") &&
                      equalsIgnoringAsciiCase(request.origin.substr(7), request.host))) {
        return GateVerdict::refuse;
    }
    if (hasCookie(request.cookie, kCookieName, keys.session)) return GateVerdict::pass;
    if (request.method == "GET" && request.path == "/" && sameSecret(request.token, keys.key)) {
        return keys.keyUsed ? GateVerdict::keyUsed : GateVerdict::grantCookie;
    }
    return GateVerdict::refuse;
}

GateVerdict Gate::admit(const GateRequest& request) {
    const std::lock_guard lock(mutex_);
    const GateVerdict verdict = checkGate(request, keys_);
    if (verdict == GateVerdict::grantCookie) keys_.keyUsed = true;
    return verdict;
}

}  // namespace quill::web
