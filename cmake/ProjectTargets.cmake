include(${CMAKE_CURRENT_LIST_DIR}/Layers.cmake)

# Every module folder is one static library built from the sources found in
# it, so a module gains a file without touching any list kept elsewhere.
# Each stands in one of the layers (see Layers.cmake). A core module draws
# nothing: it may link Qt Core and Network only, and its build stops at the
# first source that includes a Qt Gui or Widgets header.
function(movan_add_module target)
  cmake_parse_arguments(ARG "" "LAYER" "LINK;PRIVATE_LINK" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${ARG_LINK} PRIVATE ${ARG_PRIVATE_LINK})
  movan_place_in_layer(${target} ${ARG_LAYER})
  if(ARG_LAYER STREQUAL "core")
    movan_forbid_drawing(${target} ${sources})
  endif()
endfunction()

# Qt's Gui and Widgets header folders; a core source may include nothing found
# there, spelled either <QWidget> or <QtWidgets/QWidget>.
function(movan_drawing_header_dirs out)
  set(dirs)
  foreach(module Gui Widgets)
    get_target_property(includes Qt6::${module} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(dir IN LISTS includes)
      if(dir MATCHES "/Qt${module}$")
        list(APPEND dirs ${dir})
      endif()
    endforeach()
  endforeach()
  set(${out} ${dirs} PARENT_SCOPE)
endfunction()

# Fails the configuration when a core target reaches Qt Gui or Widgets through
# its links, and fails its build when one of its sources includes their headers.
function(movan_forbid_drawing target)
  movan_check_links_draw_nothing(${target} ${target})
  movan_drawing_header_dirs(dirs)
  movan_add_include_check(${target} draws_nothing ${MOVAN_CMAKE_DIR}/CheckNoDrawingHeaders.cmake
    "Checking that ${target} includes no Qt Gui or Widgets header"
    SOURCES ${ARGN} VARIABLE FORBIDDEN_DIRS VALUES ${dirs})
endfunction()

function(movan_check_links_draw_nothing core target)
  if(NOT TARGET ${target})
    return()
  endif()
  if(target MATCHES "^Qt6::(Gui|Widgets|OpenGL|Svg)")
    message(FATAL_ERROR "${core} must draw nothing but links ${target}")
  endif()
  movan_direct_links(${target} links)
  foreach(link IN LISTS links)
    if(link AND NOT link MATCHES "^\\$<|^Qt6::(Core|Network)$")
      movan_check_links_draw_nothing(${core} ${link})
    endif()
  endforeach()
endfunction()

# One test executable per *_test.cpp file; the folder under tests/ names the
# CTest label. Files ending in _x11_test.cpp need a real X server and run
# under xvfb-run.
function(movan_add_tests label)
  cmake_parse_arguments(ARG "" "MAIN" "LINK;FILES" ${ARGN})
  foreach(file IN LISTS ARG_FILES)
    get_filename_component(name ${file} NAME_WE)
    set(target ${label}_${name})
    add_executable(${target} ${file} ${ARG_MAIN})
    target_link_libraries(${target} PRIVATE ${ARG_LINK})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR})
    if(file MATCHES "_x11_test\\.cpp$")
      add_test(NAME ${target}
               COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:${target}>)
    else()
      add_test(NAME ${target} COMMAND ${target})
    endif()
    set_tests_properties(${target} PROPERTIES LABELS ${label} TIMEOUT 300
                         ENVIRONMENT "MOVAN_SOURCE_DIR=${PROJECT_SOURCE_DIR};MOVAN_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    movan_add_to_label_target(${label} ${target})
  endforeach()
endfunction()

# One target per label (tests_unit, tests_integration, ...) builds that label's
# tests and what they run, so a sanitizer build can make only what it runs.
function(movan_add_to_label_target label target)
  if(NOT TARGET tests_${label})
    add_custom_target(tests_${label})
    if(TARGET sqlemu)
      add_dependencies(tests_${label} sqlemu)
    endif()
  endif()
  add_dependencies(tests_${label} ${target})
endfunction()

# Tests of a label folder that run sqlemu as this computer's default
# instance (TCP 1433, the browser on UDP 1434) or write InitPrg.ini beside the
# test executables: one at a time, each after sqlemu is built.
function(movan_add_local_server_tests label)
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  movan_add_tests(${label} FILES ${files} ${ARGN})
  foreach(file IN LISTS files)
    get_filename_component(name ${file} NAME_WE)
    if(TARGET sqlemu)
      add_dependencies(${label}_${name} sqlemu)
    endif()
    set_tests_properties(${label}_${name} PROPERTIES RESOURCE_LOCK "settings_file_beside_binaries;tcp_1433;udp_1434")
  endforeach()
endfunction()
