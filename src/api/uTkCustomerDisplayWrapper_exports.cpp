// The library module: what runs when a host loads and unloads it.
#include <cstdio>
#include <exception>

#include "base/uTK_Base.h"

namespace {

__attribute__((constructor)) void KorvaneModuleLoad() {
  try {
    korvane::CreateApplication();
  } catch (const std::exception& e) {
    // A loader cannot be told that initialisation failed; the calls report it.
    std::fprintf(stderr, "QORD_KORVANE_10: initialisation failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "QORD_KORVANE_10: initialisation failed\n");
  }
}

__attribute__((destructor)) void KorvaneModuleUnload() {
  try {
    korvane::DestroyApplication(true);
  } catch (...) {
  }
}

}  // namespace
