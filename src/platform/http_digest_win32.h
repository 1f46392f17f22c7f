// Windows only: the answer to an HTTP Digest challenge (MD5, with or without
// qop=auth), made by the library itself, since not every WinHTTP answers
// Digest challenges.
#pragma once

#include <string>

namespace korvane::platform {

// The value of the Authorization header that answers aChallenge (the value of
// a WWW-Authenticate header) for aMethod on aUri; empty when aChallenge is no
// Digest challenge with MD5. Fails with an Error when the system cannot hash.
std::string DigestAuthorization(const std::string& aChallenge, const std::string& aMethod,
                                const std::string& aUri, const std::string& aUser,
                                const std::string& aPassword);

}  // namespace korvane::platform
