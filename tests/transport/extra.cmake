# A small shared library for the DLL transport tests, built beside them.
add_library(transport_sample_library SHARED ${CMAKE_CURRENT_LIST_DIR}/sample_library.c)
set_target_properties(transport_sample_library PROPERTIES
  C_VISIBILITY_PRESET default
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_dependencies(${TEST_TARGET} transport_sample_library)
target_compile_definitions(${TEST_TARGET} PRIVATE
  TRANSPORT_SAMPLE_LIBRARY="$<TARGET_FILE:transport_sample_library>")

# The peers use Asio, whose handler memory has a standalone fence that
# ThreadSanitizer does not model (GCC warns about it); each io_context here
# runs on one thread.
if(KORVANE_SANITIZE STREQUAL "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(${TEST_TARGET} PRIVATE -Wno-tsan)
endif()
