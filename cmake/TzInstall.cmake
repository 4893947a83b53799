# Installation and the Debian package (cpack -G DEB, in the build folder).
#   <prefix>/bin/transzanderxel, transzanderxel-batch
#   <prefix>/share/transzanderxel/XEL.CHM           the GUI's help when \ZDXM7\XEL.CHM is missing
#   <prefix>/share/applications/transzanderxel.desktop
#   <prefix>/share/icons/hicolor/{scalable,NxN}/apps/transzanderxel.{svg,png}
#   <prefix>/share/man/man1/transzanderxel.1.gz, transzanderxel-batch.1.gz
include(GNUInstallDirs)

# The GUI finds the installed help file as <exe folder>/../share/transzanderxel.
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share")
  message(WARNING "The installed GUI looks for its help in <exe folder>/../share/transzanderxel: "
                  "keep CMAKE_INSTALL_BINDIR=bin and CMAKE_INSTALL_DATADIR=share")
endif()
set(tz_packaging ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS transzanderxel-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET transzanderxel-informe)
  # Run by "transzanderxel-batch informe" only; not a command of its own.
  install(TARGETS transzanderxel-informe RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/transzanderxel)
endif()

# Man pages, with the project's version, compressed as Debian installs them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(tz_man_pages transzanderxel transzanderxel-batch)
set(tz_man_outputs "")
foreach(page ${tz_man_pages})
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.1.gz
    COMMAND ${GZIP_PROGRAM} -9 -n -f -k ${PROJECT_BINARY_DIR}/man/${page}.1
    DEPENDS ${PROJECT_BINARY_DIR}/man/${page}.1
    VERBATIM)
  list(APPEND tz_man_outputs ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${tz_man_outputs})
install(FILES ${PROJECT_BINARY_DIR}/man/transzanderxel-batch.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET transzanderxel)
  install(TARGETS transzanderxel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_BINARY_DIR}/man/transzanderxel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(TARGET xel_chm)
    install(FILES ${TZ_XEL_CHM} DESTINATION ${CMAKE_INSTALL_DATADIR}/transzanderxel)
  endif()
  install(FILES ${tz_packaging}/transzanderxel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${tz_packaging}/transzanderxel.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # The PNG sizes are drawn from the SVG at build time.
  find_program(RSVG_CONVERT_PROGRAM rsvg-convert)
  if(RSVG_CONVERT_PROGRAM)
    set(tz_icon_outputs "")
    foreach(size 16 22 24 32 48 64 128 256)
      set(png ${PROJECT_BINARY_DIR}/icons/${size}x${size}/transzanderxel.png)
      add_custom_command(
        OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT_PROGRAM} -w ${size} -h ${size} -o ${png} ${tz_packaging}/transzanderxel.svg
        DEPENDS ${tz_packaging}/transzanderxel.svg
        VERBATIM)
      list(APPEND tz_icon_outputs ${png})
      install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(icons ALL DEPENDS ${tz_icon_outputs})
  else()
    message(WARNING "rsvg-convert (Debian package librsvg2-bin) not found: no PNG icons are made")
  endif()
endif()

# The Debian package: its dependencies are read from the installed executables.
set(TZ_DEB_MAINTAINER "transZanderXEL" CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME transzanderxel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "transZanderXEL")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exportar e importar datos entre Zandrix y XEL")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Lleva los datos de un centro escolar entre el programa de horarios Zandrix y el sistema XEL "
    "de la administración educativa: los catálogos de XEL a las tablas de intercambio de Zandrix "
    "y el horario resuelto de vuelta a fCUADROS.txt. Incluye la ventana (transzanderxel) y la "
    "orden sin ventanas (transzanderxel-batch).")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TZ_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
