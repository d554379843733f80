# Every module folder is one static library built from the sources found in
# it, so a module gains a file without touching any list kept elsewhere.
function(movan_add_module target)
  cmake_parse_arguments(ARG "" "" "LINK;PRIVATE_LINK" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  # A folder of headers alone is an interface: nothing to compile or link.
  set(compiled ${sources})
  list(FILTER compiled INCLUDE REGEX "\\.(cpp|qrc)$")
  if(NOT compiled)
    # A module without code yet is still something others can link.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_LINK})
    return()
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${ARG_LINK} PRIVATE ${ARG_PRIVATE_LINK})
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
  endforeach()
endfunction()
