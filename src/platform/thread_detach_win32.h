// Telling the module that the calling thread is done with it, as the loader
// does when a thread ends (the module's TLS callbacks, DLL_THREAD_DETACH):
// what the runtime linked into the module keeps for the thread (the threads
// library's record of a thread it did not start, with an event and a
// duplicate of the thread's handle) goes back now. For a thread that lets the
// module go before it ends, and for the thread that unloads it; the
// callbacks find nothing left if they are told again.
#pragma once

#include <windows.h>

namespace korvane::platform {

void DetachThreadFromModule(HMODULE aModule) noexcept;

}  // namespace korvane::platform
