# The loopback peers use cpp-httplib (compiled library, built with TLS) and
# OpenSSL for the throw-away certificate.
target_link_libraries(${TEST_TARGET} PRIVATE PkgConfig::HTTPLIB OpenSSL::SSL OpenSSL::Crypto)
