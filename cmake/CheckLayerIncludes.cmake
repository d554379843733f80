# cmake -DFORBIDDEN_FOLDERS=<folders> -DSOURCES=<files> [-DSTAMP=<file>] -P CheckLayerIncludes.cmake
# Fails when one of SOURCES includes a header of one of FORBIDDEN_FOLDERS
# (the source folders of the layers above the library), as "folder/header.h".
include(${CMAKE_CURRENT_LIST_DIR}/IncludeCheck.cmake)

# Folder names are plain words, so they can stand in a pattern as they are.
list(JOIN FORBIDDEN_FOLDERS "|" higher_folders)

function(header_of_a_higher_layer header result)
  if(higher_folders AND header MATCHES "^(${higher_folders})/")
    set(${result} TRUE PARENT_SCOPE)
  endif()
endfunction()

movan_refused_includes("${SOURCES}" header_of_a_higher_layer found)
movan_finish_include_check("A library includes a header of a layer above its own" "${found}" "${STAMP}")
