# The smoke host (tests/e2e/smoke_host.cpp): a plain Windows program, without
# GoogleTest or the test support, that loads the DLL at run time and calls
# its exports as a point-of-sale host does. It loads the DLL with the
# project's one loader (korvane_loader, which needs neither) and answers as
# the display with the tests' header-only DisplayPeer. Registered with CTest, which runs
# it under Wine (CMAKE_CROSSCOMPILING_EMULATOR); scripts/windows_smoke.sh
# builds and runs it in the 32-bit build.
if(NOT WIN32)
  message(FATAL_ERROR "the smoke host is a Windows program (KORVANE_BUILD_SMOKE needs a Windows build)")
endif()
include(${PROJECT_SOURCE_DIR}/tools/loader/loader.cmake)
add_executable(korvane_smoke_host tests/e2e/smoke_host.cpp tests/e2e/smoke_host_system_win32.cpp)
target_include_directories(korvane_smoke_host PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(korvane_smoke_host PRIVATE ${KORVANE_WARNINGS})
target_compile_definitions(korvane_smoke_host PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                      _WIN32_WINNT=0x0601)
target_link_libraries(korvane_smoke_host PRIVATE korvane_loader korvane_helpers Threads::Threads ws2_32 shell32)
add_dependencies(korvane_smoke_host korvane)
set_target_properties(korvane_smoke_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
add_test(NAME smoke.HostCallsTheExportsAndUnloads COMMAND korvane_smoke_host $<TARGET_FILE:korvane>)
# (the host's own watchdog ends it after 60 s; CTest's bound is the last resort)
set_tests_properties(smoke.HostCallsTheExportsAndUnloads PROPERTIES LABELS smoke TIMEOUT 120
                     PASS_REGULAR_EXPRESSION "smoke: passed")
