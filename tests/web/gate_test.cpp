// Who gets through the workbench's gate, decided from headers alone.
#include <gtest/gtest.h>

#include "web/gate.h"

namespace quill::web {
namespace {

const GateKeys kKeys{"00112233445566778899aabbccddeeff", 4321};
const std::string kCookie = "quillpack4321=00112233445566778899aabbccddeeff";

// Owns its text: a GateRequest only views it.
struct GateCase {
    const char* what;
    std::string method, path, host, origin, cookie, token;
    GateVerdict verdict;
};

TEST(Gate, LetsThroughOnlyThePagesOwnRequests) {
    const GateCase cases[] = {
        {"the cookie", "GET", "/api/archive", "127.0.0.1:4321", "", kCookie, "", GateVerdict::pass},
        {"the cookie among others", "GET", "/", "localhost:4321", "", "a=b; " + kCookie + "; c=d", "", GateVerdict::pass},
        {"localhost in capitals", "HEAD", "/", "LOCALHOST:4321", "", kCookie, "", GateVerdict::pass},
        {"a POST from the page", "POST", "/api/save", "127.0.0.1:4321", "http://127.0.0.1:4321", kCookie, "", GateVerdict::pass},
        {"the printed address", "GET", "/", "127.0.0.1:4321", "", "", kKeys.token, GateVerdict::grantCookie},
        {"no key", "GET", "/", "127.0.0.1:4321", "", "", "", GateVerdict::refuse},
        {"a key one digit short", "GET", "/", "127.0.0.1:4321", "", "", kKeys.token.substr(1), GateVerdict::refuse},
        {"a wrong cookie", "GET", "/", "127.0.0.1:4321", "", "quillpack4321=00112233445566778899aabbccddeefe", "", GateVerdict::refuse},
        {"another port's cookie", "GET", "/", "127.0.0.1:4321", "", "quillpack4322=" + kKeys.token, "", GateVerdict::refuse},
        {"the key in the address, not at /", "GET", "/api/archive", "127.0.0.1:4321", "", "", kKeys.token, GateVerdict::refuse},
        {"the key in the address of a POST", "POST", "/", "127.0.0.1:4321", "http://127.0.0.1:4321", "", kKeys.token, GateVerdict::refuse},
        {"a foreign Host", "GET", "/", "attacker.example:4321", "", kCookie, "", GateVerdict::refuse},
        {"a foreign Host and the key", "GET", "/", "attacker.example:4321", "", "", kKeys.token, GateVerdict::refuse},
        {"a Host without the port", "GET", "/", "127.0.0.1", "", kCookie, "", GateVerdict::refuse},
        {"a Host on another port", "GET", "/", "127.0.0.1:43210", "", kCookie, "", GateVerdict::refuse},
        {"a name ending in localhost", "GET", "/", "evil-localhost:4321", "", kCookie, "", GateVerdict::refuse},
        {"a POST from another site", "POST", "/api/save", "127.0.0.1:4321", "http://attacker.example", kCookie, "", GateVerdict::refuse},
        {"a POST with no Origin", "POST", "/api/save", "127.0.0.1:4321", "", kCookie, "", GateVerdict::refuse},
        {"a POST from the other loopback name", "POST", "/api/close", "127.0.0.1:4321", "http://localhost:4321", kCookie, "", GateVerdict::refuse},
        {"a DELETE from another site", "DELETE", "/", "127.0.0.1:4321", "null", kCookie, "", GateVerdict::refuse},
    };
    for (const GateCase& c : cases) {
        EXPECT_EQ(checkGate({c.method, c.path, c.host, c.origin, c.cookie, c.token}, kKeys), c.verdict) << c.what;
    }
}

TEST(Gate, RefusesEverythingWithoutAKey) {
    const GateKeys none{"", 4321};
    EXPECT_EQ(checkGate({"GET", "/", "127.0.0.1:4321", "", "quillpack4321=", ""}, none), GateVerdict::refuse);
    EXPECT_EQ(checkGate({"GET", "/", "127.0.0.1:4321", "", "", ""}, none), GateVerdict::refuse);
}

TEST(Gate, GrantsACookieScriptsCannotReadNorOtherSitesSend) {
    EXPECT_EQ(grantedCookie(kKeys), kCookie + "; Path=/; HttpOnly; SameSite=Strict");
}

}  // namespace
}  // namespace quill::web
