# cmake -DFORBIDDEN_FOLDERS=<folders> -DSOURCES=<files> [-DSTAMP=<file>] -P CheckLayerIncludes.cmake
# Fails when one of SOURCES includes a header of one of FORBIDDEN_FOLDERS
# (the source folders of the layers above the library), as "folder/header.h".
include(${CMAKE_CURRENT_LIST_DIR}/IncludeCheck.cmake)
set(found "")
foreach(source IN LISTS SOURCES)
  movan_included_headers(${source} headers)
  foreach(header IN LISTS headers)
    foreach(folder IN LISTS FORBIDDEN_FOLDERS)
      if(header MATCHES "^${folder}/")
        list(APPEND found "${source}: ${header}")
        break()
      endif()
    endforeach()
  endforeach()
endforeach()
movan_finish_include_check("A library includes a header of a layer above its own" "${found}" "${STAMP}")
