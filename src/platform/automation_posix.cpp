// No automation on this system: nothing can be created.
#include "platform/automation.h"
#include "platform/error.h"

namespace korvane::platform {

bool AutomationAvailable() { return false; }

bool ClassRegisteredForOtherBitnessOnly(const std::string&) { return false; }

struct AutomationObject::System {};

AutomationObject::AutomationObject(const std::string&, const std::string&, int) {
  throw Error("Automation is not available on this system");
}

AutomationObject::~AutomationObject() = default;

AutomationValue AutomationObject::Call(const std::string&, std::vector<AutomationValue>&, int) {
  throw Error("Automation is not available on this system");
}

AutomationValue AutomationObject::Get(const std::string&, int) {
  throw Error("Automation is not available on this system");
}

void AutomationObject::Put(const std::string&, const AutomationValue&, int) {
  throw Error("Automation is not available on this system");
}

}  // namespace korvane::platform
