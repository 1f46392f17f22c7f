// The display protocol's TCP side: accepts connections, splits the byte
// stream into frames, hands each to the simulator and answers it (or, with
// a fault set, does not). One thread runs every connection; the faults are
// the simulator's current ones, looked at whenever they matter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvane::simulator {

class DisplaySimulator;
struct Faults;

class TcpFrontend {
 public:
  explicit TcpFrontend(DisplaySimulator& aDisplay);
  ~TcpFrontend();

  // Binds aAddress:aPort (0: a free port) and starts serving (only binding
  // with aRefuse); returns the port. Throws std::runtime_error when the
  // address cannot be bound.
  std::uint16_t Start(const std::string& aAddress, std::uint16_t aPort, bool aRefuse);
  // Follows faults that changed while it runs: stops or starts listening
  // (the port stays bound), and once the display reads again handles what
  // waited on its connections, oldest first. Returns when that is done, at
  // most after a few seconds; throws std::runtime_error when the port cannot
  // be bound again or the connection thread does not answer.
  void FaultsChanged(const Faults& aFaults);
  // Closes the listening socket and every connection.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> fImpl;
};

}  // namespace korvane::simulator
