// A point-of-sale host in miniature, for a smoke run of the Windows DLL (the
// 32-bit one above all) under Wine: it loads the DLL named on its command
// line with the project's loader (tools/loader/korvane_library.h), finds the
// eight exports by their plain names, calls them through the host header's
// pointer types (__stdcall on 32-bit Windows) with OleAut32's strings against
// a display application of its own on loopback (support/display_peer.h), and
// unloads the DLL. One line a step;
// exit status 0 when every step held, 1 with the reason otherwise, 3 from the
// watchdog when something hung.
//   smoke_host PATH_OF_QORD_KORVANE_10.dll
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/requests.h"
#include "e2e/smoke_host_system.h"
#include "korvane_display.h"
#include "korvane_library.h"
#include "support/display_peer.h"
#include "support/process_census.h"

namespace {

using namespace korvane;
using host::KorvaneLibrary;
using testing::DisplayPeer;

constexpr int kWatchdogSeconds = 60;
constexpr int kMessageRounds = 20;
constexpr int kUnloadRounds = 5;

void Check(bool aHolds, const std::string& aWhat) {
  if (!aHolds) throw std::runtime_error(aWhat);
}

struct Call {
  int16_t result = 0;
  std::string output;
  bool errorIsNull = true;
  std::string error;
  bool stackKept = true;
};

// The stack pointer around the call: a call through a pointer of the wrong
// convention leaves it 12 bytes off (the callee and the caller both take
// the three arguments off, or neither does).
__attribute__((noinline)) int16_t CallKeepingStack(KorvaneRequestCall aCall, BSTR aIn, BSTR* aOut,
                                                   BSTR* aError, bool& aStackKept) {
#if defined(__i386__)
  uintptr_t before = 0;
  uintptr_t after = 0;
  asm volatile("movl %%esp, %0" : "=r"(before));
  const int16_t result = aCall(aIn, aOut, aError);
  asm volatile("movl %%esp, %0" : "=r"(after));
  aStackKept = before == after;
  return result;
#else
  aStackKept = true;  // one calling convention only
  return aCall(aIn, aOut, aError);
#endif
}

// One export of aLibrary called with aInput, its strings (OleAut32's)
// released.
Call Run(const KorvaneLibrary& aLibrary, KorvaneRequestCall aCall, const std::string& aInput) {
  BSTR input = aLibrary.MakeBstr(aInput);
  BSTR output = nullptr;
  BSTR error = nullptr;
  Call c;
  c.result = CallKeepingStack(aCall, input, &output, &error, c.stackKept);
  c.output = aLibrary.Text(output);
  c.errorIsNull = error == nullptr;
  c.error = aLibrary.Text(error);
  aLibrary.Free(output);
  aLibrary.Free(error);
  aLibrary.Free(input);
  return c;
}

// (flushed at once: the watchdog ends the process without flushing)
void Step(const char* aName, const std::string& aLine) {
  std::printf("smoke: %-8s %s\n", aName, aLine.c_str());
  std::fflush(stdout);
}

// A request call that must succeed with aEnvelope and send one frame that
// starts with aFrameStart.
void ExpectSuccess(const char* aName, const Call& aCall, const std::string& aEnvelope,
                   const DisplayPeer& aPeer, size_t aFrames, const std::string& aFrameStart) {
  Check(aCall.stackKept,
        std::string(aName) + ": the stack pointer moved across the call (calling convention)");
  Check(aCall.result == 0, std::string(aName) + " returned " + std::to_string(aCall.result) + ": " +
                               aCall.error + " / " + aCall.output);
  Check(aCall.errorIsNull, std::string(aName) + " set an error text: " + aCall.error);
  Check(aCall.output == aEnvelope,
        std::string(aName) + " answered [" + aCall.output + "], not [" + aEnvelope + "]");
  const std::vector<std::string> messages = aPeer.Messages();
  Check(messages.size() == aFrames, std::string(aName) + ": the display got " +
                                        std::to_string(messages.size()) + " frames, not " +
                                        std::to_string(aFrames));
  Check(messages.back().rfind(aFrameStart, 0) == 0,
        std::string(aName) + ": the last frame is [" + messages.back() + "], not " + aFrameStart + "...");
}

std::string Envelope(const std::string& aLog) {
  return "<Error>False</Error>\r\n<ErrorText></ErrorText>\r\n<LogFileName>" + aLog + "</LogFileName>";
}

int Smoke() {
  smoke::StartWatchdog(kWatchdogSeconds);
  // A value of this frame read back after every call: a stack the calls
  // disturbed shows here too.
  volatile uint32_t canary = 0x5AFEC0DE;

  DisplayPeer peer;
  Step("peer", "display application on 127.0.0.1:" + std::to_string(peer.Port()));
  const std::string path = smoke::LibraryPathArgument();

  // Loaded, started by a call and unloaded again before any device exists:
  // the library really goes each time, and once idle it leaves no thread
  // behind (counted with Toolhelp, after a first round has brought in what
  // the system keeps of the libraries it uses).
  {
    KorvaneLibrary first(path, KorvaneLibrary::AtEnd::Unload);
    Run(first, first.Find<KorvaneRequestCall>("VERSION"), "QORD_KORVANE_10");
  }
  const size_t threadsBefore = testing::ProcessThreadCount();
  for (int round = 1; round <= kUnloadRounds; ++round) {
    KorvaneLibrary once(path, KorvaneLibrary::AtEnd::Unload);
    const Call version = Run(once, once.Find<KorvaneRequestCall>("VERSION"), "QORD_KORVANE_10");
    Check(version.stackKept && version.result == 0 && version.output.rfind("Version ", 0) == 0,
          "VERSION before unload round " + std::to_string(round) + " answered [" + version.output + "]");
    once.Unload();
  }
  size_t threadsAfter = testing::ProcessThreadCount();
  for (int waited = 0; threadsAfter > threadsBefore && waited < 10000; waited += 50) {
    Sleep(50);
    threadsAfter = testing::ProcessThreadCount();
  }
  Check(threadsAfter <= threadsBefore, std::to_string(threadsAfter) + " threads after the unload rounds, " +
                                           std::to_string(threadsBefore) + " before");
  Step("reload", std::to_string(kUnloadRounds) + " rounds of load, VERSION, FreeLibrary; threads " +
                     std::to_string(threadsBefore) + " before, " + std::to_string(threadsAfter) + " after");

  KorvaneLibrary driver(path, KorvaneLibrary::AtEnd::Unload);
  Step("load", driver.Path());
  const char* names[] = {"OPEN",    "CLOSE",    "MESSAGE", "CLOSEMESSAGE",
                         "RECEIPT", "THANKYOU", "IDLE",    "VERSION"};
  for (const char* name : names) driver.Find<KorvaneRequestCall>(name);
  const auto find = [&driver](const char* aName) { return driver.Find<KorvaneRequestCall>(aName); };
  Step("exports", "all eight found by their plain names");

  const Call open = Run(driver, find("OPEN"), testing::OpenRequest(peer.Port()));
  const size_t at = open.output.find("<LogFileName>");
  const std::string log =
      at == std::string::npos ? "" : open.output.substr(at + 13, open.output.rfind('<') - at - 13);
  Check(!log.empty(), "OPEN answered no log file: " + open.output);
  ExpectSuccess("OPEN", open, "<Handle>1</Handle>\r\n" + Envelope(log), peer, 1, "{\"Open\":");
  Step("OPEN", "handle 1, log " + log);

  const KorvaneRequestCall message = find("MESSAGE");
  for (int i = 1; i <= kMessageRounds; ++i) {
    const std::string text = "Item " + std::to_string(i);
    const Call m = Run(driver, message,
                       testing::CallRequest("MESSAGE", 1, "<Message><Text1>" + text + "</Text1></Message>"));
    ExpectSuccess("MESSAGE", m, Envelope(log), peer, 1 + static_cast<size_t>(i),
                  "{\"Message\":{\"Text1\":\"" + text + "\"");
    Check(canary == 0x5AFEC0DE, "MESSAGE: a local of the host changed across the calls");
  }
  Step("MESSAGE", std::to_string(kMessageRounds) + " calls through one pointer, stack and locals kept");

  const Call receipt = Run(driver, find("RECEIPT"),
                           testing::CallRequest("RECEIPT", 1,
                                                "<Receipt><Currency>EUR</Currency><Total>12.50</Total>"
                                                "<Lines><Line><Description>Bread</Description>"
                                                "<Amount>2.5</Amount></Line></Lines></Receipt>"));
  ExpectSuccess("RECEIPT", receipt, Envelope(log), peer, kMessageRounds + 2,
                "{\"Receipt\":{\"Currency\":\"EUR\"");
  Step("RECEIPT", "sent");

  const Call close = Run(driver, find("CLOSE"), testing::CallRequest("CLOSE", 1, ""));
  ExpectSuccess("CLOSE", close, Envelope(log), peer, kMessageRounds + 3, "{\"Close\":");
  Step("CLOSE", "device closed");

  const Call version = Run(driver, find("VERSION"), "QORD_KORVANE_10");
  Check(version.stackKept, "VERSION: the stack pointer moved across the call (calling convention)");
  Check(version.result == 0 && version.errorIsNull, "VERSION failed: " + version.error);
  Check(version.output.rfind("Version 1.01 - ", 0) == 0, "VERSION answered [" + version.output + "]");
  Step("VERSION", version.output);

  Check(canary == 0x5AFEC0DE, "a local of the host changed across the calls");
  const int frames = static_cast<int>(peer.Messages().size());
  const int connections = peer.Connections();
  driver.Unload();
  Step("unload", "FreeLibrary returned");
  std::printf("smoke: passed (%d frames over %d connections)\n", frames, connections);
  return 0;
}

}  // namespace

int main() {
  try {
    return Smoke();
  } catch (const std::exception& e) {
    std::printf("smoke: FAILED: %s\n", e.what());
    std::fflush(stdout);
    return 1;
  }
}
