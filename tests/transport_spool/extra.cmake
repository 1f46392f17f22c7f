# The tests start a private CUPS scheduler with the project's script.
target_compile_definitions(${TEST_TARGET} PRIVATE KORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
