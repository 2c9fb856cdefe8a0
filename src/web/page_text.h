#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// What the page is sent: JSON (nlohmann's), its strings always UTF-8.
namespace quill::web {

using Json = nlohmann::ordered_json;

// Text for the page: bytes that are not UTF-8 text, and control bytes, show
// as the four characters \xHH, as quillpack shows control bytes on a terminal.
std::string pageText(std::string_view bytes);

// The compact text of a reply.
inline std::string jsonBody(const Json& json) { return json.dump(); }

}  // namespace quill::web
