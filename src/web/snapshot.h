#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "pack/archive.h"

// The archive as the page saw it: loaded once per Reload, answered from
// memory, and named by a version that changes whenever the archive on disk does.
namespace quill::web {

enum class RecordKind { sound, text, data };

struct Snapshot {
    pack::Archive archive;
    std::string version;
    std::vector<RecordKind> kinds;  // one per record
};

// What identifies the archive on disk as it was read: the list's bytes (as far
// as records go), its time and the resource's size. Another update changes at
// least one of them.
std::string archiveVersion(const pack::Archive& archive);

// A sound by its name (as an unpack with -dig2wav makes a .WAV of it); text
// when its first bytes are printable ASCII and line ends; data otherwise.
RecordKind recordKind(const std::string& name, std::span<const std::byte> bytes);

// Fills version and kinds for a loaded archive.
void describeSnapshot(Snapshot& snapshot);

// The page's view of the archive: every record with what an unpack does with
// it (the plan `quillpack list` prints), and the summary.
std::string archiveJson(const Host& host, const Snapshot& snapshot, bool readOnly);

}  // namespace quill::web
