// Windows only: a server's certificate checked against the authorities of a
// PEM file rather than the system's store, and against the host name.
#pragma once

#include <windows.h>
// (wincrypt.h needs windows.h)
#include <wincrypt.h>

#include <string>

namespace korvane::platform {

// Why aServer (with the certificates the server sent beside it, in its
// store) is not to be trusted as aHost: its chain does not lead to one of
// the certificates of aCaFile (PEM, one or more), a certificate of the
// chain is out of date, badly signed or not meant for a server, or the
// certificate does not name aHost. Empty when it is to be trusted.
// Revocation is not checked. Fails with an Error when the CA file cannot
// be read or holds no certificate.
std::string UntrustedReason(PCCERT_CONTEXT aServer, const std::string& aCaFile, const std::wstring& aHost);

}  // namespace korvane::platform
