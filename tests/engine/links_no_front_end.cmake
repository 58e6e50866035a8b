# Fails when the engine library links a front end's library (the report texts of
# shell_core, Qt) or refers to any of their symbols: the engine hands each failure
# on as data, and the front ends word it.
# Usage: cmake -DARCHIVE=libengine.a "-DLINKS=lib|lib" -P links_no_front_end.cmake
string(REPLACE "|" ";" links "${LINKS}")
foreach(library IN LISTS links)
  if(library MATCHES "shell|Qt")
    message(FATAL_ERROR "the engine links ${library}")
  endif()
endforeach()
find_program(NM nm)
find_program(GREP grep)
if(NOT NM OR NOT GREP)
  message("SKIP: nm or grep is not installed")
  return()
endif()
# grep, not a CMake regular expression: the archive's debug build has megabytes of symbols.
execute_process(COMMAND "${NM}" -C "${ARCHIVE}"
                COMMAND "${GREP}" -E
                        "ReportingProcedure|ComposeApplicationErrorMessage|ApplicationError|ReportSink|Q[A-Z][A-Za-z]+::|qt_"
                OUTPUT_VARIABLE forbidden RESULTS_VARIABLE statuses)
list(GET statuses 0 nm_status)
if(NOT nm_status EQUAL 0)
  message(FATAL_ERROR "cannot list the symbols of ${ARCHIVE}")
endif()
if(forbidden)
  message(FATAL_ERROR "the engine refers to a front end's symbols:\n${forbidden}")
endif()
message("${ARCHIVE} links ${links} and refers to no front end's symbol")
