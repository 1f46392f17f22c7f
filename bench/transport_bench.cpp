// One exchange of a 200-byte message with a loopback peer (connect, write,
// read up to the terminator, disconnect): through the TCP transport, with and
// without its log, beside a bare Asio client doing the same.
#include <benchmark/benchmark.h>

#include <asio.hpp>
#include <filesystem>
#include <string>

#include "support/display_peer.h"
#include "support/test_support.h"
#include "transport/tcp_handler.h"

namespace {

using korvane::kConnection;
using korvane::kIOHandler_TCP;
using korvane::testing::DisplayPeer;
using Socket = asio::ip::tcp::socket;

constexpr char kEtx = '\x03';

// 199 printable bytes and ETX.
std::string Message() {
  std::string message;
  for (int i = 0; i < 199; ++i) message += static_cast<char>('A' + i % 26);
  return message + kEtx;
}

// Answers each connection with the message the clients send, as an echo
// would (the frames are not kept), and waits for the client to close.
DisplayPeer& Peer() {
  static DisplayPeer peer(DisplayPeer::Mode::Reply, Message(), false, 64);
  return peer;
}

void BM_BareAsioClient(benchmark::State& state) {
  const std::string message = Message();
  const asio::ip::tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), Peer().Port());
  asio::io_context context;
  for (auto _ : state) {
    Socket socket(context);
    socket.connect(endpoint);
    socket.set_option(asio::ip::tcp::no_delay(true));
    asio::write(socket, asio::buffer(message));
    std::string reply;
    asio::read_until(socket, asio::dynamic_buffer(reply), kEtx);
    if (reply.size() != message.size()) state.SkipWithError("short reply");
    socket.shutdown(asio::socket_base::shutdown_both);
    socket.close();
  }
}

void HandlerExchange(benchmark::State& state, bool aWithLog) {
  const std::string message = Message();
  kConnection connection;
  connection.SetAddress("127.0.0.1");
  connection.SetPort(Peer().Port());
  const korvane::testing::TempDir dir;
  {
    kIOHandler_TCP handler(connection, aWithLog ? dir.File("logs") : "", aWithLog ? "bench" : "");
    for (auto _ : state) {
      handler.Connect();
      handler.Write(message);
      const std::string reply = handler.ReadUpTo({3});
      if (reply.size() != message.size()) state.SkipWithError("short reply");
      handler.Disconnect();
    }
  }
}

void BM_TcpTransport(benchmark::State& state) { HandlerExchange(state, false); }
void BM_TcpTransportWithLog(benchmark::State& state) { HandlerExchange(state, true); }

BENCHMARK(BM_BareAsioClient)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TcpTransport)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TcpTransportWithLog)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
