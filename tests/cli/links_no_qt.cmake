# Fails when the program BINARY needs a Qt or ICU library, itself or through
# another library: the command line must start without them.
# Usage: cmake -DBINARY=lintavel-extract -P links_no_qt.cmake
find_program(LDD ldd)
find_program(READELF readelf)
if(LDD)
  # ldd lists what the loader would load, libraries of libraries included.
  execute_process(COMMAND "${LDD}" "${BINARY}" OUTPUT_VARIABLE needed RESULT_VARIABLE status)
elseif(READELF)
  execute_process(COMMAND "${READELF}" -d "${BINARY}" OUTPUT_VARIABLE needed
                  RESULT_VARIABLE status)
else()
  message("SKIP: neither ldd nor readelf is installed")
  return()
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot list the libraries of ${BINARY}")
endif()
string(REGEX MATCHALL "lib(Qt|icu)[^ \t\n]*" forbidden "${needed}")
list(REMOVE_DUPLICATES forbidden)
if(forbidden)
  message(FATAL_ERROR "${BINARY} needs ${forbidden}")
endif()
message("${BINARY} needs no Qt or ICU library:\n${needed}")
