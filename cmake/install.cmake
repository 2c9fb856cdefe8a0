# What `cmake --install` puts where, and the Windows zip (`--target package`).
include(GNUInstallDirs)

if(WIN32)
  # A zip a player unpacks anywhere: the programs and their papers side by side.
  install(TARGETS quillfane quillpack RUNTIME DESTINATION .)

  # Notepad and friends want CR LF; the repository keeps LF. The zip's
  # README.txt is written for a Windows user, not the repository's README.md.
  foreach(doc packaging/windows/README.txt:README.txt LICENSE:LICENSE.txt)
    string(REPLACE ":" ";" doc "${doc}")
    list(GET doc 0 source)
    list(GET doc 1 target)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${target}
      COMMAND ${CMAKE_COMMAND} -DFROM=${PROJECT_SOURCE_DIR}/${source} -DTO=${PROJECT_BINARY_DIR}/${target}
              -P ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
      DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
      COMMENT "Writing ${target} with CR LF line ends")
    list(APPEND QUILL_WINDOWS_DOCS ${PROJECT_BINARY_DIR}/${target})
  endforeach()
  add_custom_target(windows_docs ALL DEPENDS ${QUILL_WINDOWS_DOCS})
  install(FILES ${QUILL_WINDOWS_DOCS} DESTINATION .)
  # The demo archive, to try the tools on (README.txt starts with it).
  install(FILES demo/DEMO.RD demo/DEMO.RES DESTINATION demo)

  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUILL_WINDOWS_BITS win64)
  else()
    set(QUILL_WINDOWS_BITS win32)
  endif()
  set(CPACK_PACKAGE_NAME quillfane)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME quillfane-${PROJECT_VERSION}-${QUILL_WINDOWS_BITS})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Unpacks and repacks the resource archive of the game Quillfane")
  set(CPACK_STRIP_FILES ON)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  include(CPack)
else()
  install(TARGETS quillfane quillpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # The pages are written by hand; only the version is filled in.
  foreach(page quillfane quillpack)
    configure_file(${PROJECT_SOURCE_DIR}/man/${page}.1.in ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
