#pragma once

#include <cstdint>
#include <string>

#include "host/console.h"
#include "host/host.h"

// One line on a terminal for long work: records and bytes done of the total,
// the rate and the time left, shown once the work has taken about a second,
// rewritten in place and cleared when done. Nothing when the output is not a
// terminal or the user asked for quiet (-q).
namespace quill::pack {

// Where progress lines go for this command; null (the default): nowhere.
void setProgressConsole(Console* console);

class Progress {
public:
    // totalBytes -1: not known beforehand (files read one by one); no time left then.
    Progress(Host& host, std::string what, std::int64_t totalBytes, std::int64_t totalRecords);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void advance(std::int64_t bytes, std::int64_t records = 0);
    // Takes the line away before other text is printed; the next advance shows it again.
    void clear();
    // From here until it ends (or finish), the bytes files are read in (progressRead) count on this line.
    void countReads();
    // Done: the line cleared, and reads no longer counted on it.
    void finish();
    // The line as it would show now (for tests).
    std::string line() const;

private:
    Host& host_;
    Console* console_;
    std::string what_;
    std::int64_t totalBytes_;
    std::int64_t totalRecords_;
    std::int64_t bytes_ = 0;
    std::int64_t records_ = 0;
    std::int64_t started_;
    std::int64_t lastShown_ = -1;
    std::size_t shownWidth_ = 0;
    bool countsReads_ = false;
    Progress* outer_ = nullptr;  // the line that counted reads before this one
};

// Bytes of a file read, for the line of a Progress that counts reads on this thread.
void progressRead(std::int64_t bytes);

}  // namespace quill::pack
