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

install(FILES ${PROJECT_SOURCE_DIR}/docs/man/zarnik-sync.1 ${PROJECT_SOURCE_DIR}/docs/man/poidb-server.1
  ${PROJECT_SOURCE_DIR}/docs/man/devagent.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)

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
