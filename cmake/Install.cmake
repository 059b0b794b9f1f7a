# Installation in the places the freedesktop and Debian conventions give under
# CMAKE_INSTALL_PREFIX, and the Debian package built from it with cpack.
include(GNUInstallDirs)

set(ORVANE_APP_ID io.orvane.Orvane)
set(ORVANE_DATA_DIR ${CMAKE_SOURCE_DIR}/data)
set(ORVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/data)

install(TARGETS orvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ORVANE_DATA_DIR}/${ORVANE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ORVANE_DATA_DIR}/${ORVANE_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

configure_file(${ORVANE_DATA_DIR}/${ORVANE_APP_ID}.metainfo.xml
               ${ORVANE_GENERATED_DIR}/${ORVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${ORVANE_GENERATED_DIR}/${ORVANE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page, compressed as Debian keeps them (no name or time stamp in the gzip header).
configure_file(${ORVANE_DATA_DIR}/orvane.1 ${ORVANE_GENERATED_DIR}/orvane.1 @ONLY)
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${ORVANE_GENERATED_DIR}/orvane.1.gz
  COMMAND ${GZIP_PROGRAM} -9nc ${ORVANE_GENERATED_DIR}/orvane.1 > ${ORVANE_GENERATED_DIR}/orvane.1.gz
  DEPENDS ${ORVANE_GENERATED_DIR}/orvane.1 VERBATIM)
set(ORVANE_DATA_OUTPUTS ${ORVANE_GENERATED_DIR}/orvane.1.gz)
install(FILES ${ORVANE_GENERATED_DIR}/orvane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package's copyright file (machine-readable) and its changelog, compressed as the manual
# page; the package is native (its version has no Debian revision), so the changelog is
# changelog.gz. The changelog's date honours SOURCE_DATE_EPOCH.
set(ORVANE_MAINTAINER "Orvane developers <maintainers@users.noreply.c-seed-4502798e.example>")
string(TIMESTAMP ORVANE_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${ORVANE_DATA_DIR}/changelog ${ORVANE_GENERATED_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${ORVANE_GENERATED_DIR}/changelog.gz
  COMMAND ${GZIP_PROGRAM} -9nc ${ORVANE_GENERATED_DIR}/changelog > ${ORVANE_GENERATED_DIR}/changelog.gz
  DEPENDS ${ORVANE_GENERATED_DIR}/changelog VERBATIM)
list(APPEND ORVANE_DATA_OUTPUTS ${ORVANE_GENERATED_DIR}/changelog.gz)
install(FILES ${ORVANE_DATA_DIR}/copyright ${ORVANE_GENERATED_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvane)

# The bitmap icons are rendered from the SVG at build time.
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  foreach(size 48 128)
    set(png ${ORVANE_GENERATED_DIR}/${size}x${size}/${ORVANE_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVANE_GENERATED_DIR}/${size}x${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${ORVANE_DATA_DIR}/${ORVANE_APP_ID}.svg
      DEPENDS ${ORVANE_DATA_DIR}/${ORVANE_APP_ID}.svg VERBATIM)
    list(APPEND ORVANE_DATA_OUTPUTS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(WARNING "rsvg-convert not found (package librsvg2-bin): the 48 and 128 px icons are not installed")
endif()
add_custom_target(orvane_data ALL DEPENDS ${ORVANE_DATA_OUTPUTS})

# cpack -G DEB: dependencies from the linked shared libraries (dpkg-shlibdeps) and, for what Qt
# loads at run time, named here.
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "The Orvane developers")
set(CPACK_PACKAGE_CONTACT "${ORVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "launcher bar with pages of program buttons")
set(CPACK_PACKAGE_DESCRIPTION
    "A narrow bar for the desktop with pages of 16 or 21 launch buttons, a row of\ntabs that chooses the page, and a small gauge of the free disk space or memory.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program's own icon is an SVG: the toolkit's SVG icon engine draws it. The Wayland platform
# plugin is for sessions without XWayland.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, sound-theme-freedesktop")
set(CPACK_GENERATOR DEB)
include(CPack)
