#pragma once

#include <string>
#include <vector>

#include "host/console.h"
#include "host/host.h"
#include "pack/archive_edit.h"
#include "pack/pack.h"

// quillpack create: a new archive from the files under a directory.
namespace quill::pack {

struct CreateOptions {
    std::string directory;  // empty: the data directory beside the new list
    bool wav2dig = false;
    bool dryRun = false;
};

// Writes LIST.RD and its resource from every file under the directory, each a
// record named by its path below it, in byte order of those names. Refuses an
// existing list or resource (status 1) and, naming every one, files that cannot
// be records (status 4); writes nothing then, nor on failure or Ctrl+C.
PackStatus createArchive(Host& host, Console& out, Console& err, const std::string& listPath,
                         const CreateOptions& options);

// Where a new record comes from.
struct RecordSource {
    std::string path;        // the file read, in the host's path form
    bool converted = false;  // a .WAV scrambled into a .DIG (-wav2dig)
    bool companion = false;  // a .WAV beside it that an unpack with -dig2wav writes as it is
};

// Every file under a directory gathered as new records: `edit.added` in list
// order with `sources` beside it, and every file that cannot be a record named
// in `problems`.
struct GatheredFiles {
    ArchiveEdit edit;
    std::vector<RecordSource> sources;
    std::vector<std::string> problems;
    std::vector<std::string> emptyDirectories;  // below the directory, holding no file at any depth
    int loneWavs = 0;                           // .WAV files taken as they are (no .DIG beside, no -wav2dig)
};

enum class GatherResult { gathered, interrupted };

GatherResult gatherFiles(Host& host, const std::string& directory, bool wav2dig, GatheredFiles& gathered);

}  // namespace quill::pack
