#include "display_simulator.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "simulator_system.h"
#include "tcp_frontend.h"
#include "web_frontend.h"

namespace korvane::simulator {

using nlohmann::json;

namespace {

// "2024-09-17T10:20:30.123Z"
std::string UtcTimestamp(std::chrono::system_clock::time_point aTime) {
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(aTime.time_since_epoch()).count() % 1000;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(aTime);
  const std::tm utc = UtcTime(seconds);
  char text[40];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
  return text;
}

// "10:20:30.123" in local time, for the console.
std::string LocalClock(std::chrono::system_clock::time_point aTime) {
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(aTime.time_since_epoch()).count() % 1000;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(aTime);
  const std::tm local = LocalTime(seconds);
  char text[24];
  const std::size_t length = std::strftime(text, sizeof text, "%H:%M:%S", &local);
  std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(millis));
  return text;
}

std::string JsonString(std::string_view aText) {
  return json(std::string(aText)).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

DisplaySimulator::DisplaySimulator(SimulatorOptions aOptions)
    : fOptions(std::move(aOptions)), fFaults(fOptions.fFaults) {}

DisplaySimulator::~DisplaySimulator() { Stop(); }

void DisplaySimulator::Start() {
  if (fStarted) return;
  if (!fOptions.fRecordFile.empty()) {
    fRecord = std::fopen(fOptions.fRecordFile.c_str(), "w");
    if (!fRecord)
      throw std::runtime_error("cannot write the record file " + fOptions.fRecordFile + ": " +
                               std::strerror(errno));
  }
  try {
    {
      std::lock_guard change(fFaultChangeMutex);
      fTcp = std::make_unique<TcpFrontend>(*this);
      fDisplayPort = fTcp->Start(fOptions.fAddress, fOptions.fPort, CurrentFaults().fRefuse);
    }
    if (fOptions.fWeb) {
      fWeb = std::make_unique<WebFrontend>(*this);
      fWebPort = fWeb->Start(fOptions.fWebAddress, fOptions.fWebPort);
    }
  } catch (...) {
    fTcp.reset();
    fWeb.reset();
    if (fRecord) std::fclose(fRecord), fRecord = nullptr;
    throw;
  }
  {
    std::lock_guard lock(fMutex);
    fStopping = false;
  }
  fIdleThread = std::thread([this] { IdleClock(); });
  if (!fOptions.fReplayFile.empty()) {
    std::ifstream in(fOptions.fReplayFile);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) lines.push_back(line);
    fReplayThread = std::thread([this, lines = std::move(lines)]() mutable { Replay(std::move(lines)); });
  }
  fStarted = true;
}

void DisplaySimulator::Stop() {
  if (!fStarted) return;
  {
    std::lock_guard lock(fMutex);
    fStopping = true;
  }
  fChanged.notify_all();
  fIdleWake.notify_all();
  if (fWeb) fWeb->Stop();
  {
    std::lock_guard change(fFaultChangeMutex);
    if (fTcp) fTcp->Stop();
    fTcp.reset();
  }
  if (fIdleThread.joinable()) fIdleThread.join();
  // (every wait of the replay ends on fStopping, notified above, and a frame
  // it plays is handled in this process: the join is short)
  if (fReplayThread.joinable()) fReplayThread.join();
  fWeb.reset();
  {
    std::lock_guard lock(fRecordMutex);
    if (fRecord) std::fclose(fRecord), fRecord = nullptr;
  }
  fStarted = false;
}

std::string DisplaySimulator::WebUrl() const {
  if (!fOptions.fWeb || !fWebPort) return "";
  const bool v6 = fOptions.fWebAddress.find(':') != std::string::npos;
  const std::string host = v6 ? "[" + fOptions.fWebAddress + "]" : fOptions.fWebAddress;
  return "http://" + host + ":" + std::to_string(fWebPort) + "/";
}

void DisplaySimulator::Log(const std::string& aLine, bool aError) const {
  if (fOptions.fLog) fOptions.fLog(LocalClock(std::chrono::system_clock::now()) + "  " + aLine, aError);
}

std::string DisplaySimulator::Receive(std::string_view aText, const std::string& aPeer) {
  std::string status = "OK";
  std::string summary;
  std::vector<std::string> warnings;
  bool parsed = false;
  try {
    const DisplayMessage message = ParseDisplayMessage(aText);
    parsed = true;
    summary = Summarize(message);
    warnings = message.fWarnings;
    std::lock_guard lock(fMutex);
    std::vector<std::string> applyWarnings;
    fState.Apply(message, ScreenState::Clock::now(), applyWarnings);
    warnings.insert(warnings.end(), applyWarnings.begin(), applyWarnings.end());
    // The idle clock sleeps until its deadline; wake it only to move that sooner.
    if (const auto deadline = fState.IdleDeadline(); deadline && *deadline < fIdleWaitsUntil)
      fIdleWake.notify_one();
  } catch (const std::exception& e) {
    status = std::string("ERROR: ") + e.what();
    std::lock_guard lock(fMutex);
    fState.NoteError(e.what());
  }
  NoteFrame(aText, aPeer, status, warnings);
  fChanged.notify_all();
  Record(aText, aPeer, status, parsed);
  if (parsed) {
    Log(summary + " from " + aPeer + " -> " + status, false);
    for (const auto& warning : warnings) Log("  warning: " + warning, true);
  } else {
    Log("frame of " + std::to_string(aText.size()) + " bytes from " + aPeer + " -> " + status, true);
  }
  return status;
}

void DisplaySimulator::Record(std::string_view aText, const std::string& aPeer, const std::string& aStatus,
                              bool aParsed) {
  std::lock_guard lock(fRecordMutex);
  if (!fRecord) return;
  std::string line = "{\"time\":" + JsonString(UtcTimestamp(std::chrono::system_clock::now())) +
                     ",\"peer\":" + JsonString(aPeer) + ",\"status\":" + JsonString(aStatus);
  // A message that parsed is recorded as sent (a member sent twice stays
  // twice); one that spans lines or did not parse, as a string.
  bool oneLine = aParsed;
  for (const char c : aText)
    if (static_cast<unsigned char>(c) < 0x20) oneLine = false;
  line += oneLine ? ",\"message\":" + std::string(aText) : ",\"text\":" + JsonString(aText);
  line += "}\n";
  std::fwrite(line.data(), 1, line.size(), fRecord);
  std::fflush(fRecord);
}

namespace {

constexpr std::size_t kFramesKept = 20;
constexpr std::size_t kFrameTextShown = 2000;

// The seconds since the epoch of a record's "2024-09-17T10:20:30.123Z".
std::optional<double> RecordSeconds(const std::string& aTime) {
  std::tm utc{};
  int millis = 0;
  if (std::sscanf(aTime.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &utc.tm_year, &utc.tm_mon, &utc.tm_mday,
                  &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &millis) != 7)
    return std::nullopt;
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  return static_cast<double>(UtcSeconds(utc)) + millis / 1000.0;
}

}  // namespace

void DisplaySimulator::NoteFrame(std::string_view aText, const std::string& aPeer, const std::string& aStatus,
                                 const std::vector<std::string>& aWarnings) {
  std::string text(aText.substr(0, kFrameTextShown));
  // Never half a character.
  while (text.size() < aText.size() && !text.empty() && (static_cast<unsigned char>(text.back()) & 0x80)) {
    const bool lead = (static_cast<unsigned char>(text.back()) & 0xC0) == 0xC0;
    text.pop_back();
    if (lead) break;
  }
  if (text.size() < aText.size()) text += " ... (" + std::to_string(aText.size()) + " bytes)";
  std::lock_guard lock(fMutex);
  fFrames.push_back({{"time", UtcTimestamp(std::chrono::system_clock::now())},
                     {"peer", aPeer},
                     {"text", text},
                     {"answer", aStatus},
                     {"warnings", aWarnings},
                     {"faults", DescribeFaults(fFaults)}});
  if (fFrames.size() > kFramesKept) fFrames.pop_front();
}

json DisplaySimulator::Frames() const {
  std::lock_guard lock(fMutex);
  json frames = json::array();
  for (const auto& frame : fFrames) frames.push_back(frame);
  return frames;
}

bool DisplaySimulator::ReplayDone() const {
  std::lock_guard lock(fMutex);
  return fReplayDone;
}

void DisplaySimulator::NotePageSeen() {
  {
    std::lock_guard lock(fMutex);
    if (fPageSeen) return;
    fPageSeen = true;
  }
  fChanged.notify_all();
}

void DisplaySimulator::Replay(std::vector<std::string> aLines) {
  if (fOptions.fWeb) {
    std::unique_lock lock(fMutex);
    fChanged.wait_for(lock, fOptions.fReplayWaitForPage, [this] { return fStopping || fPageSeen; });
    if (fStopping) return;
  }
  Log("replay: " + std::to_string(aLines.size()) + " frames", false);
  std::optional<double> previous;
  for (const auto& line : aLines) {
    json record;
    try {
      record = json::parse(line);
    } catch (const json::exception&) {
      Log("replay: a line that is not JSON, left out", true);
      continue;
    }
    std::string text;
    if (record.contains("message"))
      text = record["message"].dump();
    else if (record.contains("text") && record["text"].is_string())
      text = record["text"].get<std::string>();
    else
      continue;
    const auto at = record.contains("time") && record["time"].is_string()
                        ? RecordSeconds(record["time"].get<std::string>())
                        : std::nullopt;
    auto pause = std::chrono::milliseconds(0);
    if (previous && at && *at > *previous)
      pause = std::min(std::chrono::milliseconds(static_cast<long>((*at - *previous) * 1000)),
                       fOptions.fReplayLongestPause);
    if (at) previous = at;
    {
      std::unique_lock lock(fMutex);
      if (fChanged.wait_for(lock, pause, [this] { return fStopping; })) return;
    }
    Receive(text, "replay");
  }
  std::lock_guard lock(fMutex);
  fReplayDone = true;
  Log("replay: done", false);
}

void DisplaySimulator::IdleClock() {
  std::unique_lock lock(fMutex);
  while (!fStopping) {
    const auto deadline = fState.IdleDeadline();
    fIdleWaitsUntil = deadline.value_or(ScreenState::Clock::time_point::max());
    if (deadline)
      fIdleWake.wait_until(lock, *deadline);
    else
      fIdleWake.wait(lock);
    fIdleWaitsUntil = ScreenState::Clock::time_point::max();
    if (fStopping) break;
    if (fState.CheckIdle(ScreenState::Clock::now())) {
      lock.unlock();
      fChanged.notify_all();
      Log("idle time-out -> idle screen", false);
      lock.lock();
    }
  }
}

Faults DisplaySimulator::CurrentFaults() const {
  std::lock_guard lock(fMutex);
  return fFaults;
}

void DisplaySimulator::SetFaults(const Faults& aFaults) {
  std::lock_guard change(fFaultChangeMutex);
  SwitchFaults(aFaults);
}

Faults DisplaySimulator::UpdateFaults(const json& aChanges) {
  std::lock_guard change(fFaultChangeMutex);
  const Faults next = ChangeFaults(CurrentFaults(), aChanges);
  SwitchFaults(next);
  return next;
}

void DisplaySimulator::SwitchFaults(const Faults& aNext) {
  Faults before;
  {
    std::lock_guard lock(fMutex);
    if (fFaults == aNext) return;
    before = fFaults;
    // Set first: the connections look at the faults when they go on.
    fFaults = aNext;
  }
  try {
    if (fTcp) fTcp->FaultsChanged(aNext);
  } catch (const std::exception& e) {
    {
      std::lock_guard lock(fMutex);
      fFaults = before;
    }
    Log("faults: cannot switch to " + DescribeFaults(aNext) + ": " + e.what(), true);
    throw;
  }
  {
    std::lock_guard lock(fMutex);
    ++fFaultChanges;
  }
  fChanged.notify_all();
  Log("faults: " + DescribeFaults(aNext), false);
}

json DisplaySimulator::StateLocked() const {
  json state = fState.ToJson();
  state["version"] = VersionLocked();
  state["faults"] = FaultsToJson(fFaults);
  state["page"] = {{"screen", fOptions.fScreen}, {"pole", fOptions.fPole}};
  return state;
}

json DisplaySimulator::State() const {
  std::lock_guard lock(fMutex);
  return StateLocked();
}

std::uint64_t DisplaySimulator::Version() const {
  std::lock_guard lock(fMutex);
  return VersionLocked();
}

std::string DisplaySimulator::StateText(std::uint64_t aAfter, std::chrono::milliseconds aWait) const {
  std::unique_lock lock(fMutex);
  fChanged.wait_for(lock, aWait, [&] { return fStopping || VersionLocked() != aAfter; });
  if (fCachedVersion != VersionLocked()) {
    fCachedText = StateLocked().dump(-1, ' ', false, json::error_handler_t::replace);
    fCachedVersion = VersionLocked();
  }
  return fCachedText;
}

bool DisplaySimulator::WaitFor(const std::function<bool(const json&)>& aCondition,
                               std::chrono::milliseconds aTimeout) const {
  std::unique_lock lock(fMutex);
  return fChanged.wait_for(lock, aTimeout, [&] { return aCondition(StateLocked()); });
}

ImagePtr DisplaySimulator::ImageBySerial(std::uint64_t aSerial) const {
  std::lock_guard lock(fMutex);
  return fState.ImageBySerial(aSerial);
}

}  // namespace korvane::simulator
