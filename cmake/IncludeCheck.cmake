# Shared by the scripts that check what sources include (run with cmake -P).

# The header names a source includes, as written between <> or "".
function(movan_included_headers source out)
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  set(headers "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" header "${line}")
    list(APPEND headers ${header})
  endforeach()
  set(${out} ${headers} PARENT_SCOPE)
endfunction()

# The "source: header" lines of SOURCES whose included header the function
# named PREDICATE refuses; it is called as PREDICATE(header result) and sets
# result to TRUE in its caller's scope for a header it refuses.
function(movan_refused_includes sources predicate out)
  set(found "")
  foreach(source IN LISTS sources)
    movan_included_headers(${source} headers)
    foreach(header IN LISTS headers)
      set(refused FALSE)
      cmake_language(CALL ${predicate} "${header}" refused)
      if(refused)
        list(APPEND found "${source}: ${header}")
      endif()
    endforeach()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# Fails with the offending "source: header" lines under a heading, else
# touches the stamp that tells the build the check passed.
function(movan_finish_include_check heading offences stamp)
  if(offences)
    list(JOIN offences "\n  " lines)
    message(FATAL_ERROR "${heading}:\n  ${lines}")
  endif()
  if(stamp)
    file(TOUCH ${stamp})
  endif()
endfunction()
