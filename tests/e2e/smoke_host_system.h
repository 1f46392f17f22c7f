// The Windows half of the smoke host (smoke_host.cpp): the DLL's path from
// the wide command line and the watchdog. The DLL itself is loaded by the
// project's one loader (tools/loader/korvane_library.h), the display is the
// tests' DisplayPeer (support/display_peer.h).
#pragma once

#include <string>

namespace korvane::smoke {

// Ends the process with a message when it still runs after aSeconds: a host
// that hangs fails instead of waiting for ever.
void StartWatchdog(int aSeconds);

// The program's first argument (taken from the wide command line), as UTF-8;
// throws with the usage when there is none.
std::string LibraryPathArgument();

}  // namespace korvane::smoke
