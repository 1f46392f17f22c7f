# The third-party libraries of the Windows build, from the folder that
# scripts/windows_deps.sh fills (Debian's source packages, never copies in
# the repository). The system's HTTP, cryptography, printing and imaging
# libraries stand in for libcurl, OpenSSL, CUPS and libpng.
set(KORVANE_WINDOWS_DEPS_DIR "${PROJECT_SOURCE_DIR}/build-win/deps" CACHE PATH
    "Folder of the Windows build's third-party sources (scripts/windows_deps.sh)")

file(GLOB KORVANE_PUGIXML_SOURCE "${KORVANE_WINDOWS_DEPS_DIR}/src/pugixml-*/src/pugixml.cpp")
if(NOT KORVANE_PUGIXML_SOURCE)
  message(FATAL_ERROR "pugixml's source is not in ${KORVANE_WINDOWS_DEPS_DIR}: run scripts/windows_deps.sh")
endif()
list(GET KORVANE_PUGIXML_SOURCE 0 KORVANE_PUGIXML_SOURCE)
get_filename_component(KORVANE_PUGIXML_INCLUDE "${KORVANE_PUGIXML_SOURCE}" DIRECTORY)
add_library(korvane_pugixml STATIC "${KORVANE_PUGIXML_SOURCE}")
target_include_directories(korvane_pugixml SYSTEM PUBLIC "${KORVANE_PUGIXML_INCLUDE}")
add_library(pugixml::pugixml ALIAS korvane_pugixml)

# Asio and cpp-httplib: headers in a folder of their own.
set(KORVANE_WINDOWS_INCLUDE "${KORVANE_WINDOWS_DEPS_DIR}/include")

# The test programs: GoogleTest compiled from /usr/src/googletest, and
# cpp-httplib's header (plain HTTP only: there is no OpenSSL for Windows here).
if(KORVANE_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # (its own CMake names the targets GTest::gtest, GTest::gmock ...)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
if(KORVANE_BUILD_TESTS OR KORVANE_BUILD_TOOLS)
  add_library(korvane_httplib INTERFACE)
  target_include_directories(korvane_httplib SYSTEM INTERFACE ${KORVANE_WINDOWS_INCLUDE})
  target_compile_definitions(korvane_httplib INTERFACE _WIN32_WINNT=0x0601)
  target_link_libraries(korvane_httplib INTERFACE ws2_32 crypt32)
  add_library(PkgConfig::HTTPLIB ALIAS korvane_httplib)
endif()

# The tools: nlohmann's JSON (the simulator's messages), header-only. The
# build machine's Debian package (nlohmann-json3-dev) is copied into a folder
# of its own, so that no other header of /usr/include comes with it.
if(KORVANE_BUILD_TOOLS)
  set(_json_headers /usr/include/nlohmann)
  if(NOT EXISTS ${_json_headers}/json.hpp)
    message(FATAL_ERROR "nlohmann's JSON headers are not in ${_json_headers}: run scripts/windows_deps.sh")
  endif()
  file(COPY ${_json_headers} DESTINATION ${PROJECT_BINARY_DIR}/json-include)
  add_library(korvane_json INTERFACE)
  target_include_directories(korvane_json SYSTEM INTERFACE ${PROJECT_BINARY_DIR}/json-include)
  add_library(nlohmann_json::nlohmann_json ALIAS korvane_json)
endif()
