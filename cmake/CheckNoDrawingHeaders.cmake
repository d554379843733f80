# cmake -DFORBIDDEN_DIRS=<dirs> -DSOURCES=<files> [-DSTAMP=<file>] -P CheckNoDrawingHeaders.cmake
# Fails when one of SOURCES includes a header found in one of FORBIDDEN_DIRS
# (Qt's Gui and Widgets folders), by its bare name or by <QtGui/...>.
include(${CMAKE_CURRENT_LIST_DIR}/IncludeCheck.cmake)

function(drawing_header header result)
  if(header MATCHES "^Qt(Gui|Widgets|OpenGL|OpenGLWidgets|Svg)/")
    set(${result} TRUE PARENT_SCOPE)
    return()
  endif()
  foreach(dir IN LISTS FORBIDDEN_DIRS)
    if(EXISTS "${dir}/${header}")
      set(${result} TRUE PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

movan_refused_includes("${SOURCES}" drawing_header found)
movan_finish_include_check("A library that draws nothing includes drawing headers" "${found}" "${STAMP}")
