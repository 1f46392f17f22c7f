// Headless Chromium for looking at the customer's screen: the DOM after the
// page's script ran, or a screenshot. Each run gets a fresh profile folder.
// Linux only (browser_posix.cpp).
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace korvane::host {

// The browser to use: $KORVANE_CHROMIUM, else chromium (or chromium-browser,
// google-chrome) in /usr/bin; "" when there is none (always on Windows,
// where the tool drives no browser: browser_win32.cpp).
std::string FindChromium();
// Why FindChromium found none, as the tool says it.
std::string NoBrowserReason();

// The serialised DOM of aUrl once it has loaded; with aVirtualTimeMs, once
// the page's timers and requests have had that much (virtual) time. Throws
// HostError when the browser fails or takes longer than aTimeout.
std::string DumpDom(const std::string& aBrowser, const std::string& aUrl,
                    std::chrono::seconds aTimeout = std::chrono::seconds(60), int aVirtualTimeMs = 0);

// A PNG of aUrl at aWidth x aHeight pixels, written to aPngPath.
void Screenshot(const std::string& aBrowser, const std::string& aUrl, const std::string& aPngPath,
                int aWidth = 1280, int aHeight = 800,
                std::chrono::seconds aTimeout = std::chrono::seconds(60));

}  // namespace korvane::host
