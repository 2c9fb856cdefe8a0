#pragma once

#include <span>
#include <string_view>

// The page's files (web/), built into the executable: nothing on disk is served.
namespace quill::web {

struct Asset {
    std::string_view path;  // as requested: "/", "/app.js"
    std::string_view type;  // Content-Type
    std::string_view bytes;
};

// Every asset; generated at build time from web/.
std::span<const Asset> webAssets();

}  // namespace quill::web
