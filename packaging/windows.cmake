# The Windows program's icon and version resource, from the icons rendered
# above. The portable zip and the installer are scripts/windows.sh's.
find_program(VORTANA_CONVERT convert)
if(NOT VORTANA_CONVERT)
  message(FATAL_ERROR "convert not found (Debian package imagemagick; scripts/windows.sh installs it)")
endif()
set(VORTANA_ICO "${CMAKE_BINARY_DIR}/vortana.ico")
set(ico_sizes)
foreach(size 16 32 48 256)
  list(APPEND ico_sizes "${CMAKE_BINARY_DIR}/icons/${size}x${size}/${VORTANA_APP_ID}.png")
endforeach()
add_custom_command(
  OUTPUT "${VORTANA_ICO}"
  COMMAND ${VORTANA_CONVERT} ${ico_sizes} "${VORTANA_ICO}"
  DEPENDS ${ico_sizes}
  COMMENT "Making the Windows icon"
  VERBATIM)
string(REPLACE "." "," VORTANA_VERSION_COMMAS "${PROJECT_VERSION}")
enable_language(RC)
configure_file(packaging/vortana.rc.in vortana.rc @ONLY)
target_sources(vortana PRIVATE "${CMAKE_BINARY_DIR}/vortana.rc")
set_source_files_properties("${CMAKE_BINARY_DIR}/vortana.rc" PROPERTIES OBJECT_DEPENDS "${VORTANA_ICO}")
