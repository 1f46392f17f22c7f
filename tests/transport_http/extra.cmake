# The loopback peers use cpp-httplib (compiled library, built with TLS) and
# OpenSSL for the throw-away certificate.
find_package(PkgConfig REQUIRED)
pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
target_link_libraries(${TEST_TARGET} PRIVATE PkgConfig::CPP_HTTPLIB OpenSSL::SSL OpenSSL::Crypto)
