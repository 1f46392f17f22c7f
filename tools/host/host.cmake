# korvane-host: loads QORD_KORVANE_10.so at run time like any point-of-sale
# host (it links none of the library) and drives it: single calls, the
# version, the demo sale. korvane_host_core holds its parts for the tests.
# Included from tools/host and from tests/tools; the first inclusion defines
# the targets.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/../simulator/simulator.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../loader/loader.cmake)

set(KORVANE_HOST_DIR ${CMAKE_CURRENT_LIST_DIR})
set(_assets_cpp ${PROJECT_BINARY_DIR}/generated/host_assets.cpp)
korvane_embed_files(${_assets_cpp} korvane::host kLogoPng=${PROJECT_SOURCE_DIR}/examples/images/logo.png
  kExampleOpen=${PROJECT_SOURCE_DIR}/examples/open.xml kExampleClose=${PROJECT_SOURCE_DIR}/examples/close.xml
  kExampleMessage=${PROJECT_SOURCE_DIR}/examples/message.xml
  kExampleCloseMessage=${PROJECT_SOURCE_DIR}/examples/closemessage.xml
  kExampleReceipt=${PROJECT_SOURCE_DIR}/examples/receipt.xml
  kExampleThankyou=${PROJECT_SOURCE_DIR}/examples/thankyou.xml kExampleIdle=${PROJECT_SOURCE_DIR}/examples/idle.xml)

add_library(korvane_host_core STATIC
  ${KORVANE_HOST_DIR}/request_file.cpp
  ${KORVANE_HOST_DIR}/request_lint.cpp
  ${KORVANE_HOST_DIR}/request_builder.cpp
  ${KORVANE_HOST_DIR}/host_session.cpp
  ${KORVANE_HOST_DIR}/call_watchdog.cpp
  ${KORVANE_HOST_DIR}/demo.cpp
  ${_assets_cpp})
if(WIN32)  # (no Chromium to drive there)
  target_sources(korvane_host_core PRIVATE ${KORVANE_HOST_DIR}/host_system_win32.cpp
                                           ${KORVANE_HOST_DIR}/browser_win32.cpp)
else()
  target_sources(korvane_host_core PRIVATE ${KORVANE_HOST_DIR}/host_system_posix.cpp
                                           ${KORVANE_HOST_DIR}/browser_posix.cpp)
endif()
target_include_directories(korvane_host_core PUBLIC ${KORVANE_HOST_DIR} ${PROJECT_SOURCE_DIR}/include)
target_compile_options(korvane_host_core PRIVATE ${KORVANE_WARNINGS})
target_link_libraries(korvane_host_core PUBLIC korvane_loader korvane_simulator korvane_helpers pugixml::pugixml
                                               Threads::Threads)

add_executable(korvane-host ${KORVANE_HOST_DIR}/main.cpp)
target_compile_options(korvane-host PRIVATE ${KORVANE_WARNINGS})
# The library that comes with it (beside it, or in the libdir of its
# prefix), else the one built with it.
target_compile_definitions(korvane-host PRIVATE KORVANE_LIBRARY_PATH="$<TARGET_FILE:korvane>"
                           KORVANE_LIBRARY_FILE_NAME="$<TARGET_FILE_NAME:korvane>"
                           KORVANE_INSTALL_LIBDIR="${CMAKE_INSTALL_LIBDIR}")
if(WIN32)  # the console's own line editing
  target_sources(korvane-host PRIVATE ${KORVANE_HOST_DIR}/line_reader_win32.cpp)
  target_link_libraries(korvane-host PRIVATE korvane_host_core)
else()
  # The session mode reads its commands with libedit's line editor (history,
  # completion; BSD-licensed, so the tool can go wherever the library goes).
  target_sources(korvane-host PRIVATE ${KORVANE_HOST_DIR}/line_reader_posix.cpp)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBEDIT REQUIRED IMPORTED_TARGET libedit)
  target_link_libraries(korvane-host PRIVATE korvane_host_core PkgConfig::LIBEDIT)
endif()
set_target_properties(korvane-host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tools)
# The library it loads by default is built with it.
add_dependencies(korvane-host korvane)
