# quillpack open: the workbench. Its server (src/web/) is a layer over the
# core, with cpp-httplib for HTTP; its page (web/) is built into the executable.

file(GLOB_RECURSE QUILL_WEB_FILES RELATIVE ${CMAKE_SOURCE_DIR}/web CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/web/*)
list(SORT QUILL_WEB_FILES)
set(QUILL_WEB_ASSETS ${CMAKE_BINARY_DIR}/generated/web_assets.cpp)
list(TRANSFORM QUILL_WEB_FILES PREPEND ${CMAKE_SOURCE_DIR}/web/ OUTPUT_VARIABLE QUILL_WEB_PATHS)
add_custom_command(
  OUTPUT ${QUILL_WEB_ASSETS}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${QUILL_WEB_ASSETS} -DROOT=${CMAKE_SOURCE_DIR}/web
          "-DFILES=${QUILL_WEB_FILES}" -P ${CMAKE_SOURCE_DIR}/cmake/web_assets.cmake
  DEPENDS ${QUILL_WEB_PATHS} ${CMAKE_SOURCE_DIR}/cmake/web_assets.cmake
  COMMENT "Building the workbench's page into the executable"
  VERBATIM)

if(WIN32)
  set(QUILL_WEB_SYSTEM src/web/system_windows.cpp)
else()
  set(QUILL_WEB_SYSTEM src/web/system_posix.cpp)
endif()
add_library(quillfane_web STATIC
  src/web/workbench.cpp
  src/web/server.cpp
  src/web/workbench_state.cpp
  src/web/workbench_history.cpp
  src/web/staged_changes.cpp
  src/web/snapshot.cpp
  src/web/gate.cpp
  src/web/launcher.cpp
  src/web/page_text.cpp
  ${QUILL_WEB_SYSTEM}
  ${QUILL_WEB_ASSETS})
# Debian's cpp-httplib as one header (scripts/vendor-httplib.sh); its own
# warnings are not ours to fix.
target_include_directories(quillfane_web SYSTEM PRIVATE ${CMAKE_SOURCE_DIR}/third_party/cpp-httplib)
target_link_libraries(quillfane_web PUBLIC quillfane_core)
if(WIN32)
  # httplib needs Vista's sockets (WSAPoll, inet_pton).
  target_compile_definitions(quillfane_web PRIVATE _WIN32_WINNT=0x0600)
  target_link_libraries(quillfane_web PUBLIC ws2_32 bcrypt shell32)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(quillfane_web PUBLIC Threads::Threads)
endif()
# quillpack's entry point hands the workbench to its command line; the core
# and the unpacker never link it (CMakeLists.txt links it into quillpack).
