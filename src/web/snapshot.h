#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "pack/archive.h"
#include "pack/disk_stop.h"

// The archive as the page saw it: loaded once per Reload, answered from
// memory, and named by a version that changes whenever the archive on disk does.
namespace quill::web {

enum class RecordKind { sound, text, data };

struct Snapshot {
    pack::Archive archive;
    std::string version;
    std::vector<RecordKind> kinds;  // one per record
    pack::DiskStop disk;            // a directory an unpack stops at, as list names it
    std::string diskText;           // and list's words for it
    std::string stamp;              // diskStamp when it was loaded
};

// What identifies the archive on disk as it was read: the list's bytes (as far
// as records go), its time and the resource's size. Another update changes at
// least one of them.
std::string archiveVersion(const pack::Archive& archive);

// The times of the list and the resource on disk: cheap to read every few
// seconds, and changed by any update, so the page can tell the archive changed
// before it tries to Save. Empty when either cannot be read.
std::string diskStamp(Host& host, const pack::Archive& archive);

// A sound by its name (as an unpack with -dig2wav makes a .WAV of it); text
// when its first bytes are printable ASCII and line ends; data otherwise.
RecordKind recordKind(const std::string& name, std::span<const std::byte> bytes);

// Fills version, kinds, the directory an unpack stops at and the stamp for a loaded archive.
void describeSnapshot(Host& host, Snapshot& snapshot);

// The page's view of the archive: every record with what an unpack does with
// it (the plan `quillpack list` prints), and the summary.
std::string archiveJson(const Host& host, const Snapshot& snapshot, bool readOnly);

}  // namespace quill::web
