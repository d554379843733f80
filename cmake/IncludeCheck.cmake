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
