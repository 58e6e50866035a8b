# Installs the project into a scratch folder and checks that the program, the files
# it looks for beside itself, the desktop entry, the icons, the software-centre
# description, the shell completion and the manual pages are where a Linux desktop
# finds them, and the Python module where python3 imports it. Run by CTest with
# -DBUILD_DIR=... -DSCRATCH=... [-DPYTHON_DIR=... -DPYTHON=...]
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${SCRATCH}/usr"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(expected
    usr/bin/lintavel usr/bin/lintavel-extract
    usr/lib/lintavel/lintavel usr/lib/lintavel/HAND-M.CUR usr/lib/lintavel/drag.ico
    "usr/lib/lintavel/Samples/Why count words.txt" "usr/lib/lintavel/Samples/Notes on reading.html"
    usr/share/applications/lintavel.desktop
    usr/share/icons/hicolor/16x16/apps/lintavel.png usr/share/icons/hicolor/256x256/apps/lintavel.png
    usr/share/icons/hicolor/scalable/apps/lintavel.svg
    usr/share/metainfo/com.quorvane.Lintavel.metainfo.xml
    usr/share/bash-completion/completions/lintavel-extract
    usr/share/man/man1/lintavel.1.gz usr/share/man/man1/lintavel-extract.1.gz)
  if(NOT EXISTS "${SCRATCH}/${expected}")
    message(FATAL_ERROR "not installed: ${expected}")
  endif()
endforeach()
file(READ_SYMLINK "${SCRATCH}/usr/bin/lintavel" link)
if(NOT link STREQUAL "../lib/lintavel/lintavel")
  message(FATAL_ERROR "usr/bin/lintavel points to ${link}")
endif()
file(READ "${SCRATCH}/usr/share/applications/lintavel.desktop" entry)
if(NOT entry MATCHES "Exec=lintavel %F" OR NOT entry MATCHES "Icon=lintavel")
  message(FATAL_ERROR "the desktop entry does not start lintavel on files with its icon")
endif()
# The installed command line, its words through a pipe.
file(WRITE "${SCRATCH}/input.txt" "b a b\n")
execute_process(COMMAND "${SCRATCH}/usr/bin/lintavel-extract" --counts "${SCRATCH}/input.txt"
                COMMAND od -An -tx1
                OUTPUT_VARIABLE piped ERROR_VARIABLE total RESULT_VARIABLE status)
# The bytes as hexadecimal: execute_process would turn CR LF into LF.
string(REGEX REPLACE "[ \n]" "" piped "${piped}")
if(NOT status EQUAL 0 OR NOT piped STREQUAL "3109610d0a3209620d0a"
   OR NOT total STREQUAL "Results (Total Word Count: 3)\n")
  message(FATAL_ERROR "the installed lintavel-extract gave ${piped}, ${total} (${status})")
endif()
# The installed Python module, imported from where it was put.
if(PYTHON_DIR)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env "PYTHONPATH=${SCRATCH}/usr/${PYTHON_DIR}"
                          ${PYTHON} -c "import lintavel; print(lintavel.count(['${SCRATCH}/input.txt']).items())"
                  OUTPUT_VARIABLE items ERROR_VARIABLE failure RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT items STREQUAL "[('a', 1), ('b', 2)]\n")
    message(FATAL_ERROR "the installed Python module gave ${items} ${failure} (${status})")
  endif()
endif()
file(REMOVE_RECURSE "${SCRATCH}")
