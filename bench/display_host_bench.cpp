// The display path through the exports, beside a bare client doing the same
// framed exchange with the same display peer in the same run:
//   - one MESSAGE (connect, STX + JSON + ETX, reply up to ETX, close);
//   - one OPEN whose idle image is a 10 MiB file, beside reading the file,
//     Base64-encoding it with OpenSSL and sending it bare.
// Peak memory growth of that OPEN is measured in a child process.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

#include "bare_client.h"
#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"
#include "support/loopback.h"
#include "support/test_support.h"

using namespace korvane::testing;

namespace {

// A display that answers every frame with ETX as fast as it can (the frames
// are not kept: many are 10 MiB).
DisplayPeer& Peer() {
  static DisplayPeer peer(DisplayPeer::Mode::ReplyEveryFrame, "\x03", false, 64);
  return peer;
}
Library& Lib() {
  static Library lib;
  return lib;
}

using korvane::bench::BareExchange;

const std::string kMessageBody =
    "<Message><Text1>Organic whole milk 1 L</Text1><Text2>1 x 1.29 EUR</Text2></Message>";
const std::string kMessageJson =
    "{\"Message\":{\"Text1\":\"Organic whole milk 1 L\",\"Text2\":\"1 x 1.29 EUR\"}}";

int OpenDevice(const std::string& aParameters = "") {
  const CallResult r = Lib().Call("OPEN", OpenRequest(Peer().Port(), aParameters));
  if (r.fResult != 0) throw std::runtime_error("OPEN failed: " + r.fErrorText);
  return std::stoi(r.fEnvelope.substr(8));
}

// As a POS host calls it: the export looked up once and the request made
// once (as the bare client makes its frame once); each call's result strings
// are freed.
void BM_MessageThroughExport(benchmark::State& state) {
  const int handle = OpenDevice();
  const auto message = Lib().Find<KorvaneRequestCall>("MESSAGE");
  BSTR request = Lib().MakeBstr(CallRequest("MESSAGE", handle, kMessageBody));
  for (auto _ : state) {
    BSTR output = nullptr;
    BSTR error = nullptr;
    if (message(request, &output, &error) != 0) state.SkipWithError("MESSAGE failed");
    Lib().Free(output);
    Lib().Free(error);
  }
  Lib().Free(request);
}
BENCHMARK(BM_MessageThroughExport)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_MessageBareClient(benchmark::State& state) {
  const std::string frame = "\x02" + kMessageJson + "\x03";
  for (auto _ : state) BareExchange(Peer().Port(), frame);
}
BENCHMARK(BM_MessageBareClient)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A 10 MiB file of pseudo-random bytes, in a folder removed at exit.
std::string ImageFile() {
  static const TempDir dir;
  static const std::string path = [] {
    const std::string p = dir.File("image-10mib.png");
    std::string bytes(10u << 20, '\0');
    uint32_t x = 12345;
    for (auto& b : bytes) b = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }();
  return path;
}

void BM_OpenWith10MiBImageThroughExport(benchmark::State& state) {
  const std::string image = ImageFile();
  const int handle = OpenDevice();
  const std::string request =
      OpenRequest(Peer().Port(), "<IdleImageUrl>" + image + "</IdleImageUrl>", handle);
  for (auto _ : state) {
    if (Lib().Call("OPEN", request).fResult != 0) state.SkipWithError("OPEN failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(10u << 20));
}
BENCHMARK(BM_OpenWith10MiBImageThroughExport)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenWith10MiBImageBare(benchmark::State& state) {
  const std::string image = ImageFile();
  for (auto _ : state) {
    std::ifstream in(image, std::ios::binary);
    std::string bytes(std::filesystem::file_size(image), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::string frame(4 * ((bytes.size() + 2) / 3) + 2, '\0');
    frame[0] = '\x02';
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(frame.data() + 1),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    frame.resize(static_cast<size_t>(n) + 1);
    frame += '\x03';
    BareExchange(Peer().Port(), frame);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(10u << 20));
}
BENCHMARK(BM_OpenWith10MiBImageBare)->Unit(benchmark::kMillisecond)->UseRealTime();

// A line of /proc/self/status in KiB ("VmHWM", "VmRSS").
long StatusKiB(const char* aKey) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(aKey, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  return -1;
}

// The measurement itself, in a fresh process (see below): one OPEN with the
// image after a warm-up OPEN; prints the peak growth in KiB, or -1.
int MeasureOpenMemory(int aPort, const std::string& aImage) {
  Library lib;
  const CallResult first = lib.Call("OPEN", OpenRequest(aPort));  // everything loaded and warmed up
  if (first.fResult != 0) {
    std::fprintf(stderr, "OPEN failed: %s\n", first.fErrorText.c_str());
    return std::printf("-1\n"), 1;
  }
  const int handle = std::stoi(first.fEnvelope.substr(8));
  const std::string request = OpenRequest(aPort, "<IdleImageUrl>" + aImage + "</IdleImageUrl>", handle);
  std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
  const long before = StatusKiB("VmRSS");
  const CallResult r = lib.Call("OPEN", request);
  std::printf("%ld\n", r.fResult == 0 ? StatusKiB("VmHWM") - before : -1L);
  return 0;
}

// Peak resident memory growth of one OPEN with the 10 MiB image. It runs in a
// freshly started copy of this program: a forked child would inherit the
// memory that the other benchmarks freed but the allocator kept.
void BM_OpenWith10MiBImagePeakMemory(benchmark::State& state) {
  const std::string command = "'" + std::filesystem::canonical("/proc/self/exe").string() +
                              "' --measure-open-memory " + std::to_string(Peer().Port()) + " '" +
                              ImageFile() + "'";
  double growthMiB = 0;
  for (auto _ : state) {
    FILE* child = ::popen(command.c_str(), "r");
    long growthKiB = -1;
    if (!child || std::fscanf(child, "%ld", &growthKiB) != 1) growthKiB = -1;
    if (child) ::pclose(child);
    if (growthKiB < 0) state.SkipWithError("the measuring OPEN failed");
    growthMiB = static_cast<double>(growthKiB) / 1024.0;
  }
  state.counters["peak_growth_MiB"] = growthMiB;
  state.counters["x_image_size"] = growthMiB / 10.0;
}
BENCHMARK(BM_OpenWith10MiBImagePeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--measure-open-memory")
    return MeasureOpenMemory(std::atoi(argv[2]), argv[3]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
