// The workbench's floor: the same HTTP library as `quillpack open`, set up
// the same way, doing for each request only the disk work its answer cannot
// do without, and answering with bytes captured from the workbench itself
// (bench/workbench.py captures them), so both send the same sizes.
//
// usage: floor_server LIST RESOURCE DATA CAPTURED PORT SECRET
//   CAPTURED/index: "PATH TYPE FILE" lines, FILE under CAPTURED.
//   It answers at 127.0.0.1:PORT; GET /?token=... gives the cookie
//   "quillpack=SECRET", every other request must carry it.
//
// The work, per request:
//   the page and its scripts: the captured bytes, held in memory (the tool
//     serves them from its executable);
//   /api/archive: the list read, the resource measured, and the first 4 KiB
//     of each record read (the page shows each record's kind: sound, text or
//     data, judged from those bytes);
//   /api/history: the list and its .history file read;
//   /api/status: each record's range and its file in DATA read once and
//     compared (what quillpack status has to look at);
//   /api/stamp: the list and the resource measured;
//   POST /api/save of "replace N f0 raw": the part's bytes appended to the
//     resource and synced, the list written beside with record N moved to
//     them, synced, renamed over the list, the directory synced. Refreshing
//     data/ and the history are left out: the floor stays below the tool.
//
// Its sockets send at once (TCP_NODELAY): with httplib's default, an answer
// written as a head and then a body of less than a segment waits for the
// client's delayed acknowledgement of the head, up to 40 ms on Linux, on
// about half of a page load's requests. That wait is no work an answer
// needs, so the floor does without it.
#define CPPHTTPLIB_NUMERIC_HOST_ONLY
#define CPPHTTPLIB_TCP_NODELAY true
#define CPPHTTPLIB_THREAD_POOL_COUNT 64
#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "posix_io.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Record {
    long length = 0;
    long offset = 0;
    std::string name;
};

struct Captured {
    std::string type;
    std::string body;
};

struct Paths {
    std::string list;
    std::string resource;
    std::string data;
};

bool readFile(const std::string& path, std::string& into) {
    const int file = open(path.c_str(), O_RDONLY);
    struct stat info {};
    if (file < 0 || fstat(file, &info) != 0) return false;
    into.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (filled < into.size()) {
        const ssize_t got = read(file, into.data() + filled, into.size() - filled);
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    close(file);
    return filled == into.size();
}

std::vector<Record> recordsOf(const std::string& list) {
    std::vector<Record> records;
    std::istringstream lines(list);
    Record record;
    while (lines >> record.length >> record.offset >> record.name) records.push_back(record);
    return records;
}

bool readList(const Paths& paths, std::vector<Record>& records) {
    std::string list;
    if (!readFile(paths.list, list)) return false;
    records = recordsOf(list);
    return true;
}

bool archiveWork(const Paths& paths) {
    std::vector<Record> records;
    struct stat info {};
    if (!readList(paths, records) || stat(paths.resource.c_str(), &info) != 0) return false;
    const int resource = open(paths.resource.c_str(), O_RDONLY);
    if (resource < 0) return false;
    char probe[4096];
    bool read = true;
    for (const Record& record : records) {
        const auto size = std::min(sizeof probe, static_cast<std::size_t>(record.length));
        read = read && readAt(resource, probe, size, record.offset);
    }
    close(resource);
    return read;
}

bool historyWork(const Paths& paths) {
    std::vector<Record> records;
    std::string history;
    if (!readList(paths, records)) return false;
    struct stat info {};
    return stat((paths.list + ".history").c_str(), &info) != 0 || readFile(paths.list + ".history", history);
}

bool statusWork(const Paths& paths) {
    std::vector<Record> records;
    if (!readList(paths, records)) return false;
    const int resource = open(paths.resource.c_str(), O_RDONLY);
    if (resource < 0) return false;
    std::vector<char> range;
    std::vector<char> file;
    bool done = true;
    for (const Record& record : records) {
        const auto size = static_cast<std::size_t>(record.length);
        if (range.size() < size) range.resize(size);
        if (!readAt(resource, range.data(), size, record.offset)) done = false;
        const int in = open((paths.data + "/" + record.name).c_str(), O_RDONLY);
        struct stat info {};
        if (in < 0 || fstat(in, &info) != 0) {
            done = false;
            continue;
        }
        const auto bytes = static_cast<std::size_t>(info.st_size);
        if (file.size() < bytes) file.resize(bytes);
        if (!readAt(in, file.data(), bytes, 0)) done = false;
        close(in);
        // The verdict is not sent (the answer is the captured one), only made.
        volatile bool same = bytes == size && std::memcmp(file.data(), range.data(), size) == 0;
        (void)same;
    }
    close(resource);
    return done;
}

bool stampWork(const Paths& paths) {
    struct stat list {};
    struct stat resource {};
    return stat(paths.list.c_str(), &list) == 0 && stat(paths.resource.c_str(), &resource) == 0;
}

bool syncDirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    const int handle = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (handle < 0) return false;
    const bool synced = fsync(handle) == 0;
    close(handle);
    return synced;
}

// Record `number` (from 1) replaced by `bytes`, appended to the resource.
bool saveWork(const Paths& paths, long number, const std::string& bytes) {
    std::vector<Record> records;
    if (!readList(paths, records) || number < 1 || number > static_cast<long>(records.size())) return false;
    const int resource = open(paths.resource.c_str(), O_WRONLY | O_APPEND);
    struct stat info {};
    if (resource < 0 || fstat(resource, &info) != 0) return false;
    const bool appended = writeWhole(resource, bytes.data(), bytes.size()) && fdatasync(resource) == 0;
    close(resource);
    if (!appended) return false;
    Record& changed = records[static_cast<std::size_t>(number - 1)];
    changed.offset = info.st_size;
    changed.length = static_cast<long>(bytes.size());
    std::string list;
    for (const Record& record : records) {
        list += std::to_string(record.length) + " " + std::to_string(record.offset) + " " + record.name + "\n";
    }
    const std::string staged = paths.list + ".new";
    const int out = open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return false;
    const bool written = writeWhole(out, list.data(), list.size()) && fsync(out) == 0;
    close(out);
    return written && std::rename(staged.c_str(), paths.list.c_str()) == 0 && syncDirectoryOf(paths.list);
}

bool loadCaptured(const std::string& directory, std::map<std::string, Captured>& captured) {
    std::ifstream index(directory + "/index");
    std::string path;
    std::string type;
    std::string file;
    while (index >> path >> type >> file) {
        if (!readFile(directory + "/" + file, captured[path].body)) return false;
        captured[path].type = type;
    }
    return !captured.empty();
}

long replacedRecord(const std::string& changes) {
    long number = 0;
    char part[16];
    char form[8];
    return std::sscanf(changes.c_str(), "replace %ld %15s %7s", &number, part, form) == 3 ? number : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: floor_server LIST RESOURCE DATA CAPTURED PORT SECRET\n");
        return 1;
    }
    const Paths paths{argv[1], argv[2], argv[3]};
    std::map<std::string, Captured> captured;
    if (!loadCaptured(argv[4], captured)) {
        std::fprintf(stderr, "floor_server: no captured answers in %s\n", argv[4]);
        return 2;
    }
    const std::string cookie = std::string("quillpack=") + argv[6];
    std::mutex disk;
    httplib::Server server;
    server.set_payload_max_length(128u << 20);
    server.set_keep_alive_timeout(1);
    server.set_pre_routing_handler([&cookie](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Cookie").find(cookie) != std::string::npos) return httplib::Server::HandlerResponse::Unhandled;
        if (req.path == "/" && req.has_param("token")) {
            res.set_header("Set-Cookie", cookie + "; Path=/; HttpOnly; SameSite=Strict");
            res.set_content("<!DOCTYPE html>\n<p>Opening</p>\n", "text/html");
        } else {
            res.status = 403;
        }
        return httplib::Server::HandlerResponse::Handled;
    });
    const auto answer = [&captured](const std::string& path, bool worked, httplib::Response& res) {
        const auto found = captured.find(path);
        if (!worked || found == captured.end()) {
            res.status = 500;
            return;
        }
        res.set_content(found->second.body, found->second.type.c_str());
    };
    // Pairs, not structured bindings: clang before 16 cannot capture a binding in a lambda.
    for (const auto& served : captured) {
        if (served.first.rfind("/api/", 0) == 0) continue;
        const Captured& reply = served.second;
        server.Get(served.first, [&reply](const httplib::Request&, httplib::Response& res) {
            res.set_content(reply.body.data(), reply.body.size(), reply.type.c_str());
        });
    }
    const std::map<std::string, bool (*)(const Paths&)> work = {
        {"/api/archive", archiveWork}, {"/api/history", historyWork}, {"/api/status", statusWork}, {"/api/stamp", stampWork}};
    for (const auto& route : work) {
        const std::string path = route.first;
        const auto job = route.second;
        server.Get(path, [&, path, job](const httplib::Request&, httplib::Response& res) {
            const std::lock_guard guard(disk);
            answer(path, job(paths), res);
        });
    }
    server.Post("/api/save", [&](const httplib::Request& req, httplib::Response& res) {
        const std::lock_guard guard(disk);
        const bool saved = saveWork(paths, replacedRecord(req.get_file_value("changes").content), req.get_file_value("f0").content);
        res.status = saved ? 200 : 500;
        res.set_content(saved ? R"({"ok":true,"changed":false,"status":0,"messages":[]})" : "failed", "application/json");
    });
    server.Post("/api/close", [&server](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"({"ok":true})", "application/json");
        server.stop();
    });
    if (!server.bind_to_port("127.0.0.1", std::atoi(argv[5]))) {
        std::fprintf(stderr, "floor_server: cannot listen on port %s\n", argv[5]);
        return 3;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    return server.listen_after_bind() ? 0 : 4;
}
