// The choice of control for a device name: one registered in the library
// for it, the installed control where there is automation, else the
// simulator.
#include "transport/opos_control.h"

#include <map>
#include <mutex>

#include "helpers/ascii.h"
#include "platform/automation.h"
#include "transport/opos_automation.h"
#include "transport/opos_simulator.h"

namespace korvane {
namespace {

std::mutex gControlLock;
std::map<std::string, OPOSControlFactory>& Controls() {
  static std::map<std::string, OPOSControlFactory> controls;
  return controls;
}

}  // namespace

std::unique_ptr<IOPOSFiscalPrinter> CreateOPOSFiscalPrinter(const std::string& aDeviceName) {
  OPOSControlFactory factory;
  {
    std::lock_guard lock(gControlLock);
    const auto it = Controls().find(AsciiLower(aDeviceName));
    if (it != Controls().end()) factory = it->second;
  }
  if (factory) return factory();
  // Where automation is, so is OPOS: the control installed on the machine.
  if (platform::AutomationAvailable()) return CreateOPOSAutomationControl();
  return std::make_unique<kOPOSFiscalPrinterSim>();
}

void RegisterOPOSControl(const std::string& aDeviceName, OPOSControlFactory aFactory) {
  std::lock_guard lock(gControlLock);
  if (aFactory)
    Controls()[AsciiLower(aDeviceName)] = std::move(aFactory);
  else
    Controls().erase(AsciiLower(aDeviceName));
}

}  // namespace korvane
