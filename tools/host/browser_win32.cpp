// On Windows the tool drives no browser: what needs headless Chromium (the
// demo's screenshots) says so.
#include "browser.h"
#include "korvane_library.h"

namespace korvane::host {

namespace {

constexpr const char* kNotOnWindows =
    "--screenshots is not available on Windows (it drives headless Chromium, which only the Linux "
    "tool does); open the page the demo prints in a browser instead";

}  // namespace

std::string FindChromium() { return ""; }

std::string NoBrowserReason() { return kNotOnWindows; }

std::string DumpDom(const std::string&, const std::string&, std::chrono::seconds, int) {
  throw HostError(kNotOnWindows);
}

void Screenshot(const std::string&, const std::string&, const std::string&, int, int, std::chrono::seconds) {
  throw HostError(kNotOnWindows);
}

}  // namespace korvane::host
