#include "platform/tcp_socket.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <pthread.h>
#endif

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "platform/error.h"
#include "support/loopback.h"

using namespace korvane;
using namespace korvane::platform;
using namespace korvane::testing;

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int aPort) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(aPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

long MillisecondsSince(Clock::time_point aStart) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count());
}

// A listener that never accepts, whose queue is already full: the next
// handshake goes unanswered.
struct FullBacklog {
  FullBacklog() {
    listener = ListenOnLoopback(0, port);
    const sockaddr_in address = Loopback(port);
    filler = ConnectTcpSocket(&address, sizeof address, 1000);
  }
  ~FullBacklog() { CloseSocket(listener); }
  NativeSocket listener;
  int port = 0;
  std::unique_ptr<TcpSocket> filler;
};

// A listener on loopback with one connection made to it.
struct Connected {
  Connected() {
    listener = ListenOnLoopback(4, port);
    const sockaddr_in address = Loopback(port);
    socket = ConnectTcpSocket(&address, sizeof address, 1000);
  }
  ~Connected() { CloseSocket(listener); }
  NativeSocket listener;
  int port = 0;
  std::unique_ptr<TcpSocket> socket;
};

}  // namespace

TEST(TcpSocket, ExchangesBytesWithoutWaitingAndSeesThePeersClose) {
  Connected c;
  ASSERT_TRUE(c.socket);
  TcpSocket* socket = c.socket.get();
  const NativeSocket peer = AcceptOne(c.listener);
  ASSERT_NE(peer, kNoSocket);
  char buffer[16];
  EXPECT_FALSE(socket->ReceiveSome(buffer, sizeof buffer).has_value());  // nothing yet, no wait
  EXPECT_FALSE(socket->WaitReadable(20));

  EXPECT_EQ(socket->SendSome("ping", 4), 4u);
  ASSERT_EQ(ReceiveSome(peer, buffer, sizeof buffer), 4);
  ASSERT_EQ(SendSome(peer, "pong", 4), 4);
  EXPECT_TRUE(socket->WaitReadable(1000));
  EXPECT_EQ(socket->ReceiveSome(buffer, sizeof buffer), std::optional<size_t>(4));
  EXPECT_EQ(std::string(buffer, 4), "pong");

  CloseSocket(peer);
  EXPECT_TRUE(socket->WaitReadable(1000));
  EXPECT_EQ(socket->ReceiveSome(buffer, sizeof buffer), std::optional<size_t>(0));
}

TEST(TcpSocket, AClosedSocketServesTheNextConnection) {
  Connected c;
  ASSERT_TRUE(c.socket);
  const NativeSocket first = AcceptOne(c.listener);
  ASSERT_NE(first, kNoSocket);
  ASSERT_EQ(c.socket->SendSome("one", 3), 3u);  // Nagle's state of this connection
  c.socket->Close();
  c.socket->Close();  // twice: nothing more
  char buffer[16];
  ASSERT_TRUE(WaitReadable(first, 1000));
  EXPECT_EQ(ReceiveSome(first, buffer, sizeof buffer), 3);
  ASSERT_TRUE(WaitReadable(first, 1000));
  EXPECT_EQ(ReceiveSome(first, buffer, sizeof buffer), 0);  // the close reached the peer
  CloseSocket(first);

  const sockaddr_in address = Loopback(c.port);
  TcpSocket* const object = c.socket.get();
  std::unique_ptr<TcpSocket> again = ConnectTcpSocket(&address, sizeof address, 1000, std::move(c.socket));
  ASSERT_TRUE(again);
  EXPECT_EQ(again.get(), object);  // the same object, a new connection
  const NativeSocket second = AcceptOne(c.listener);
  ASSERT_NE(second, kNoSocket);
  for (const char* text : {"two", "three"}) {  // a first short send and one after it
    const size_t size = std::char_traits<char>::length(text);
    ASSERT_EQ(again->SendSome(text, size), size);
    ASSERT_TRUE(WaitReadable(second, 1000));
    EXPECT_EQ(ReceiveSome(second, buffer, sizeof buffer), static_cast<long>(size));
  }
  ASSERT_EQ(SendSome(second, "back", 4), 4);
  EXPECT_TRUE(again->WaitReadable(1000));
  EXPECT_EQ(again->ReceiveSome(buffer, sizeof buffer), std::optional<size_t>(4));
  CloseSocket(second);
}

TEST(TcpSocket, WaitsToSendWhenThePeerReadsNothing) {
  Connected c;
  ASSERT_TRUE(c.socket);
  TcpSocket* socket = c.socket.get();
  const std::string block(1 << 16, 'x');
  size_t sent = 0;
  for (size_t n; (n = socket->SendSome(block.data(), block.size())) > 0;) sent += n;
  EXPECT_GT(sent, 0u);  // the buffers filled up and the send came back empty
  EXPECT_FALSE(socket->WaitWritable(20));
}

TEST(TcpSocket, TellsWhatThePeerHasNotTakenWhereTheSystemCan) {
  Connected c;
  ASSERT_TRUE(c.socket);
  TcpSocket* socket = c.socket.get();
  const NativeSocket peer = AcceptOne(c.listener);
  ASSERT_NE(peer, kNoSocket);
#ifdef _WIN32
  // Winsock cannot tell: the queue is short instead, and sends go in slices.
  const std::string large(1 << 20, 'x');
  EXPECT_LE(socket->SendSome(large.data(), large.size()), size_t{64 * 1024});
  EXPECT_FALSE(socket->UnsentBytes().has_value());
#else
  const std::string block(1 << 16, 'x');
  size_t sent = 0;
  for (size_t n; (n = socket->SendSome(block.data(), block.size())) > 0;) sent += n;
  // Sent but not taken: what the peer's receive buffer could not hold.
  const std::optional<size_t> queued = socket->UnsentBytes();
  ASSERT_TRUE(queued.has_value());
  EXPECT_GT(*queued, 0u);
  EXPECT_LT(*queued, sent);
  // The peer takes everything: nothing is left.
  char buffer[1 << 16];
  size_t taken = 0;
  while (taken < sent && WaitReadable(peer, 1000)) {
    const long n = ReceiveSome(peer, buffer, sizeof buffer);
    if (n <= 0) break;
    taken += static_cast<size_t>(n);
  }
  EXPECT_EQ(taken, sent);
  for (int i = 0; i < 100 && socket->UnsentBytes() != std::optional<size_t>(0); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(socket->UnsentBytes(), std::optional<size_t>(0));
#endif
  CloseSocket(peer);
}

TEST(TcpSocket, ReportsARefusedConnectionWithTheSystemsText) {
  int port = 0;
  CloseSocket(ListenOnLoopback(1, port));  // a port nobody listens on now
  const sockaddr_in address = Loopback(port);
  try {
    ConnectTcpSocket(&address, sizeof address, 1000);
    FAIL() << "connected";
  } catch (const Error& e) {
#ifdef _WIN32
    EXPECT_EQ(e.what(), OsErrorText(WSAECONNREFUSED));
#else
    EXPECT_STREQ(e.what(), "Connection refused");
#endif
  }
}

TEST(TcpSocket, GivesUpAConnectionAtItsTimeOut) {
  FullBacklog backlog;
  ASSERT_TRUE(backlog.filler);
  const sockaddr_in address = Loopback(backlog.port);
  const auto start = Clock::now();
  EXPECT_FALSE(ConnectTcpSocket(&address, sizeof address, 200));
  const long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 190);
  EXPECT_LT(elapsed, 5000);
}

#ifndef _WIN32  // signals: POSIX only
TEST(TcpSocket, ASignalDoesNotCutTheConnectTimeOutShort) {
  FullBacklog backlog;
  ASSERT_TRUE(backlog.filler);
  // A handler without SA_RESTART: the blocked connect returns EINTR.
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
  const pthread_t self = ::pthread_self();
  std::atomic<bool> done{false};
  std::thread interrupter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!done) ::pthread_kill(self, SIGUSR1);
  });
  const sockaddr_in address = Loopback(backlog.port);
  const auto start = Clock::now();
  std::unique_ptr<TcpSocket> socket;
  EXPECT_NO_THROW(socket = ConnectTcpSocket(&address, sizeof address, 300));
  done = true;
  interrupter.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_FALSE(socket);
  EXPECT_GE(MillisecondsSince(start), 290);
}
#endif

TEST(TcpSocket, TakesLiteralAddressesAsTheyAreAndLooksUpNames) {
  const auto v4 = ResolveTcpHost("127.0.0.1", 9100, 1000);
  ASSERT_TRUE(v4);
  ASSERT_EQ(v4->size(), 1u);
  const auto* in = reinterpret_cast<const sockaddr_in*>((*v4)[0].fBytes.data());
  EXPECT_EQ(in->sin_family, AF_INET);
  EXPECT_EQ(ntohs(in->sin_port), 9100);
  EXPECT_EQ(ntohl(in->sin_addr.s_addr), INADDR_LOOPBACK);
  const auto v6 = ResolveTcpHost("::1", 80, 1000);
  ASSERT_TRUE(v6);
  ASSERT_EQ(v6->size(), 1u);
  EXPECT_EQ(reinterpret_cast<const sockaddr*>((*v6)[0].fBytes.data())->sa_family, AF_INET6);

  // A name, with and without a bound, and one the resolver refuses.
  for (const int32_t timeout : {2000, 0}) {
    const auto local = ResolveTcpHost("localhost", 80, timeout);
    ASSERT_TRUE(local) << timeout;
    EXPECT_FALSE(local->empty());
  }
  try {
    ResolveTcpHost("unresolvable..host", 80, 2000);
    ADD_FAILURE() << "resolved";
  } catch (const Error& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
  }
}

TEST(TcpSocket, ConnectsToAResolvedAddress) {
  Connected c;  // for its listener
  const auto addresses = ResolveTcpHost("127.0.0.1", static_cast<uint16_t>(c.port), 1000);
  ASSERT_TRUE(addresses);
  const TcpAddress& address = addresses->front();
  EXPECT_TRUE(ConnectTcpSocket(address.fBytes.data(), address.fBytes.size(), 1000));
}
