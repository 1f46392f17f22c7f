// The library this build made (KORVANE_LIBRARY_PATH), for the end-to-end
// tests and the host benchmarks: loaded by the project's one loader
// (tools/loader/korvane_library.h) as a host loads it, and unloaded again at
// the end of the scope, so that a test sees it go.
#pragma once

#include <string>
#include <utility>

#include "korvane_library.h"

namespace korvane::testing {

using host::CallResult;
using host::kLibraryExportsStrings;
using host::kLibraryStartsOnLoad;

class Library : public host::KorvaneLibrary {
 public:
  explicit Library(std::string aPath = KORVANE_LIBRARY_PATH)
      : KorvaneLibrary(std::move(aPath), AtEnd::Unload) {}

  // VERSION with aName as one text for the assertions: nothing (no string
  // at all) is "<null>"; " <unexpected>" follows when the call failed or set
  // an error text.
  std::string VersionText(const std::string& aName) const {
    const CallResult version = Call("VERSION", aName);
    std::string text = version.fEnvelopeIsNull ? "<null>" : version.fEnvelope;
    if (version.fResult != 0 || !version.fErrorTextIsNull) text += " <unexpected>";
    return text;
  }
};

}  // namespace korvane::testing
