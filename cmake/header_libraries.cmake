# Header-only libraries from Debian's packages (libxxhash-dev,
# nlohmann-json3-dev). Their headers are copied into the build directory and
# used from there, so a cross build (MinGW) takes them without seeing the rest
# of the host's /usr/include.
function(quill_header_library target)
  cmake_parse_arguments(ARG "" "PACKAGE" "FILES" ${ARGN})
  set(staged ${CMAKE_BINARY_DIR}/header-libraries/${target})
  foreach(file IN LISTS ARG_FILES)
    set(found "")
    foreach(root IN ITEMS /usr/include /usr/local/include)
      if(EXISTS ${root}/${file})
        set(found ${root}/${file})
        break()
      endif()
    endforeach()
    if(NOT found)
      message(FATAL_ERROR "${file} is missing: install Debian's ${ARG_PACKAGE} "
                          "(apt-get install ${ARG_PACKAGE}; scripts/build.sh does it)")
    endif()
    if(IS_DIRECTORY ${found})
      file(COPY ${found} DESTINATION ${staged})
    else()
      get_filename_component(parent ${file} DIRECTORY)
      file(COPY ${found} DESTINATION ${staged}/${parent})
    endif()
  endforeach()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${staged})
endfunction()

quill_header_library(quill_xxhash PACKAGE libxxhash-dev FILES xxhash.h)
# Inlined: no library to link, on either system.
target_compile_definitions(quill_xxhash INTERFACE XXH_INLINE_ALL)
quill_header_library(quill_json PACKAGE nlohmann-json3-dev FILES nlohmann)
