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
