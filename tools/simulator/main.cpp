// korvane-simulator: the display application of the protocol, for
// developing and testing a point-of-sale host without a display.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <regex>
#include <string>
#include <string_view>

#include "display_simulator.h"
#include "simulator_system.h"

using namespace korvane::simulator;

namespace {

constexpr const char* kUsage = R"(usage: korvane-simulator [options]

Shows what a customer display shows for the frames a point-of-sale host
sends (STX, JSON, ETX), on a live web page.

  --address ADDR        address to listen on for the display protocol (127.0.0.1)
  --port N              its port (7390; 0 picks a free port)
  --web-address ADDR    address of the web page (the --address)
  --web-port N          its port (7391; 0 picks a free port)
  --no-web              no web page
  --record FILE         write every frame received to FILE, one JSON object a line
  --quiet               log only problems
  --replay FILE         play a --record file back onto the screen, at its own
                        pace (pauses of at most 5 s), to see a session again;
                        it starts when the page is opened (at most 30 s later)
  --screen SIZE         draw the page at a panel's size: WIDTHxHEIGHT (800x480,
                        1024x600, 1280x800, 1920x1080) or portrait (480x800);
                        the page's ?screen=SIZE does the same
  --pole                show under the screen what a 2 x 20 character pole
                        display would show of each message (?pole too)

Faults, to test how the host copes (the state at start-up; GET /faults and
POST /faults on the page's port, or the page with ?debug, switch them while it
runs):
  --refuse              refuse every connection
  --no-reply            show the frames but never answer
  --reply-delay MS      answer each frame MS milliseconds late
  --close-before-etx    answer without the closing ETX and close the connection
  --stop-reading        accept connections but read nothing (a frozen display)
  --trickle MS          answer one byte at a time, MS milliseconds before each

Ctrl-C stops it.
)";

[[noreturn]] void UsageError(const std::string& aMessage) {
  std::fprintf(stderr, "korvane-simulator: %s (see --help)\n", aMessage.c_str());
  std::exit(2);
}

long Number(std::string_view aOption, const char* aText, long aMax) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(aText, &end, 10);
  if (errno || end == aText || *end || value < 0 || value > aMax)
    UsageError(std::string(aOption) + " expects a number from 0 to " + std::to_string(aMax) + ", not '" +
               aText + "'");
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  SimulatorOptions options;
  options.fPort = 7390;
  options.fWebPort = 7391;
  bool webAddressGiven = false;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) UsageError(std::string(arg) + " needs a value");
      return argv[++i];
    };
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--address") {
      options.fAddress = value();
    } else if (arg == "--port") {
      options.fPort = static_cast<std::uint16_t>(Number(arg, value(), 65535));
    } else if (arg == "--web-address") {
      options.fWebAddress = value();
      webAddressGiven = true;
    } else if (arg == "--web-port") {
      options.fWebPort = static_cast<std::uint16_t>(Number(arg, value(), 65535));
    } else if (arg == "--no-web") {
      options.fWeb = false;
    } else if (arg == "--record") {
      options.fRecordFile = value();
    } else if (arg == "--replay") {
      options.fReplayFile = value();
      if (!std::ifstream(options.fReplayFile))
        UsageError("cannot read the replay file " + options.fReplayFile);
    } else if (arg == "--screen") {
      options.fScreen = value();
      if (!std::regex_match(options.fScreen, std::regex(R"(portrait|landscape|\d{3,4}x\d{3,4})")))
        UsageError("--screen expects WIDTHxHEIGHT (800x480) or portrait, not '" + options.fScreen + "'");
    } else if (arg == "--pole") {
      options.fPole = true;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--refuse") {
      options.fFaults.fRefuse = true;
    } else if (arg == "--no-reply") {
      options.fFaults.fNoReply = true;
    } else if (arg == "--reply-delay") {
      options.fFaults.fReplyDelay = std::chrono::milliseconds(Number(arg, value(), kMaxFaultDelayMs));
    } else if (arg == "--close-before-etx") {
      options.fFaults.fCloseBeforeEtx = true;
    } else if (arg == "--stop-reading") {
      options.fFaults.fStopReading = true;
    } else if (arg == "--trickle") {
      options.fFaults.fTrickle = std::chrono::milliseconds(Number(arg, value(), kMaxFaultDelayMs));
    } else {
      UsageError("unknown option '" + std::string(arg) + "'");
    }
  }
  if (!webAddressGiven) options.fWebAddress = options.fAddress;
  options.fLog = [quiet](const std::string& aLine, bool aError) {
    if (aError)
      std::fprintf(stderr, "%s\n", aLine.c_str());
    else if (!quiet)
      std::fprintf(stdout, "%s\n", aLine.c_str());
    std::fflush(aError ? stderr : stdout);
  };

  // Every thread inherits that; the main thread waits for Ctrl-C.
  HoldStopRequests();
  IgnoreBrokenPipes();

  DisplaySimulator simulator(options);
  try {
    simulator.Start();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane-simulator: %s\n", e.what());
    return 1;
  }
  const bool v6 = options.fAddress.find(':') != std::string::npos;
  const std::string host = v6 ? "[" + options.fAddress + "]" : options.fAddress;
  std::printf("korvane-simulator: display protocol on %s:%u%s\n", host.c_str(), simulator.DisplayPort(),
              options.fFaults.fRefuse ? " (refusing connections)" : "");
  if (options.fFaults != Faults{})
    std::printf("korvane-simulator: faults: %s\n", DescribeFaults(options.fFaults).c_str());
  if (options.fWeb) std::printf("korvane-simulator: customer screen on %s\n", simulator.WebUrl().c_str());
  if (!options.fRecordFile.empty())
    std::printf("korvane-simulator: recording to %s\n", options.fRecordFile.c_str());
  if (!options.fReplayFile.empty())
    std::printf("korvane-simulator: replaying %s\n", options.fReplayFile.c_str());
  std::fflush(stdout);

  WaitForStopRequest();
  simulator.Stop();
  std::printf("korvane-simulator: stopped\n");
  return 0;
}
