#include "faults.h"

#include <stdexcept>

namespace korvane::simulator {

using nlohmann::json;

json FaultsToJson(const Faults& aFaults) {
  return {{"refuse", aFaults.fRefuse},
          {"noReply", aFaults.fNoReply},
          {"replyDelay", aFaults.fReplyDelay.count()},
          {"closeBeforeEtx", aFaults.fCloseBeforeEtx},
          {"stopReading", aFaults.fStopReading},
          {"trickle", aFaults.fTrickle.count()}};
}

namespace {

bool Flag(const std::string& aName, const json& aValue) {
  if (!aValue.is_boolean()) throw std::invalid_argument("\"" + aName + "\" must be true or false");
  return aValue.get<bool>();
}

std::chrono::milliseconds Delay(const std::string& aName, const json& aValue) {
  if (!aValue.is_number_integer() || aValue.get<long long>() < 0 ||
      aValue.get<long long>() > kMaxFaultDelayMs)
    throw std::invalid_argument("\"" + aName + "\" must be a whole number of milliseconds from 0 to " +
                                std::to_string(kMaxFaultDelayMs));
  return std::chrono::milliseconds(aValue.get<long long>());
}

}  // namespace

Faults ChangeFaults(Faults aFaults, const json& aChanges) {
  if (!aChanges.is_object()) throw std::invalid_argument("the faults must be a JSON object");
  for (const auto& [name, value] : aChanges.items()) {
    if (name == "refuse")
      aFaults.fRefuse = Flag(name, value);
    else if (name == "noReply")
      aFaults.fNoReply = Flag(name, value);
    else if (name == "replyDelay")
      aFaults.fReplyDelay = Delay(name, value);
    else if (name == "closeBeforeEtx")
      aFaults.fCloseBeforeEtx = Flag(name, value);
    else if (name == "stopReading")
      aFaults.fStopReading = Flag(name, value);
    else if (name == "trickle")
      aFaults.fTrickle = Delay(name, value);
    else
      throw std::invalid_argument("unknown fault \"" + name +
                                  "\" (refuse, noReply, replyDelay, closeBeforeEtx, stopReading, trickle)");
  }
  return aFaults;
}

std::string DescribeFaults(const Faults& aFaults) {
  std::string text;
  const auto add = [&text](const std::string& aPart) { text += (text.empty() ? "" : ", ") + aPart; };
  if (aFaults.fRefuse) add("refuse");
  if (aFaults.fNoReply) add("no reply");
  if (aFaults.fReplyDelay.count() > 0)
    add("reply delay " + std::to_string(aFaults.fReplyDelay.count()) + " ms");
  if (aFaults.fCloseBeforeEtx) add("close before ETX");
  if (aFaults.fStopReading) add("stop reading");
  if (aFaults.fTrickle.count() > 0) add("trickle " + std::to_string(aFaults.fTrickle.count()) + " ms");
  return text.empty() ? "none" : text;
}

}  // namespace korvane::simulator
