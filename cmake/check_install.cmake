# Run with cmake -P: installs BUILD_DIR under a fresh PREFIX and checks that
# the library, the host header and the pkg-config file arrive, and that the
# pkg-config file names the installed library.
#   -DBUILD_DIR=... -DPREFIX=... -DLIBRARY_FILE_NAME=... -DLIBDIR=... -DINCLUDEDIR=...
#   -DLIBRARY_DIR=... (where the library itself goes: LIBDIR, or the programs' folder for a DLL)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${out}")
endif()
foreach(path ${LIBRARY_DIR}/${LIBRARY_FILE_NAME} ${INCLUDEDIR}/korvane_display.h ${LIBDIR}/pkgconfig/korvane_display.pc)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${PREFIX}/${path}\n${out}")
  endif()
endforeach()
# What a host's build asks pkg-config.
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
foreach(query "--variable=library" "--cflags")
  execute_process(COMMAND ${PKG_CONFIG} ${query} korvane_display RESULT_VARIABLE result
                  OUTPUT_VARIABLE answer ERROR_VARIABLE answer OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config ${query} korvane_display failed: ${answer}")
  endif()
  string(REGEX REPLACE "^-I" "" path "${answer}")
  file(REAL_PATH "${path}" real)
  if(query STREQUAL "--variable=library")
    set(expected ${PREFIX}/${LIBRARY_DIR}/${LIBRARY_FILE_NAME})
  else()
    set(expected ${PREFIX}/${INCLUDEDIR})
  endif()
  file(REAL_PATH "${expected}" expected)
  if(NOT real STREQUAL expected)
    message(FATAL_ERROR "pkg-config ${query} gives ${answer}, not ${expected}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed and checked under ${PREFIX}")
