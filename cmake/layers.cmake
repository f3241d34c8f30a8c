# The layers from the bottom up. A file may include headers of its own
# layer and of those below it, never of one above: the rules of play know
# nothing of files, the record files nothing of windows. The sound module
# stands apart and knows only itself.
set(VORTANA_LAYERS play records window)
set(VORTANA_LAYER_FOLDERS play records sound window)

# Stops the build of TARGET when one of its sources reaches above LAYER.
# The check runs again whenever a source changes.
function(vortana_check_layer target layer)
  if(layer STREQUAL "sound")
    set(allowed sound)
  else()
    list(FIND VORTANA_LAYERS ${layer} top)
    list(SUBLIST VORTANA_LAYERS 0 ${top} allowed)
    list(APPEND allowed ${layer})
    if(layer STREQUAL "window")
      list(APPEND allowed sound)  # the module's interface, which it loads
    endif()
  endif()
  get_target_property(sources ${target} SOURCES)
  list(TRANSFORM sources PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/")
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/layers/${target}.checked")
  string(REPLACE ";" "|" files "${sources}")
  string(REPLACE ";" "|" allowed "${allowed}")
  string(REPLACE ";" "|" folders "${VORTANA_LAYER_FOLDERS}")
  add_custom_command(
    OUTPUT "${stamp}"
    COMMAND ${CMAKE_COMMAND} "-DLAYER=${layer}" "-DALLOWED=${allowed}" "-DFOLDERS=${folders}"
            "-DFILES=${files}" "-DSTAMP=${stamp}" -P "${PROJECT_SOURCE_DIR}/cmake/check_layer.cmake"
    DEPENDS ${sources} "${PROJECT_SOURCE_DIR}/cmake/check_layer.cmake"
    COMMENT "Checking that ${target} includes nothing above the ${layer} layer"
    VERBATIM)
  add_custom_target(${target}_layer DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_layer)
endfunction()
