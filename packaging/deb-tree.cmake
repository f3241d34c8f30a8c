# Read by cpack before it packages (CPACK_PROJECT_CONFIG_FILE). The Debian
# package never takes the files of the build cpack runs in, whose prefix,
# build type and flags are the developer's: it configures a tree of its own,
# deb/ in that build, as Debian builds its packages (prefix /usr, the flags
# of dpkg-buildflags with all hardening on), and installs that. Every time
# stamp comes from the release date and no folder of the build reaches the
# files, so two builds give the same bytes.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(src "${CPACK_VORTANA_SOURCE_DIR}")
set(tree "${CPACK_VORTANA_BINARY_DIR}/deb")
execute_process(COMMAND date -u -d "${CPACK_VORTANA_RELEASE_DATE}" +%s
  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")

set(ENV{DEB_BUILD_MAINT_OPTIONS} hardening=+all)
foreach(var CXXFLAGS CPPFLAGS LDFLAGS)
  execute_process(COMMAND dpkg-buildflags --get ${var} WORKING_DIRECTORY "${src}"
    OUTPUT_VARIABLE ${var} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# dpkg-buildflags maps the source folder; the tree, wherever it is, too.
# The last map given is the first tried.
string(APPEND CXXFLAGS " ${CPPFLAGS} -ffile-prefix-map=${tree}=build")

execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${src}" -B "${tree}" -G "${CPACK_CMAKE_GENERATOR}"
    -DVORTANA_PACKAGE_TREE=ON
    -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=None
    -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
    "-DCMAKE_CXX_FLAGS=${CXXFLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${LDFLAGS}"
    "-DCMAKE_SHARED_LINKER_FLAGS=${LDFLAGS}"
    "-DCMAKE_MODULE_LINKER_FLAGS=${LDFLAGS}"
  COMMAND_ERROR_IS_FATAL ANY)
# cpack builds it (its preinstall target) before it installs it.
set(CPACK_INSTALL_CMAKE_PROJECTS "${tree};vortana;ALL;/")
