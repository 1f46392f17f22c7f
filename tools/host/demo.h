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
  // Half-way the embedded display freezes (stops reading) for a few steps,
  // then reads again; the sale goes on through the failed calls.
  bool fFaults = false;
};

// The read time-out of the fault demo's OPEN, and the bound its failed
// calls must keep: 3 x the read time-out. A call still in the library
// after kFaultCallLimit ends the demo with a line saying so.
inline constexpr int kFaultReadTimeoutMs = 1000;
inline constexpr int kFaultCallBoundMs = 3 * kFaultReadTimeoutMs;
inline constexpr std::chrono::seconds kFaultCallLimit{10};
// How many steps the display stays frozen.
inline constexpr std::size_t kFrozenSteps = 3;

// One step of the sale: which call, a short description and the request.
struct DemoStep {
  std::string fCall;
  std::string fWhat;
  std::string fRequest;     // the XML, with HANDLE in place of the device handle
  std::string fScreenshot;  // "idle", "receipt", "thankyou" or ""
};

// The sale's steps for a display at aDisplay, whose OPEN gives aReadTimeoutMs.
std::vector<DemoStep> DemoSale(const DisplayAddress& aDisplay, int aReadTimeoutMs = 5000);

// The first step (from 0) of aStepCount that the fault demo runs with the
// display frozen.
std::size_t FirstFrozenStep(std::size_t aStepCount);

// Runs the demo; progress on aOut, problems (one line each) on aErr.
// Returns the process exit status.
int RunDemo(const DemoOptions& aOptions, std::FILE* aOut, std::FILE* aErr);

}  // namespace korvane::host
