# The program's libraries stand in layers, lowest first. A library may link
# and include libraries of its own layer or of one below, never one above:
# the windows know nothing of the start-up that creates them, the components
# nothing of the windows they sit on.
set(MOVAN_LAYERS core ui widgets windows app)
set(MOVAN_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(movan_place_in_layer target layer)
  if(NOT layer IN_LIST MOVAN_LAYERS)
    message(FATAL_ERROR "${target}: unknown layer '${layer}' (one of: ${MOVAN_LAYERS})")
  endif()
  set_property(TARGET ${target} PROPERTY MOVAN_LAYER ${layer})
  set_property(GLOBAL APPEND PROPERTY MOVAN_LAYERED_TARGETS ${target})
endfunction()

function(movan_layer_rank target out)
  set(rank -1)
  if(TARGET ${target})
    get_target_property(layer ${target} MOVAN_LAYER)
    if(layer)
      list(FIND MOVAN_LAYERS ${layer} rank)
    endif()
  endif()
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

# The libraries a target names in its own links, link-only wrappers removed.
function(movan_direct_links target out)
  get_target_property(links ${target} INTERFACE_LINK_LIBRARIES)
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(own ${target} LINK_LIBRARIES)
    list(APPEND links ${own})
  endif()
  list(TRANSFORM links REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1")
  list(FILTER links EXCLUDE REGEX "NOTFOUND$")
  list(REMOVE_DUPLICATES links)
  set(${out} ${links} PARENT_SCOPE)
endfunction()

# The build of target waits for SCRIPT, one of the include checks run with
# cmake -P, to pass over SOURCES with VARIABLE set to VALUES; the target
# <target>_<check> runs it again whenever a source or the check changes.
function(movan_add_include_check target check script comment)
  cmake_parse_arguments(ARG "" "VARIABLE" "SOURCES;VALUES" ${ARGN})
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}_${check}.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} "-D${ARG_VARIABLE}=${ARG_VALUES}" "-DSOURCES=${ARG_SOURCES}" -DSTAMP=${stamp}
            -P ${script}
    DEPENDS ${ARG_SOURCES} ${script} ${MOVAN_CMAKE_DIR}/IncludeCheck.cmake
    COMMENT "${comment}"
    VERBATIM)
  add_custom_target(${target}_${check} DEPENDS ${stamp})
  add_dependencies(${target} ${target}_${check})
endfunction()

# Run once every layered library exists: fails the configuration when one
# links a library of a higher layer, and makes the build of each stop at a
# source that includes a header of a higher layer's folder.
function(movan_check_layers)
  get_property(targets GLOBAL PROPERTY MOVAN_LAYERED_TARGETS)
  set(offences "")
  foreach(target IN LISTS targets)
    movan_layer_rank(${target} rank)
    movan_direct_links(${target} links)
    foreach(link IN LISTS links)
      movan_layer_rank(${link} link_rank)
      if(link_rank GREATER rank)
        get_target_property(layer ${target} MOVAN_LAYER)
        get_target_property(link_layer ${link} MOVAN_LAYER)
        list(APPEND offences "${target} (${layer}) -> ${link} (${link_layer})")
      endif()
    endforeach()
  endforeach()
  if(offences)
    list(JOIN offences "\n  " lines)
    message(FATAL_ERROR "A library links a library of a layer above its own:\n  ${lines}")
  endif()
  foreach(target IN LISTS targets)
    movan_forbid_including_above(${target} "${targets}")
  endforeach()
endfunction()

function(movan_forbid_including_above target all_targets)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  movan_layer_rank(${target} rank)
  set(folders "")
  foreach(other IN LISTS all_targets)
    movan_layer_rank(${other} other_rank)
    if(other_rank GREATER rank)
      get_target_property(dir ${other} SOURCE_DIR)
      get_filename_component(folder ${dir} NAME)
      list(APPEND folders ${folder})
    endif()
  endforeach()
  if(NOT folders)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  list(FILTER sources INCLUDE REGEX "\\.(h|cpp)$")
  list(TRANSFORM sources PREPEND "${source_dir}/" REGEX "^[^/]")
  movan_add_include_check(${target} includes_nothing_above ${MOVAN_CMAKE_DIR}/CheckLayerIncludes.cmake
    "Checking that ${target} includes nothing of a layer above it"
    SOURCES ${sources} VARIABLE FORBIDDEN_FOLDERS VALUES ${folders})
endfunction()
