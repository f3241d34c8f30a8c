# The Debian package: `cpack -G DEB` in any build folder. It packages a
# tree of its own, deb/ in that folder (deb-tree.cmake).

set(CPACK_PACKAGE_NAME vortana)
set(CPACK_PACKAGE_VENDOR "The Vortana developers")
set(CPACK_PACKAGE_CONTACT "The Vortana developers <vortana@vortana.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "hit the jumping multiples of 11 before the clock runs out")
set(CPACK_PACKAGE_DESCRIPTION "\
Vortana is a small arithmetic game for one player. Six square buttons
carrying numbers jump about the window: click the ones that carry a multiple
of 11 and leave the others alone. A hit is worth one point, a wrong number
costs four. The clock gives you fifteen minutes, and the best score is kept
as the record to beat.

All texts of the game are in Italian.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vortana.github.io/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no library of ours names them: Qt's Italian
# strings, the stand-ins for the layout's fonts (setUpApplication), the X11
# and Wayland platform plugins. Qt Multimedia 6.4 plays through libpulse,
# which PulseAudio and PipeWire both serve; named here as well since only
# libqt6multimedia6 links it today. The server is the desktop's.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-translations-l10n, fonts-liberation2, fonts-dejavu-core, qt6-qpa-plugins, qt6-wayland, libpulse0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")

# The files Debian asks of every package, gzip -n so that no time stamp
# makes two builds differ.
find_program(GZIP gzip REQUIRED)
set(VORTANA_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME}")
execute_process(COMMAND date -u -R -d "${VORTANA_RELEASE_DATE}"
  OUTPUT_VARIABLE VORTANA_RELEASE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(packaging "${CMAKE_CURRENT_SOURCE_DIR}/packaging")
configure_file("${packaging}/vortana.6.in" packaging/vortana.6 @ONLY)
configure_file("${packaging}/changelog.in" packaging/changelog @ONLY)
set(VORTANA_GZIPPED)
foreach(file vortana.6 changelog)
  set(gz "${CMAKE_BINARY_DIR}/packaging/${file}.gz")
  add_custom_command(OUTPUT "${gz}"
    COMMAND ${GZIP} -9n -c "${CMAKE_BINARY_DIR}/packaging/${file}" > "${gz}"
    DEPENDS "${CMAKE_BINARY_DIR}/packaging/${file}")
  list(APPEND VORTANA_GZIPPED "${gz}")
endforeach()
add_custom_target(packaging_docs ALL DEPENDS ${VORTANA_GZIPPED})
install(FILES "${CMAKE_BINARY_DIR}/packaging/vortana.6.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man6")
# A version without a Debian revision makes a native package: changelog.gz.
install(FILES "${CMAKE_BINARY_DIR}/packaging/changelog.gz" "${packaging}/copyright" DESTINATION "${VORTANA_DOC_DIR}")

if(NOT VORTANA_PACKAGE_TREE)
  set(CPACK_PROJECT_CONFIG_FILE "${packaging}/deb-tree.cmake")
  set(CPACK_VORTANA_SOURCE_DIR "${CMAKE_SOURCE_DIR}")
  set(CPACK_VORTANA_BINARY_DIR "${CMAKE_BINARY_DIR}")
  set(CPACK_VORTANA_RELEASE_DATE "${VORTANA_RELEASE_DATE}")
endif()

include(CPack)
