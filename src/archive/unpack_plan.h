#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/host.h"
#include "unpack/unpack.h"

// What an unpack does with each record, in list order, worked out from the
// entry table, the resource size and the host's name rules without writing
// anything. The unpacker executes it; quillpack prints it and groups by it.
namespace quill {

enum class StepKind {
    write,         // the entry file, and with -dig2wav a sound's companion
    invalidEntry,  // outside the resource: the unpack stops with status 5
    refusedName,   // a name that leaves the data directory or names a device: status 6
};

// Where a later step lands on a file this step wrote.
struct Replacement {
    int step = -1;             // -1: nothing later writes there
    bool byCompanion = false;  // the later step's .WAV, not its entry file
};

struct UnpackStep {
    StepKind kind = StepKind::write;
    std::string stopReason;      // for invalidEntry
    std::string file;            // the entry file's canonical path under the data directory
    std::string companion;       // a sound's .WAV, canonical; empty when there is none
    Replacement fileReplacedBy;  // which later step overwrites the entry file
    Replacement companionReplacedBy;
    std::vector<int> overlaps;   // other records sharing some of its bytes
};

struct UnpackPlan {
    bool withCompanions = false;
    std::vector<UnpackStep> steps;      // one per record; those past stopsAt are never taken
    int stopsAt = -1;                   // the step an unpack stops on; -1 when it completes
    int stopStatus = 0;                 // the unpacker's status there (5 or 6)
    std::int64_t resourceSize = 0;
    std::int64_t coveredBytes = 0;      // bytes of the resource some record points at
    std::int64_t gapBytes = 0;          // bytes no record points at
    std::int64_t overlappingBytes = 0;  // bytes two or more records point at
    std::map<std::string, Replacement> finalWriters;  // by canonical path: whose write stands there at the end

    bool completes() const { return stopsAt < 0; }
    // Steps an unpack actually takes to the end (the stopping one excluded).
    int stepsTaken() const { return completes() ? static_cast<int>(steps.size()) : stopsAt; }
};

// withCompanions: the plan of an unpack with -dig2wav. resourceSize is one the
// unpacker loads (1 to 2^31-1 bytes).
UnpackPlan planUnpack(const EntryTable& table, std::int64_t resourceSize, NameRules rules, bool withCompanions);

// The step whose write stands last at a canonical path after the unpack, and
// whether that write is a companion; step -1 when nothing is written there.
Replacement finalWriter(const UnpackPlan& plan, const std::string& canonicalPath);

}  // namespace quill
