# Fails when one of FILES (separated by |) needs a shared library matching FORBIDDEN:
# each of libstdc++, libgcc_s, libasound and libm mapped at start-up costs a
# process hundreds of KiB of resident memory that rendering does not use.
#   cmake -DREADELF=... -DFILES=a|b -DFORBIDDEN=regex -P CheckNeededLibraries.cmake
string(REPLACE "|" ";" FILES "${FILES}")
foreach(file IN LISTS FILES)
  execute_process(COMMAND ${READELF} -d ${file} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${READELF} cannot read ${file}")
  endif()
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*" needed "${dynamic}")
  foreach(entry IN LISTS needed)
    if(entry MATCHES "${FORBIDDEN}")
      message(FATAL_ERROR "${file} loads at start-up: ${entry}")
    endif()
  endforeach()
endforeach()
