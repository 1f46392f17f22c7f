target_link_libraries(${TEST_TARGET} PRIVATE PkgConfig::HTTPLIB)
