#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/tool_runner.h"

namespace quill::e2e {

// The resource bytes every end-to-end archive shares: 4096 bytes that differ
// from their neighbours, so a wrong offset shows.
std::string sampleResource(std::size_t size = 4096);

// Writes LIST and RES beside each other under the given stem (e.g. "game/SOUNDS").
void writeArchive(const fs::path& root, const std::string& stem, const std::string& list, const std::string& resource);

// The bytes of the resource from offset on, length of them.
std::string slice(const std::string& resource, std::size_t offset, std::size_t length);

inline const std::string kBanner = "Quillfane decruncher by the Quillfane archive crew, V1.0, 2011-10-02.\n";
inline const std::string kUsage = "usage: quillfane.exe list_path.rd [-dig2wav]\n\n";

// A sound's companion: header and samples unscrambled, written out
// independently of the tool's own code.
std::string expectedWav(const std::string& samples);

// One progress line as the tool prints it.
std::string progress(int position, int count, const std::string& name);

// A scratch directory, the shared resource bytes and the host's rules.
class ArchiveRun : public ::testing::Test {
protected:
    ScratchDirectory scratch;
    const std::string resource = sampleResource();
    const HostRules& rules = hostRules();

    fs::path at(const std::string& relative) const { return scratch.path() / relative; }
    ToolResult run(const std::vector<std::string>& arguments) const { return runTool(scratch.path(), arguments); }
    std::string console(const std::string& text) const { return rules.consoleText(text); }
};

}  // namespace quill::e2e
