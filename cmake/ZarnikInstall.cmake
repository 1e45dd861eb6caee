# What `cmake --install` puts where (GNUInstallDirs): the programs in bin, the man pages, and
# with the window its desktop entry and icons. The client library with its headers, CMake
# package and pkg-config file is installed by klxpxclnt/CMakeLists.txt, the data by
# resources/CMakeLists.txt.

foreach(program zarnik zarnik-sync poidb-server devagent)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  endif()
endforeach()

# The data (language packs, help pages, devices.ini, the stop program) are installed by
# resources/CMakeLists.txt, which lays them out for the programs in build/bin the same way.

# Man pages and the package's changelog go in compressed with gzip -9n, as Debian has them:
# without a name or time stamp in the header, so the same sources give the same bytes.
find_program(ZARNIK_GZIP gzip REQUIRED)
set(ZARNIK_PACKAGED_DOCS_DIR ${CMAKE_BINARY_DIR}/packaged-docs)
function(zarnik_gzipped_copy source name out_var)
  set(copy ${ZARNIK_PACKAGED_DOCS_DIR}/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${ZARNIK_GZIP} -9nf ${copy}
    DEPENDS ${source} VERBATIM)
  set(${out_var} ${copy}.gz PARENT_SCOPE)
endfunction()

set(ZARNIK_MAN_PAGES zarnik-sync.1 poidb-server.1 devagent.1)
if(TARGET zarnik)
  list(APPEND ZARNIK_MAN_PAGES zarnik.1)
endif()
set(ZARNIK_GZIPPED_DOCS)
foreach(page ${ZARNIK_MAN_PAGES})
  zarnik_gzipped_copy(${PROJECT_SOURCE_DIR}/docs/man/${page} man1/${page} gzipped)
  list(APPEND ZARNIK_GZIPPED_DOCS ${gzipped})
  install(FILES ${gzipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
endforeach()

add_custom_target(zarnik_gzipped_docs ALL DEPENDS ${ZARNIK_GZIPPED_DOCS})

# The desktop entry starts the window: only with it.
if(TARGET zarnik)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/zarnik.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
  foreach(size 48 256)
    set(icon ${PROJECT_SOURCE_DIR}/resources/icons/zarnik-${size}.png)
    if(EXISTS ${icon})
      install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME zarnik.png COMPONENT programs)
    endif()
  endforeach()
endif()
