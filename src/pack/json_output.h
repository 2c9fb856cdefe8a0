#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "host/console.h"
#include "pack/pack.h"

// quillpack's --json output: one schema for list and status, documented in
// docs/reference.md ("JSON output"). Its version goes up only when a field
// changes meaning or goes; new fields may appear without it.
namespace quill::pack {

using Json = nlohmann::ordered_json;

inline constexpr int kJsonSchemaVersion = 1;

// Names and paths are bytes: "name" carries them as text (as UTF-8 when they
// are valid UTF-8, otherwise each byte as its Windows-1252 character, the
// game's own code page) and "nameHex" as the exact bytes, two uppercase hex
// digits each.
std::string textOfBytes(std::string_view bytes);
std::string hexOfBytes(std::string_view bytes);
void putBytes(Json& object, const std::string& key, std::string_view bytes);

// A host path as the JSON carries it: '/' between levels on Linux, as the
// user writes it.
void putPath(Json& object, const std::string& key, const Host& host, const std::string& path);

// The document's first fields: what it is and which schema it follows.
Json jsonDocument(std::string_view kind);

// Prints the document, every character past ASCII as \uXXXX so that no
// terminal takes a byte of it for a command; status 5 when it did not arrive.
PackStatus printJson(Console& out, Console& err, const Json& document);

}  // namespace quill::pack
