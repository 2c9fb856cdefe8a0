// Who gets through the workbench's gate, decided from headers alone.
#include <gtest/gtest.h>

#include "web/gate.h"
#include "web/launcher.h"

namespace quill::web {
namespace {

const std::string kKey = "00112233445566778899aabbccddeeff";
const std::string kSession = "ffeeddccbbaa99887766554433221100";
const GateKeys kKeys{"quillpack-0123abcd.localhost", 4321, kKey, kSession, false};
const std::string kOwn = "quillpack-0123abcd.localhost:4321";
const std::string kOrigin = "http://" + kOwn;
const std::string kCookie = "quillpack=" + kSession;

// Owns its text: a GateRequest only views it.
struct GateCase {
    const char* what;
    std::string method, path, host, origin, cookie, token;
    GateVerdict verdict;
};

void expectVerdicts(std::initializer_list<GateCase> cases, const GateKeys& keys) {
    for (const GateCase& c : cases) {
        EXPECT_EQ(checkGate({c.method, c.path, c.host, c.origin, c.cookie, c.token}, keys), c.verdict) << c.what;
    }
}

TEST(Gate, LetsThroughOnlyThePagesOwnRequests) {
    expectVerdicts({
        {"the cookie", "GET", "/api/archive", kOwn, "", kCookie, "", GateVerdict::pass},
        {"the cookie among others", "GET", "/", kOwn, "", "a=b; " + kCookie + "; c=d", "", GateVerdict::pass},
        {"the cookie after a planted one of its name", "GET", "/", kOwn, "", "quillpack=x; " + kCookie, "", GateVerdict::pass},
        {"the name in capitals", "HEAD", "/", "QUILLPACK-0123ABCD.LOCALHOST:4321", "", kCookie, "", GateVerdict::pass},
        {"a POST from the page", "POST", "/api/save", kOwn, kOrigin, kCookie, "", GateVerdict::pass},
        {"the printed address", "GET", "/", kOwn, "", "", kKey, GateVerdict::grantCookie},
        {"no key", "GET", "/", kOwn, "", "", "", GateVerdict::refuse},
        {"a key one digit short", "GET", "/", kOwn, "", "", kKey.substr(1), GateVerdict::refuse},
        {"the key as the cookie", "GET", "/api/archive", kOwn, "", "quillpack=" + kKey, "", GateVerdict::refuse},
        {"the cookie's secret as the key", "GET", "/", kOwn, "", "", kSession, GateVerdict::refuse},
        {"a wrong cookie", "GET", "/", kOwn, "", "quillpack=ffeeddccbbaa99887766554433221101", "", GateVerdict::refuse},
        {"the secret under another name", "GET", "/", kOwn, "", "quillpack4321=" + kSession, "", GateVerdict::refuse},
        {"the key in the address, not at /", "GET", "/api/archive", kOwn, "", "", kKey, GateVerdict::refuse},
        {"the key in the address of a POST", "POST", "/", kOwn, kOrigin, "", kKey, GateVerdict::refuse},
        {"a foreign Host", "GET", "/", "attacker.example:4321", "", kCookie, "", GateVerdict::refuse},
        {"a foreign Host and the key", "GET", "/", "attacker.example:4321", "", "", kKey, GateVerdict::refuse},
        {"another name under localhost", "GET", "/", "quillpack-0123abce.localhost:4321", "", kCookie, "", GateVerdict::refuse},
        {"our name under another name", "GET", "/", "x.quillpack-0123abcd.localhost:4321", "", kCookie, "", GateVerdict::refuse},
        {"a Host without the port", "GET", "/", "quillpack-0123abcd.localhost", "", kCookie, "", GateVerdict::refuse},
        {"a Host on another port", "GET", "/", "quillpack-0123abcd.localhost:43210", "", kCookie, "", GateVerdict::refuse},
        {"a POST from another site", "POST", "/api/save", kOwn, "http://attacker.example", kCookie, "", GateVerdict::refuse},
        {"a POST from our name on another port", "POST", "/api/close", kOwn, "http://quillpack-0123abcd.localhost:4322", kCookie, "", GateVerdict::refuse},
        {"a POST with no Origin", "POST", "/api/save", kOwn, "", kCookie, "", GateVerdict::refuse},
        {"a DELETE from another site", "DELETE", "/", kOwn, "null", kCookie, "", GateVerdict::refuse},
    }, kKeys);
}

TEST(Gate, SendsTheLoopbacksOwnNamesToThePrintedAddress) {
    expectVerdicts({
        {"127.0.0.1 with the key", "GET", "/", "127.0.0.1:4321", "", "", kKey, GateVerdict::loopbackName},
        {"127.0.0.1 with the cookie", "GET", "/api/archive", "127.0.0.1:4321", "", kCookie, "", GateVerdict::loopbackName},
        {"localhost", "GET", "/", "LocalHost:4321", "", kCookie, "", GateVerdict::loopbackName},
        {"127.0.0.1 on another port", "GET", "/", "127.0.0.1:4322", "", kCookie, "", GateVerdict::refuse},
    }, kKeys);
}

TEST(Gate, TheKeyOpensOnce) {
    GateKeys used = kKeys;
    used.keyUsed = true;
    expectVerdicts({
        {"the key again", "GET", "/", kOwn, "", "", kKey, GateVerdict::keyUsed},
        {"the key again, with the cookie", "GET", "/", kOwn, "", kCookie, kKey, GateVerdict::pass},
        {"a wrong key", "GET", "/", kOwn, "", "", kSession, GateVerdict::refuse},
    }, used);

    Gate gate(kKeys);
    const GateRequest withKey{"GET", "/", kOwn, "", "", kKey};
    EXPECT_EQ(gate.admit({"GET", "/", "127.0.0.1:4321", "", "", kKey}), GateVerdict::loopbackName) << "spends nothing";
    EXPECT_EQ(gate.admit(withKey), GateVerdict::grantCookie);
    EXPECT_EQ(gate.admit(withKey), GateVerdict::keyUsed);
    EXPECT_EQ(gate.admit({"GET", "/api/archive", kOwn, "", kCookie, ""}), GateVerdict::pass);
}

TEST(Gate, RefusesEverythingWithoutItsSecrets) {
    for (std::string GateKeys::*missing : {&GateKeys::key, &GateKeys::session, &GateKeys::name}) {
        GateKeys keys = kKeys;
        (keys.*missing).clear();
        EXPECT_EQ(checkGate({"GET", "/", kOwn, "", "quillpack=", ""}, keys), GateVerdict::refuse);
        EXPECT_EQ(checkGate({"GET", "/", kOwn, "", "", ""}, keys), GateVerdict::refuse);
        EXPECT_EQ(checkGate({"GET", "/", ":4321", "", "", ""}, keys), GateVerdict::refuse);
    }
}

TEST(Gate, GrantsACookieScriptsCannotReadNorOtherSitesSend) {
    EXPECT_EQ(grantedCookie(kKeys), kCookie + "; Path=/; HttpOnly; SameSite=Strict");
}

TEST(Launcher, SendsTheBrowserOnToTheAddress) {
    const std::string address = "http://quillpack-0123abcd.localhost:4321/?token=" + kKey;
    const std::string page = launcherPage(address);
    EXPECT_NE(page.find("<meta http-equiv=\"refresh\" content=\"0;url=" + address + "\">"), std::string::npos) << page;
    EXPECT_NE(page.find("<a href=\"" + address + "\">"), std::string::npos) << page;
}

}  // namespace
}  // namespace quill::web
