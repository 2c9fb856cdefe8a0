# Turns the page's files into a C++ source holding them, for the workbench to
# serve from memory. Run as a script:
#   cmake -DOUTPUT=assets.cpp -DROOT=web -DFILES="index.html;app.js" -P web_assets.cmake
set(types_html "text/html; charset=utf-8")
set(types_css "text/css; charset=utf-8")
set(types_js "text/javascript; charset=utf-8")
set(types_svg "image/svg+xml")
set(types_png "image/png")

set(arrays "")
set(table "")
set(index 0)
foreach(file IN LISTS FILES)
  get_filename_component(extension "${file}" LAST_EXT)
  string(SUBSTRING "${extension}" 1 -1 extension)
  if(NOT DEFINED types_${extension})
    message(FATAL_ERROR "web/${file}: no Content-Type known for .${extension}")
  endif()
  file(READ "${ROOT}/${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND arrays "const char kAsset${index}[] = {${bytes}'\\0'};\n")
  set(path "/${file}")
  if(file STREQUAL "index.html")
    set(path "/")
  endif()
  string(APPEND table "    {\"${path}\", \"${types_${extension}}\", {kAsset${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT}.new" "// Generated from web/ by cmake/web_assets.cmake; not to be edited.
#include \"web/assets.h\"

namespace quill::web {
namespace {

${arrays}
const Asset kAssets[] = {
${table}};

}  // namespace

std::span<const Asset> webAssets() { return kAssets; }

}  // namespace quill::web
")
# Left alone when unchanged, so that nothing recompiles for nothing.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
