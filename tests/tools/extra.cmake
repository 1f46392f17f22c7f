# The tools' tests: the simulator's parts in-process, the host tool as a
# program, and headless Chromium on the simulator's page. The tools are
# defined here when they are switched off (KORVANE_BUILD_TOOLS=OFF).
include(${CMAKE_SOURCE_DIR}/tools/host/host.cmake)
target_link_libraries(${TEST_TARGET} PRIVATE korvane_host_core korvane_simulator PkgConfig::HTTPLIB
                                             ${CMAKE_DL_LIBS})
target_compile_definitions(${TEST_TARGET} PRIVATE
  KORVANE_LIBRARY_PATH="$<TARGET_FILE:korvane>"
  KORVANE_HOST_TOOL="$<TARGET_FILE:korvane-host>"
  KORVANE_SIMULATOR_TOOL="$<TARGET_FILE:korvane-simulator>"
  KORVANE_EXAMPLES_DIR="${CMAKE_SOURCE_DIR}/examples"
  KORVANE_ARTIFACTS_DIR="${CMAKE_BINARY_DIR}/test-artifacts")
add_dependencies(${TEST_TARGET} korvane korvane-host korvane-simulator)
