#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "host/console.h"
#include "host/host.h"
#include "web/server.h"
#include "web/snapshot.h"

// What the workbench's requests do, apart from HTTP: the archive as last
// loaded, its records' bytes, the name rules, and Save. Safe to call from the
// server's threads at once.
namespace quill::web {

struct Reply {
    int status = 200;
    std::string type = "application/json";
    std::string body;
    std::string fileName;  // set: offered as a download under this name
};

class WorkbenchState {
public:
    WorkbenchState(Host& host, const ServeOptions& options) : host_(host), options_(options) {}

    // Loads the archive afresh, saying on err why it cannot be.
    pack::PackStatus load(Console& err);
    // The same for the page (its first look and its Reload): the archive as JSON.
    Reply reload();
    // A record's bytes (at most `most` of them), or its sound as a .WAV;
    // refused when the page's version is not the archive last loaded.
    Reply record(std::string_view number, bool wav, std::string_view version, std::size_t most, bool download);
    // Why a typed name cannot be a new record's name (record empty) or the
    // new name of a record (its number, from 1), judged with the page's staged
    // changes (Save's lines, no bytes needed) against the archive as it will
    // be; empty when it can. A name an unpack would stop at, for a directory
    // that is not there, is taken (as add and rename take it) with a note.
    Reply nameCheck(std::string_view typed, std::string_view record, std::string_view changes);
    // The archive's stamp on disk now (diskStamp), for the page to compare
    // with the one it loaded.
    Reply stamp();
    // Every staged change in one commit, unless the archive on disk is no
    // longer the one the page loaded.
    Reply save(std::string_view version, std::string_view changes, const std::map<std::string, std::string_view>& parts);
    // The archive's history as quillpack history shows it, newest first, with
    // the versions Undo and Redo would go to (workbench_history.cpp).
    Reply history();
    // Undo, redo or restore (kind; number: the version restore goes to),
    // through quillpack's own command, under Save's lock, unless the archive
    // on disk is no longer the one the page loaded.
    Reply moveTo(std::string_view version, std::string_view kind, std::string_view number);
    // What quillpack status --json says of data/.
    Reply dataStatus();

private:
    std::shared_ptr<const Snapshot> current();

    Host& host_;
    const ServeOptions options_;
    // The host is used by one request at a time; a lock taken while another
    // request of this process holds one could release it on POSIX systems.
    std::mutex disk_;
    std::mutex snapshotGuard_;
    std::shared_ptr<const Snapshot> snapshot_;
};

}  // namespace quill::web
