// How many frames the display simulator answers per second on loopback: it
// must never be what a benchmark of the library measures.
//   build/bench/simulator_bench
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "display_simulator.h"
#include "frame_parser.h"

using korvane::simulator::DisplaySimulator;
using korvane::simulator::MakeFrame;
using korvane::simulator::SimulatorOptions;

namespace {

// A receipt of ten lines, about the size a till sends mid-sale.
std::string ReceiptJson() {
  std::string lines;
  for (int i = 0; i < 10; ++i)
    lines += std::string(i ? "," : "") + R"({"Type":"ProductSale","Code":")" + std::to_string(1000 + i) +
             R"(","Description":"Item number )" + std::to_string(i) +
             R"(","Quantity":1.0,"Price":2.5,"Amount":2.5})";
  return R"({"Receipt":{"Currency":"EUR","Subtotal":25.0,"Taxes":2.06,"Total":25.0,"Lines":[)" + lines +
         R"(],"ShowPayments":false,"Payments":[]}})";
}

DisplaySimulator& Simulator() {
  static std::unique_ptr<DisplaySimulator> simulator = [] {
    auto started = std::make_unique<DisplaySimulator>(SimulatorOptions{});
    started->Start();
    return started;
  }();
  return *simulator;
}

int Connect(std::uint16_t aPort) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(aPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// Sends one frame and reads the reply up to its ETX.
bool Exchange(int aFd, const std::string& aFrame) {
  if (send(aFd, aFrame.data(), aFrame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(aFrame.size()))
    return false;
  char buffer[256];
  for (;;) {
    const ssize_t n = recv(aFd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    if (std::string_view(buffer, static_cast<std::size_t>(n)).find('\x03') != std::string_view::npos)
      return true;
  }
}

// As the library does it: one connection per message.
void BM_FrameOnItsOwnConnection(benchmark::State& state) {
  const auto port = Simulator().DisplayPort();
  const std::string frame = MakeFrame(ReceiptJson());
  for (auto _ : state) {
    const int fd = Connect(port);
    if (fd < 0 || !Exchange(fd, frame)) state.SkipWithError("exchange failed");
    close(fd);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameOnItsOwnConnection)->UseRealTime();

void BM_FramesOnOneConnection(benchmark::State& state) {
  const int fd = Connect(Simulator().DisplayPort());
  const std::string frame = MakeFrame(ReceiptJson());
  for (auto _ : state)
    if (!Exchange(fd, frame)) state.SkipWithError("exchange failed");
  close(fd);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FramesOnOneConnection)->UseRealTime();

// The work behind one frame without the network: parse, show, record nothing.
void BM_ReceiveInProcess(benchmark::State& state) {
  const std::string text = ReceiptJson();
  for (auto _ : state) benchmark::DoNotOptimize(Simulator().Receive(text, "bench"));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReceiveInProcess);

}  // namespace

BENCHMARK_MAIN();
