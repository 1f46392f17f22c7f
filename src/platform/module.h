// The module that holds the library (the shared library a host loads): the
// platform runs the library's own start-up when a process loads the module
// and its shut-down before the process unloads it. The entry file of each
// platform (module_posix.cpp ...) is built into the shared library itself,
// beside the exports, not into the static core.
#pragma once

namespace korvane::platform {

// Defined by the library, once, in the unit that makes its exports. The
// platform calls OnModuleLoad while the loader brings the module into the
// process, and OnModuleUnload while it takes the module out, before the
// module's static objects are destroyed. Neither lets an exception out; the
// library keeps what they need in objects made on first use.
void OnModuleLoad() noexcept;
void OnModuleUnload() noexcept;

// Each export calls this first. Where the loader's entry may not run the
// start-up (on Windows it runs under the loader's lock, where no thread may
// be started), it runs OnModuleLoad here once, outside that lock; where the
// entry has run it, this does nothing.
void EnsureModuleLoaded() noexcept;

// Each export calls this last, on the host's thread. Where the runtime linked
// into the module keeps a record of each host thread that came by (on
// Windows the threads library does, with an event and a duplicate of the
// thread's handle, freed only when the thread ends while the module is
// still there), it gives that record back here: the host's threads then hold
// nothing of the module between calls, whenever and on whichever thread the
// module goes.
void LeaveModule() noexcept;

}  // namespace korvane::platform
