#pragma once

#include <string>

#include "e2e/tool_runner.h"

namespace quill::e2e {

// The resource bytes every end-to-end archive shares: 4096 bytes that differ
// from their neighbours, so a wrong offset shows.
std::string sampleResource(std::size_t size = 4096);

// Writes LIST and RES beside each other under the given stem (e.g. "game/SOUNDS").
void writeArchive(const fs::path& root, const std::string& stem, const std::string& list, const std::string& resource);

// The bytes of the resource from offset on, length of them.
std::string slice(const std::string& resource, std::size_t offset, std::size_t length);

}  // namespace quill::e2e
