# korvane_loader: the library loaded at run time as a point-of-sale host
# loads it (korvane_library.h; the system's part in library_module_*.cpp).
# It is the project's one loader. It lives with the tools because they ship
# to users and must not link the test support; the test support, the
# benchmarks and the smoke host link this same target instead of a loader of
# their own. It needs only the standard library, the portable helpers and
# the system (no GoogleTest, httplib or OpenSSL), so that the smoke host,
# built without tests in the 32-bit Windows build, links it too. Included
# from tools/host, tests/support and the smoke host; the first inclusion
# defines the target.
include_guard(GLOBAL)

set(KORVANE_LOADER_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(korvane_loader STATIC ${KORVANE_LOADER_DIR}/korvane_library.cpp)
if(WIN32)  # LoadLibraryW; the BSTRs are OleAut32's
  target_sources(korvane_loader PRIVATE ${KORVANE_LOADER_DIR}/library_module_win32.cpp)
  target_link_libraries(korvane_loader PUBLIC oleaut32)
else()  # dlopen; the BSTRs are the library's own
  target_sources(korvane_loader PRIVATE ${KORVANE_LOADER_DIR}/library_module_posix.cpp)
  target_link_libraries(korvane_loader PUBLIC ${CMAKE_DL_LIBS})
endif()
target_include_directories(korvane_loader PUBLIC ${KORVANE_LOADER_DIR} ${PROJECT_SOURCE_DIR}/include)
target_compile_options(korvane_loader PRIVATE ${KORVANE_WARNINGS})
target_link_libraries(korvane_loader PUBLIC korvane_helpers)
