#include "transport/tcp_handler.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <memory>

#include "platform/error.h"
#include "support/display_peer.h"
#include "support/signal.h"
#include "support/test_support.h"
#include "transport/tcp_handler_fixture.h"

namespace korvane {
namespace {

using testing::ClosedPort;
using testing::DisplayPeer;
using testing::Err;
using testing::Info;
using testing::kStop;
using testing::LogLine;
using testing::MillisecondsSince;
using testing::PeerConnection;
using testing::ReadLog;
using testing::ReceiveUntilClosed;
using testing::Send;
using testing::Signal;
using testing::Sleep;
using testing::Socket;
using testing::TcpHandler;
using testing::TempDir;

// ---- ReadUpTo ----------------------------------------------------------------

TEST(TcpTransport, ReadUpToStopsAtTheTerminatorAndLogsWaitingAndRead) {
  DisplayPeer peer([&](PeerConnection& s) {
    Send(s,
         "AB\x03"
         "CD");
    peer.Hold();
  });
  TcpHandler h(peer.Port());
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadUpTo({3}), "AB\x03");
  EXPECT_TRUE(h->InputBufferContainsData());  // C and D wait
  EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Info("Waiting for:\x03"), Info("Read:AB\x03")}));
}

TEST(TcpTransport, WaitingLineListsTerminatorsAndTheirDumpsUnderHexLog) {
  DisplayPeer peer([&](PeerConnection& s) {
    Send(s, "x\xE9");
    peer.Hold();
  });
  TcpHandler h(peer.Port());
  h->SetHexLog(true);
  ASSERT_TRUE(h->Connect());
  // A received byte above 0x7F is the character of the same code.
  EXPECT_EQ(h->ReadUpTo({2, 3, 0xE9}), "x\xC3\xA9");
  const std::vector<LogLine> traffic = h.Traffic();
  EXPECT_EQ(traffic, (std::vector<LogLine>{Info("Waiting for:\x02,\x03,\xC3\xA9 [02,03,e9]"),
                                           Info("Read:x\xC3\xA9 [78 e9]")}));
}

TEST(TcpTransport, ReadUpToOnASilentPeerEndsWithTheRuntimesReadTimeoutMessage) {
  DisplayPeer peer([&](PeerConnection&) { peer.Hold(); });
  TcpHandler h(peer.Port(), 300);
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadUpTo({3}), "");
  EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Info("Waiting for:\x03"),
                                               Err("ReadUpTo Unexpected error:Read timed out.")}));
}

TEST(TcpTransport, ReadUpToWithoutTerminatorsKeepsWhatArrivedBeforeTheError) {
  DisplayPeer peer([&](PeerConnection& s) {
    Send(s, "abc");
    peer.Hold();
  });
  TcpHandler h(peer.Port(), 300);
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadUpTo({}), "abc");
  EXPECT_EQ(h.Traffic(),
            (std::vector<LogLine>{Info("Waiting for:"), Err("ReadUpTo Unexpected error:Read timed out.")}));
}

TEST(TcpTransport, ReadUpToEndsWithReadTimeoutWhenBytesTrickleInSlowerThanTheOverallBound) {
  DisplayPeer peer([&](PeerConnection& s) {
    for (const char* b : {"1", "2", "3", "\x03"}) {
      Sleep(900);
      Send(s, b);
    }
    peer.Hold();
  });
  TcpHandler h(peer.Port(), 1000);
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadUpTo({3}), "12");
  EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Info("Waiting for:\x03"), Err("Read Timeout:12")}));
}

TEST(TcpTransport, ReadUpToAgainstAFloodEndsAtTheOverallBound) {
  DisplayPeer peer([](PeerConnection& s) {
    // About 4 MB/s, far beyond any device, without ever a terminator; until
    // the client goes away.
    const std::string chunk(4096, 'x');
    for (;;) {
      Send(s, chunk);
      Sleep(1);
    }
  });
  const int32_t timeout = 300;
  TcpHandler h(peer.Port(), timeout);
  ASSERT_TRUE(h->Connect());
  const auto start = std::chrono::steady_clock::now();
  const std::string read = h->ReadUpTo({3});
  EXPECT_LT(MillisecondsSince(start), 2 * timeout);
  EXPECT_FALSE(read.empty());
  EXPECT_EQ(read.find_first_not_of('x'), std::string::npos);
  const std::vector<LogLine> traffic = h.Traffic();
  ASSERT_EQ(traffic.size(), 2u);
  EXPECT_EQ(traffic[1], Err("Read Timeout:" + read));
}

TEST(TcpTransport, ReadUpToAfterThePeerClosedLogsTheClosedConnection) {
  DisplayPeer peer([](PeerConnection& s) { Send(s, "AB"); });
  TcpHandler h(peer.Port());
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadUpTo({3}), "AB");
  EXPECT_FALSE(h->Connected());
  EXPECT_EQ(h.Traffic(),
            (std::vector<LogLine>{Info("Waiting for:\x03"),
                                  Err("ReadUpTo Unexpected error:Connection Closed Gracefully.")}));
}

TEST(TcpTransport, ReadBytesUpToLogsAsciiAndRaisesItsError) {
  DisplayPeer peer([&](PeerConnection& s) {
    Send(s,
         "A\xE9\x03"
         "B");
    peer.Hold();
  });
  TcpHandler h(peer.Port(), 300);
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadBytesUpTo({3}), (std::vector<uint8_t>{'A', 0xE9, 3}));
  try {
    h->ReadBytesUpTo({3});
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Read timed out.");
  }
  EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Info("Waiting for:\x03"), Info("Read:A\xEF\xBF\xBD\x03"),
                                               Info("Waiting for:\x03"),
                                               Err("ReadUpTo Unexpected error:Read timed out.")}));
}

// ---- ReadChars, ReadAll ------------------------------------------------------

TEST(TcpTransport, ReadCharsShortReadIsLoggedAndLeavesTheBytesWaiting) {
  DisplayPeer peer([&](PeerConnection& s) {
    Send(s, "ab\xE9");
    peer.Hold();
  });
  TcpHandler h(peer.Port(), 300);
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadChars(5), "");
  EXPECT_TRUE(h->InputBufferContainsData());
  EXPECT_EQ(h->ReadChars(2), "ab");
  EXPECT_EQ(h->ReadChars(1), "\xC3\xA9");
  EXPECT_FALSE(h->InputBufferContainsData());
  EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Err("ReadChars Unexpected error:Read timed out."),
                                               Info("Read:ab"), Info("Read:\xC3\xA9")}));
}

TEST(TcpTransport, ReadAllEndsOnThePeersClose) {
  DisplayPeer peer([](PeerConnection& s) { Send(s, "h\xE9llo"); });
  TcpHandler h(peer.Port());
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadAll(), "h\xC3\xA9llo");
  EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Info("Read:h\xC3\xA9llo")}));
}

TEST(TcpTransport, ReadAllEndsAfterOneReadTimeoutOfSilence) {
  DisplayPeer peer([&](PeerConnection& s) {
    Send(s, "hi");
    peer.Hold();
  });
  TcpHandler h(peer.Port(), 300);
  ASSERT_TRUE(h->Connect());
  EXPECT_EQ(h->ReadAll(), "hi");
  EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Err("ReadAll Unexpected error:Read timed out.")}));
}

TEST(TcpTransport, ReadAllBytesShowsAsciiOnCloseAndEmptiesOnError) {
  {
    DisplayPeer peer([](PeerConnection& s) { Send(s, "h\xE9"); });
    TcpHandler h(peer.Port());
    ASSERT_TRUE(h->Connect());
    EXPECT_EQ(h->ReadAllBytes(), (std::vector<uint8_t>{'h', 0xE9}));
    EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Info("Read:h\xEF\xBF\xBD")}));
  }
  {
    DisplayPeer peer([&](PeerConnection& s) {
      Send(s, "hi");
      peer.Hold();
    });
    TcpHandler h(peer.Port(), 300);
    ASSERT_TRUE(h->Connect());
    EXPECT_TRUE(h->ReadAllBytes().empty());
    const std::vector<LogLine> traffic = h.Traffic();
    ASSERT_EQ(traffic.size(), 2u);
    EXPECT_TRUE(traffic[0].error);
    EXPECT_TRUE(traffic[0].message.starts_with("lTimeoutExpired:")) << traffic[0];
    EXPECT_GE(std::stoi(traffic[0].message.substr(16)), 300);
    EXPECT_EQ(traffic[1], Err("ReadAll Unexpected error:Read timed out."));
  }
}

// ---- Write -------------------------------------------------------------------

TEST(TcpTransport, WriteEncodesTheTextInTheHandlersCodePage) {
  const std::string text =
      "A\xC3\xA9\xE2\x82\xAC"
      "B";  // A, e acute, euro sign, B
  const std::pair<int32_t, std::string> cases[] = {
      {0, "A\xE9?B"},
      {65001, text},
      {1252,
       "A\xE9\x80"
       "B"},
      {1200, std::string("A\0\xE9\0\xAC\x20"
                         "B\0",
                         8)},
      {1201, std::string("\0A\0\xE9\x20\xAC\0B", 8)},
      {20127, "A??B"},
      {65000, "A+AOkgrA-B"},
  };
  for (const auto& [codePage, expected] : cases) {
    std::string received;
    {
      DisplayPeer peer([&](PeerConnection& s) { received = ReceiveUntilClosed(s); });
      TcpHandler h(peer.Port());
      h->SetCodePage(codePage);
      ASSERT_TRUE(h->Connect());
      EXPECT_TRUE(h->Write(text));
      EXPECT_TRUE(h->Disconnect());
      EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Info("Write:" + text)}));
    }
    EXPECT_EQ(received, expected) << "code page " << codePage;
  }
}

TEST(TcpTransport, WriteBytesSendsTheBytesAndLogsThemAsAscii) {
  std::string received;
  {
    DisplayPeer peer([&](PeerConnection& s) { received = ReceiveUntilClosed(s); });
    TcpHandler h(peer.Port());
    ASSERT_TRUE(h->Connect());
    EXPECT_TRUE(h->WriteBytes({0x02, 'O', 0xFF, 0x00, 0x03}));
    h->Disconnect();
    EXPECT_EQ(h.Traffic(),
              (std::vector<LogLine>{Info("Write:\x02O\xEF\xBF\xBD" + std::string(1, '\0') + "\x03")}));
  }
  EXPECT_EQ(received, std::string("\x02O\xFF\0\x03", 5));
}

TEST(TcpTransport, WriteWithoutAConnectionRaises) {
  ClosedPort closed;
  TcpHandler h(closed);
  try {
    h->Write("x");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Not Connected");
  }
}

TEST(TcpTransport, AFailedWriteIsLoggedAndPassesOn) {
  ClosedPort closed;
  TcpHandler h(closed);
  EXPECT_EQ(testing::ErrorOf([&] { h->Write("x"); }), "Not Connected");
  EXPECT_EQ(testing::ErrorOf([&] { h->WriteBytes({0x41}); }), "Not Connected");
  const std::vector<LogLine> log = h.Log();
  EXPECT_EQ(std::vector<LogLine>(log.begin() + 1, log.end()),
            (std::vector<LogLine>{Info("Write:x"), Err("Write Error:Not Connected"), Info("Write:A"),
                                  Err("Write Error:Not Connected"), Info(kStop)}));
}

// ---- Connect, Disconnect -----------------------------------------------------

TEST(TcpTransport, ConnectLogsBannerHostAndPortAndDoesNotReconnectWhenConnected) {
  std::string received;
  auto peer = std::make_unique<DisplayPeer>([&](PeerConnection& s) { received = ReceiveUntilClosed(s); });
  const int peerPort = peer->Port();
  TcpHandler h(peerPort);
  h->SetVersion("v1");
  ASSERT_TRUE(h->Connect());
  ASSERT_TRUE(h->Connect());
  h->Write("Z");
  h->Disconnect();
  const std::vector<LogLine> log = h.Log();
  const std::string port = "Port=" + std::to_string(peerPort);
  const std::string stars(61, '*');
  EXPECT_EQ(log,
            (std::vector<LogLine>{Info(testing::kStart), Info(stars), Info("kIOHandler_TCP"), Info("v1"),
                                  Info("ConnectTimeout=2000"), Info("ReadTimeout=1000"),
                                  Info("Host=127.0.0.1"), Info(port), Info(stars), Info("kIOHandler_TCP"),
                                  Info("v1"), Info("ConnectTimeout=2000"), Info("ReadTimeout=1000"),
                                  Info("Host=127.0.0.1"), Info(port), Info("Write:Z"), Info(kStop)}));
  peer.reset();
  EXPECT_EQ(received, "Z");  // one connection carried everything
}

TEST(TcpTransport, DisconnectNotesUnreadBytesAndEmptiesTheBuffer) {
  DisplayPeer peer([&](PeerConnection& s) {
    Send(s, "12345");
    peer.Hold();
  });
  TcpHandler h(peer.Port());
  ASSERT_TRUE(h->Connect());
  // Wait until the five bytes have been taken in.
  for (int i = 0; i < 500 && h->TCPClient().InputBufferSize() < 5; ++i) {
    h->Connected();
    Sleep(10);
  }
  ASSERT_TRUE(h->InputBufferContainsData());
  EXPECT_TRUE(h->Disconnect());
  EXPECT_FALSE(h->Connected());
  EXPECT_FALSE(h->InputBufferContainsData());
  EXPECT_TRUE(h->Disconnect());  // nothing left to note
  EXPECT_EQ(h.Traffic(),
            (std::vector<LogLine>{Info("Disconnect:Before disconnecting the buffer contains 5 bytes")}));
}

TEST(TcpTransport, ConnectRefusedLogsTheRuntimesMessage) {
  ClosedPort closed;
  TcpHandler h(closed);
  EXPECT_FALSE(h->Connect());
  EXPECT_FALSE(h->Connected());
#ifdef _WIN32
  const std::string refused = platform::OsErrorText(WSAECONNREFUSED);
#else
  const std::string refused = "Connection refused";
#endif
  EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Err("Connect Error:" + refused)}));
}

TEST(TcpTransport, ConnectTimesOutAgainstAFullBacklog) {
  // A listener that never accepts, with a backlog of 0: one connection fills
  // its queue and the next handshake goes unanswered.
  asio::io_context context;
  asio::ip::tcp::acceptor acceptor(context);
  const asio::ip::tcp::endpoint local(asio::ip::make_address("127.0.0.1"), 0);
  acceptor.open(local.protocol());
  acceptor.bind(local);
  acceptor.listen(0);
  Socket filler(context);
  filler.connect(acceptor.local_endpoint());
  kConnection connection;
  connection.SetAddress("127.0.0.1");
  connection.SetPort(acceptor.local_endpoint().port());
  connection.SetConnectTimeOut(300);
  TempDir dir;
  std::string path;
  const auto start = std::chrono::steady_clock::now();
  {
    kIOHandler_TCP h(connection, dir.Path(), "Tcp_timeout");
    path = h.GetLogFileName();
    EXPECT_FALSE(h.Connect());
    EXPECT_FALSE(h.Connected());
  }
  EXPECT_LT(MillisecondsSince(start), 5000);
  const std::vector<LogLine> log = ReadLog(path);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], Err("Connect Error:Connect timed out."));
}

TEST(TcpTransport, UnresolvableHostFailsConnectWithTheRuntimesMessage) {
  // The empty label makes the resolver refuse the name before any query.
  TcpHandler h(80, 1000, "unresolvable..host");
  bool connected = true;
  EXPECT_NO_THROW(connected = h->Connect());
  EXPECT_FALSE(connected);
  const std::vector<LogLine> traffic = h.Traffic();
  ASSERT_EQ(traffic.size(), 1u);
  EXPECT_TRUE(traffic[0].error);
  EXPECT_TRUE(traffic[0].message.starts_with("Connect Error:")) << traffic[0];
  EXPECT_GT(traffic[0].message.size(), std::string("Connect Error:").size());
}

TEST(TcpTransport, APortOutsideSixteenBitsIsAnErrorNamingIt) {
  // Once masked to its low 16 bits, which reached another port.
  DisplayPeer peer([](PeerConnection& s) { ReceiveUntilClosed(s); }, 2);
  for (const int32_t port : {peer.Port() + 65536, peer.Port() - 65536}) {
    TcpHandler h(port);
    EXPECT_EQ(h->TCPClient().Port(), port);
    EXPECT_FALSE(h->Connect()) << port;
    EXPECT_EQ(h.Traffic(), (std::vector<LogLine>{Err("Connect Error:Port " + std::to_string(port) +
                                                     " is out of range (1 to 65535).")}));
  }
  EXPECT_EQ(peer.Connections(), 0);
}

TEST(TcpTransport, DestroyingTheHandlerClosesTheConnectionBeforeStop) {
  std::string received;
  Signal closed;
  DisplayPeer peer([&](PeerConnection& s) {
    received = ReceiveUntilClosed(s);
    closed.Set();
  });
  std::vector<LogLine> log;
  {
    TcpHandler h(peer.Port());
    ASSERT_TRUE(h->Connect());
    h->Write("bye");
    log = h.Log();
  }
  EXPECT_TRUE(closed.Wait());
  EXPECT_EQ(received, "bye");
  EXPECT_EQ(log.back(), Info(kStop));
}

TEST(TcpTransport, OperationsBeforeTheFirstConnectNeitherHangNorRaise) {
  ClosedPort closed;
  TcpHandler h(closed);
  EXPECT_FALSE(h->TCPClient().Used());
  EXPECT_FALSE(h->Connected());
  EXPECT_FALSE(h->InputBufferContainsData());
  h->ClearBuffers();
  EXPECT_TRUE(h->Disconnect());
  EXPECT_EQ(h->ReadUpTo({3}), "");
  EXPECT_EQ(h->ReadChars(2), "");
  EXPECT_EQ(h->ReadAll(), "");
  EXPECT_EQ(h->DecodeError(10061), "");
  h->SetParameter("any", "thing");
  EXPECT_EQ(h.Log(), (std::vector<LogLine>{Info(testing::kStart), Info("Waiting for:\x03"),
                                           Err("ReadUpTo Unexpected error:Not Connected"),
                                           Err("ReadChars Unexpected error:Not Connected"),
                                           Err("ReadAll Unexpected error:Not Connected"), Info(kStop)}));
}

}  // namespace
}  // namespace korvane
