// Ways the simulated display misbehaves, for testing how a host copes with a
// faulty display. The start-up options set them; GET /faults and POST /faults
// read and switch them while the simulator runs.
//
// As JSON (what GET /faults answers; POST /faults takes any of the members):
//   {"refuse":false,"noReply":false,"replyDelay":0,"closeBeforeEtx":false,
//    "stopReading":false,"trickle":0}
// replyDelay and trickle are milliseconds, 0 for off.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

namespace korvane::simulator {

struct Faults {
  bool fRefuse = false;                      // refuse every connection
  bool fNoReply = false;                     // read frames and show them, never answer
  std::chrono::milliseconds fReplyDelay{0};  // answer each frame this much later
  bool fCloseBeforeEtx = false;              // answer STX and the status, then close without ETX
  bool fStopReading = false;                 // accept connections, read nothing (a frozen display)
  std::chrono::milliseconds fTrickle{0};     // answer one byte at a time, this long before each

  bool operator==(const Faults&) const = default;
};

// The longest delay a fault takes, in milliseconds (an hour).
inline constexpr long kMaxFaultDelayMs = 3600000;

nlohmann::json FaultsToJson(const Faults& aFaults);

// aFaults with the members of aChanges applied; members not given stay.
// Throws std::invalid_argument naming the member for an unknown member, a
// wrong type or a delay outside 0..kMaxFaultDelayMs, and for aChanges that is
// not an object.
Faults ChangeFaults(Faults aFaults, const nlohmann::json& aChanges);

// "none", or the faults set, e.g. "stop reading, trickle 200 ms".
std::string DescribeFaults(const Faults& aFaults);

}  // namespace korvane::simulator
