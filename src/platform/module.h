// The module that holds the library (the shared library a host loads): the
// platform runs the library's own start-up when a process loads the module
// and its shut-down before the process unloads it.
#pragma once

namespace korvane::platform {

// Defined by the library, once, in the unit that makes its exports. The
// platform calls OnModuleLoad while the loader brings the module into the
// process, and OnModuleUnload while it takes the module out, before the
// module's static objects are destroyed. Neither lets an exception out; the
// library keeps what they need in objects made on first use.
void OnModuleLoad() noexcept;
void OnModuleUnload() noexcept;

// Brings the platform's load and unload entry into the module: the unit that
// defines the two functions above calls it once while its static objects are
// made (a static library adds its entry only to a module that uses it). It
// does nothing else.
void LinkModuleEntry() noexcept;

}  // namespace korvane::platform
