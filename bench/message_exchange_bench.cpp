// MESSAGE through the export beside the fastest honest exchange with the same
// display: a minimal blocking peer on its own thread (accepts, reads to ETX,
// answers STX OK ETX, waits for the close; one connection at a time) and a
// bare C-style client that connects, sends the same framed JSON, reads to ETX
// and closes. The two alternate in short rounds in one run, so that the drift
// of a shared machine falls on both alike; the figures are medians over the
// rounds, with the calling thread's CPU time per call beside them.
//
//   message_exchange_bench [--rounds N] [--calls N] [--only export|bare] [--library PATH]
//                          [--request message|receipt|open]
// --only runs just one side (for strace, perf or callgrind); --library loads
// another build of the library (an earlier one, to compare); --request picks
// the call (MESSAGE by default; RECEIPT with ten lines; OPEN, which leaves a
// device behind per call). The bare client sends the very frame the library
// sends for that call, taken from a recording peer before the measurement.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bare_client.h"
#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"
#include "support/loopback.h"

using namespace korvane::testing;

namespace {

// The minimal blocking display: one connection at a time, STX OK ETX for
// its frame, then it waits for the close (the frames are not kept).
class BlockingPeer : public DisplayPeer {
 public:
  BlockingPeer() : DisplayPeer(DisplayPeer::Mode::Reply, "\x02OK\x03", false, 16) {}
};

using korvane::bench::BareExchange;

const std::string kMessageBody =
    "<Message><Text1>Organic whole milk 1 L</Text1><Text2>1 x 1.29 EUR</Text2></Message>";
const std::string kMessageJson =
    "{\"Message\":{\"Text1\":\"Organic whole milk 1 L\",\"Text2\":\"1 x 1.29 EUR\"}}";

// A receipt of ten lines and two payments.
std::string ReceiptBody() {
  std::string x =
      "<Receipt><Currency>EUR</Currency><Subtotal>23.40</Subtotal><Taxes>1.87</Taxes><Total>25.27</Total>"
      "<Text1>Thank you</Text1><Text2>Store 12</Text2><ShowPayments>true</ShowPayments><Lines>";
  for (int i = 1; i <= 10; ++i)
    x += "<Line><Type>Item</Type><Code>40012" + std::to_string(i) +
         "</Code><Description>Organic whole milk " + std::to_string(i) + " L</Description><Quantity>" +
         std::to_string(i) + "</Quantity><Price>1.29</Price><Amount>" + std::to_string(i * 129 / 100) + "." +
         std::to_string(10 + i * 129 % 100 % 90) + "</Amount></Line>";
  x += "</Lines><Payments><Payment><Type>Cash</Type><Text1>Cash</Text1><Text2></Text2><Amount>20.00</Amount>"
       "</Payment><Payment><Type>Card</Type><Text1>Card</Text1><Text2>**** 1234</Text2><Amount>5.27</Amount>"
       "</Payment></Payments></Receipt>";
  return x;
}

double ThreadCpuNs() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

struct Round {
  double wallUs = 0;  // per call
  double cpuUs = 0;   // the calling thread's, per call
};

template <class F>
Round Measure(int aCalls, F&& aCall) {
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = ThreadCpuNs();
  for (int i = 0; i < aCalls; ++i) aCall();
  const double cpu = ThreadCpuNs() - cpuStart;
  const double wall =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  return {wall / aCalls, cpu / 1000.0 / aCalls};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 30;
  int calls = 200;
  std::string only;
  std::string library = KORVANE_LIBRARY_PATH;
  std::string kind = "message";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--rounds")
      rounds = std::atoi(argv[i + 1]);
    else if (key == "--calls")
      calls = std::atoi(argv[i + 1]);
    else if (key == "--only")
      only = argv[i + 1];
    else if (key == "--library")
      library = argv[i + 1];
    else if (key == "--request")
      kind = argv[i + 1];
    else
      return std::fprintf(stderr, "unknown option %s\n", argv[i]), 2;
  }
  if (kind != "message" && kind != "receipt" && kind != "open")
    return std::fprintf(stderr, "unknown request %s\n", kind.c_str()), 2;
  BlockingPeer peer;
  Library lib(library.c_str());
  auto open = [&](int aPort) {
    const CallResult opened = lib.Call("OPEN", OpenRequest(aPort));
    if (opened.fResult != 0) throw std::runtime_error("OPEN failed: " + opened.fErrorText);
    return std::stoi(opened.fEnvelope.substr(8));
  };
  const std::string method = kind == "open" ? "OPEN" : kind == "receipt" ? "RECEIPT" : "MESSAGE";
  // The frame the library sends for the call, recorded once from a peer of
  // its own; the bare client sends the same bytes.
  std::string frame;
  std::string requestText;
  {
    DisplayPeer recorder(DisplayPeer::Mode::Reply, "\x02OK\x03");
    const int probe = open(recorder.Port());
    if (kind == "open") {
      requestText = OpenRequest(peer.Port());
    } else {
      const int handle = open(peer.Port());
      const std::string body = kind == "receipt" ? ReceiptBody() : kMessageBody;
      requestText = CallRequest(method, handle, body);
      const CallResult probed = lib.Call(method.c_str(), CallRequest(method, probe, body));
      if (probed.fResult != 0) throw std::runtime_error(method + " failed: " + probed.fErrorText);
    }
    lib.Call("CLOSE", CallRequest("CLOSE", probe, ""));
    const std::vector<std::string> frames = recorder.Frames();
    // OPEN, the call (none for OPEN) and CLOSE.
    frame = frames.at(kind == "open" ? 0 : 1);
  }
  if (kind == "message" && frame != "\x02" + kMessageJson + "\x03")
    return std::fprintf(stderr, "unexpected MESSAGE frame %s\n", frame.c_str()), 1;
  // As a POS host calls it: the export looked up once and the request made
  // once (as the bare client makes its frame once); each call's result
  // strings are freed.
  const auto call = lib.Find<KorvaneRequestCall>(method.c_str());
  BSTR request = lib.MakeBstr(requestText);
  auto exportCall = [&] {
    BSTR output = nullptr;
    BSTR error = nullptr;
    if (call(request, &output, &error) != 0) throw std::runtime_error(method + " failed: " + lib.Text(error));
    lib.Free(output);
    lib.Free(error);
  };
  auto bareCall = [&] { BareExchange(peer.Port(), frame); };

  if (!only.empty()) {
    const Round r = only == "bare" ? Measure(calls * rounds, bareCall) : Measure(calls * rounds, exportCall);
    std::printf("%s: %.1f us per call, calling thread CPU %.1f us\n", only.c_str(), r.wallUs, r.cpuUs);
    lib.Free(request);
    return 0;
  }

  Measure(calls / 4 + 1, exportCall);  // warm-up of both
  Measure(calls / 4 + 1, bareCall);
  std::vector<double> exportWall, bareWall, exportCpu, bareCpu, ratios;
  for (int i = 0; i < rounds; ++i) {
    Round e, b;
    if (i % 2 == 0) {
      e = Measure(calls, exportCall);
      b = Measure(calls, bareCall);
    } else {
      b = Measure(calls, bareCall);
      e = Measure(calls, exportCall);
    }
    exportWall.push_back(e.wallUs);
    exportCpu.push_back(e.cpuUs);
    bareWall.push_back(b.wallUs);
    bareCpu.push_back(b.cpuUs);
    ratios.push_back(e.wallUs / b.wallUs);
  }
  lib.Free(request);
  const double e = Median(exportWall), b = Median(bareWall);
  std::printf("%s exchange, %d rounds of %d calls each side, alternating (medians over rounds)\n",
              method.c_str(), rounds, calls);
  std::printf("  through the export: %7.1f us per call, calling thread CPU %6.1f us\n", e, Median(exportCpu));
  std::printf("  bare C client:      %7.1f us per call, calling thread CPU %6.1f us\n", b, Median(bareCpu));
  std::printf("  ratio of medians %.3f, median of per-round ratios %.3f (target <= 1.15)\n", e / b,
              Median(ratios));
  return 0;
}
