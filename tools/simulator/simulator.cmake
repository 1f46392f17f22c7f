# korvane_simulator: the display simulator as a library (framing, messages,
# screen state, TCP and web front ends), used by the program
# korvane-simulator, by the host tool's demo and by the tests. Included from tools/simulator and from
# tests/tools (which need it also when the tools are switched off); the
# first inclusion defines it.
include_guard(GLOBAL)

if(NOT WIN32)  # (the Windows build's own: cmake/WindowsDeps.cmake)
  find_package(nlohmann_json REQUIRED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES IMPORTED_GLOBAL TRUE)
endif()
find_package(Threads REQUIRED)

set(KORVANE_SIMULATOR_DIR ${CMAKE_CURRENT_LIST_DIR})
set(_page_cpp ${PROJECT_BINARY_DIR}/generated/simulator_page.cpp)
korvane_embed_files(${_page_cpp} korvane::simulator
  kPageHtml=${KORVANE_SIMULATOR_DIR}/web/index.html
  kPageCss=${KORVANE_SIMULATOR_DIR}/web/display.css
  kPageJs=${KORVANE_SIMULATOR_DIR}/web/display.js)

add_library(korvane_simulator STATIC
  ${KORVANE_SIMULATOR_DIR}/faults.cpp
  ${KORVANE_SIMULATOR_DIR}/frame_parser.cpp
  ${KORVANE_SIMULATOR_DIR}/display_message.cpp
  ${KORVANE_SIMULATOR_DIR}/screen_state.cpp
  ${KORVANE_SIMULATOR_DIR}/display_simulator.cpp
  ${KORVANE_SIMULATOR_DIR}/tcp_frontend.cpp
  ${KORVANE_SIMULATOR_DIR}/web_frontend.cpp
  ${_page_cpp})
if(WIN32)  # Winsock for Asio and cpp-httplib, whose headers come with the Windows build's own
  target_sources(korvane_simulator PRIVATE ${KORVANE_SIMULATOR_DIR}/simulator_system_win32.cpp)
  target_include_directories(korvane_simulator SYSTEM PUBLIC ${KORVANE_WINDOWS_INCLUDE})
  target_compile_definitions(korvane_simulator PUBLIC _WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(korvane_simulator PUBLIC ws2_32 mswsock)
else()
  target_sources(korvane_simulator PRIVATE ${KORVANE_SIMULATOR_DIR}/simulator_system_posix.cpp)
endif()
target_include_directories(korvane_simulator PUBLIC ${KORVANE_SIMULATOR_DIR})
target_compile_options(korvane_simulator PRIVATE ${KORVANE_WARNINGS})
if(KORVANE_SANITIZE STREQUAL "thread")
  # Asio uses std::atomic_thread_fence, which ThreadSanitizer warns about.
  target_compile_options(korvane_simulator PRIVATE -Wno-tsan)
endif()
target_link_libraries(korvane_simulator PUBLIC korvane_helpers nlohmann_json::nlohmann_json Threads::Threads
                                        PRIVATE PkgConfig::HTTPLIB)

add_executable(korvane-simulator ${KORVANE_SIMULATOR_DIR}/main.cpp)
target_compile_options(korvane-simulator PRIVATE ${KORVANE_WARNINGS})
target_link_libraries(korvane-simulator PRIVATE korvane_simulator)
set_target_properties(korvane-simulator PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tools)

# The benchmark of the simulator lives in bench/, which is configured before
# tools/: link it once every directory has been read.
function(korvane_link_simulator_bench)
  if(TARGET simulator_bench)
    target_link_libraries(simulator_bench PRIVATE korvane_simulator)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL korvane_link_simulator_bench)
