// The automation values, the same on every system.
#include "platform/automation.h"

#include <cstdio>

#include "platform/error.h"

namespace korvane::platform {

AutomationValue AutomationValue::Int(int32_t aValue, bool aByRef) {
  AutomationValue value;
  value.type = Type::Int;
  value.intValue = aValue;
  value.byRef = aByRef;
  return value;
}

AutomationValue AutomationValue::Bool(bool aValue) {
  AutomationValue value;
  value.type = Type::Bool;
  value.boolValue = aValue;
  return value;
}

AutomationValue AutomationValue::Currency(int64_t aValue) {
  AutomationValue value;
  value.type = Type::Currency;
  value.currencyValue = aValue;
  return value;
}

AutomationValue AutomationValue::Text(std::string aValue, bool aByRef) {
  AutomationValue value;
  value.type = Type::Text;
  value.textValue = std::move(aValue);
  value.byRef = aByRef;
  return value;
}

int32_t AutomationValue::AsInt(const std::string& aWhat) const {
  if (type == Type::Int) return intValue;
  throw Error(aWhat + ": the object did not answer an integer");
}

bool AutomationValue::AsBool(const std::string& aWhat) const {
  if (type == Type::Bool) return boolValue;
  if (type == Type::Int) return intValue != 0;
  throw Error(aWhat + ": the object did not answer a Boolean");
}

const std::string& AutomationValue::AsText(const std::string& aWhat) const {
  if (type == Type::Text) return textValue;
  throw Error(aWhat + ": the object did not answer a text");
}

std::string HresultText(int aHresult) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(aHresult));
  return text;
}

}  // namespace korvane::platform
