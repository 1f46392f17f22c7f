// The OPOS fiscal printer control that is installed on the machine, reached
// by automation: the OPOS common control object for fiscal printers, called
// on the library's automation apartment (platform/automation.h).
#pragma once

#include <memory>

#include "transport/opos_control.h"

namespace korvane {

inline constexpr const char* kOPOSFiscalPrinterClassId = "{CCB90072-B81E-11D2-AB74-0040054C3719}";
inline constexpr const char* kOPOSFiscalPrinterProgId = "OPOS.FiscalPrinter";

// How long a call of the control may take before it is an error (ClaimDevice
// has its own time-out on top).
inline constexpr int kOPOSCallMs = 60000;

// Creates the control. Fails with "OPOS fiscal printer control is not
// installed" and the HRESULT when no control is registered, and says so
// when one is registered for the other bitness only.
std::unique_ptr<IOPOSFiscalPrinter> CreateOPOSAutomationControl();

}  // namespace korvane
