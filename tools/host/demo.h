// The demo sale: drives the library through its exports the way a till
// does, against the display simulator (started in-process on free loopback
// ports) or against a display given by address.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "request_file.h"

namespace korvane::host {

struct DemoOptions {
  std::string fLibrary;                    // path of QORD_KORVANE_10.so
  std::optional<DisplayAddress> fDisplay;  // none: the embedded simulator
  std::chrono::milliseconds fPace{0};      // pause after every step
  bool fStay = false;                      // keep the embedded simulator running afterwards
  std::string fScreenshots;                // folder for idle.png, receipt.png, thankyou.png
  bool fShowDisplayLog = false;            // the embedded simulator's log on standard error
  std::chrono::seconds fCallTimeout{60};   // a call that takes longer ends the tool
};

// One step of the sale: which call, a short description and the request.
struct DemoStep {
  std::string fCall;
  std::string fWhat;
  std::string fRequest;     // the XML, with HANDLE in place of the device handle
  std::string fScreenshot;  // "idle", "receipt", "thankyou" or ""
};

// The sale's steps for a display at aDisplay.
std::vector<DemoStep> DemoSale(const DisplayAddress& aDisplay);

// Runs the demo; progress on aOut, problems (one line each) on aErr.
// Returns the process exit status.
int RunDemo(const DemoOptions& aOptions, std::FILE* aOut, std::FILE* aErr);

}  // namespace korvane::host
