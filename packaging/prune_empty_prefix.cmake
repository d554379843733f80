# Run by CPack after staging, before packing. Every package is staged under
# the packaging prefix; one that puts nothing there (sqlemu) would otherwise
# own the application folder's empty directories.
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  set(stage ${CPACK_TEMPORARY_DIRECTORY}/${component})
  set(dir ${stage}${CPACK_PACKAGING_INSTALL_PREFIX})
  while(IS_DIRECTORY ${dir} AND NOT dir STREQUAL stage)
    file(GLOB entries ${dir}/* ${dir}/.*)
    if(entries)
      break()
    endif()
    file(REMOVE_RECURSE ${dir})
    get_filename_component(dir ${dir} DIRECTORY)
  endwhile()
endforeach()
