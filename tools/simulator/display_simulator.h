// The display simulator: the display application of the protocol, with the
// customer's screen drawn on a live web page.
//
//   DisplaySimulator simulator(options);
//   simulator.Start();                 // binds both ports, starts the threads
//   ... the library sends its frames to simulator.DisplayPort() ...
//   simulator.State();                 // what the screen shows, as JSON
//   simulator.Stop();
//
// Threads: one for the TCP connections, one that returns the screen to idle
// after the idle time-out, and the web server's. The screen state and the
// faults are shared under one lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>

#include "faults.h"
#include "screen_state.h"

namespace korvane::simulator {

struct SimulatorOptions {
  std::string fAddress = "127.0.0.1";  // display protocol
  std::uint16_t fPort = 0;             // 0: any free port
  bool fWeb = true;
  std::string fWebAddress = "127.0.0.1";
  std::uint16_t fWebPort = 0;
  std::string fRecordFile;  // every frame received, one JSON object per line
  Faults fFaults;           // the faults at start-up
  // A record file (fRecordFile's form) played back onto the screen at its
  // own pace: each frame after the time between the two in the file, at
  // most fReplayLongestPause. It starts once a page has asked for the screen
  // (so that someone watches from the first frame), at the latest after
  // fReplayWaitForPage; without the page at once.
  std::string fReplayFile;
  std::chrono::milliseconds fReplayLongestPause{5000};
  std::chrono::milliseconds fReplayWaitForPage{30000};
  // What the page shows besides the screen, given to it in the state's
  // "page": the panel size it draws at ("800x480", "portrait", ...; empty:
  // the whole browser window) and the 2 x 20 pole-display emulation.
  std::string fScreen;
  bool fPole = false;
  // One line per frame received and per problem; aError marks problems.
  std::function<void(const std::string& aLine, bool aError)> fLog;
};

class TcpFrontend;
class WebFrontend;

class DisplaySimulator {
 public:
  explicit DisplaySimulator(SimulatorOptions aOptions);
  ~DisplaySimulator();
  DisplaySimulator(const DisplaySimulator&) = delete;
  DisplaySimulator& operator=(const DisplaySimulator&) = delete;

  // Throws std::runtime_error with a one-line reason when a port cannot be
  // bound or the record file cannot be written.
  void Start();
  void Stop();

  std::uint16_t DisplayPort() const { return fDisplayPort; }
  std::uint16_t WebPort() const { return fWebPort; }
  // "http://127.0.0.1:<web port>/"; empty without the web page.
  std::string WebUrl() const;
  const SimulatorOptions& Options() const { return fOptions; }

  // Handles the text of one frame from aPeer: shows it, records it, logs it.
  // Returns the status text the display answers ("OK" or "ERROR: ...").
  std::string Receive(std::string_view aText, const std::string& aPeer);

  // The faults in force. SetFaults switches them at once for every
  // connection; UpdateFaults applies the members of a JSON object (see
  // faults.h) and returns the new set. Both log the change, count it as a
  // change of the state, and throw (std::invalid_argument for bad JSON,
  // std::runtime_error when the port cannot be bound again) leaving the
  // faults as they were.
  Faults CurrentFaults() const;
  void SetFaults(const Faults& aFaults);
  Faults UpdateFaults(const nlohmann::json& aChanges);

  // The screen's state with the faults in force ("faults"); its version
  // counts the changes of both.
  nlohmann::json State() const;
  std::uint64_t Version() const;
  // The state as JSON text once its version is above aAfter, or after
  // aWait (or on Stop), whichever comes first.
  std::string StateText(std::uint64_t aAfter, std::chrono::milliseconds aWait) const;
  // Waits until aCondition holds for the state (checked on every change).
  bool WaitFor(const std::function<bool(const nlohmann::json&)>& aCondition,
               std::chrono::milliseconds aTimeout) const;
  ImagePtr ImageBySerial(std::uint64_t aSerial) const;
  // The last frames received, newest last: the time, the peer, the text
  // (long texts shortened), the answer, the warnings and the faults then in
  // force.
  nlohmann::json Frames() const;
  // Whether the replay has sent every frame of its file.
  bool ReplayDone() const;
  // A page asked for the screen (the web front end says so).
  void NotePageSeen();

 private:
  void Log(const std::string& aLine, bool aError) const;
  void Record(std::string_view aText, const std::string& aPeer, const std::string& aStatus, bool aParsed);
  void IdleClock();
  void Replay(std::vector<std::string> aLines);
  void NoteFrame(std::string_view aText, const std::string& aPeer, const std::string& aStatus,
                 const std::vector<std::string>& aWarnings);
  // With fFaultChangeMutex held.
  void SwitchFaults(const Faults& aNext);
  nlohmann::json StateLocked() const;
  std::uint64_t VersionLocked() const { return fState.Version() + fFaultChanges; }

  SimulatorOptions fOptions;
  mutable std::mutex fMutex;
  mutable std::condition_variable fChanged;
  ScreenState fState;
  Faults fFaults;
  std::uint64_t fFaultChanges = 0;
  std::mutex fFaultChangeMutex;  // one change of the faults at a time
  bool fStopping = false;
  mutable std::string fCachedText;
  mutable std::uint64_t fCachedVersion = ~std::uint64_t(0);

  std::mutex fRecordMutex;
  std::FILE* fRecord = nullptr;

  std::thread fIdleThread;
  std::thread fReplayThread;
  bool fReplayDone = false;
  bool fPageSeen = false;
  std::deque<nlohmann::json> fFrames;  // under fMutex
  std::condition_variable fIdleWake;   // only when the idle deadline comes sooner
  ScreenState::Clock::time_point fIdleWaitsUntil = ScreenState::Clock::time_point::max();
  std::unique_ptr<TcpFrontend> fTcp;
  std::unique_ptr<WebFrontend> fWeb;
  std::uint16_t fDisplayPort = 0;
  std::uint16_t fWebPort = 0;
  bool fStarted = false;
};

}  // namespace korvane::simulator
