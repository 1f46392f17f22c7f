#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/error.h"
#include "support/display_peer.h"
#include "support/test_support.h"
#include "transport/tcp_handler.h"
#include "transport/tcp_handler_fixture.h"

namespace korvane {
namespace {

using testing::DisplayPeer;
using testing::MillisecondsSince;
using testing::PeerConnection;
using testing::Send;
using testing::Sleep;
using testing::TcpHandler;

TEST(TcpClient, AWriteThePeerDoesNotTakeTimesOutAndCloses) {
  // A peer that accepts and never reads: the socket buffers (about 4 MiB
  // here) fill up.
  DisplayPeer peer([&](PeerConnection&) { peer.Hold(); });
  kTCPClient client("127.0.0.1", peer.Port(), 2000);
  client.SetReadTimeout(300);
  client.Connect();
  const std::string block(16u * 1024 * 1024, 'x');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(testing::ErrorOf([&] { client.Write(block); }), "Write timed out.");
  EXPECT_LT(MillisecondsSince(start), 10000);
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(testing::ErrorOf([&] { client.Write("x"); }), "Not Connected");
}

TEST(TcpClient, AWriteGoesOnWhileThePeerTakesBytesHoweverSlowly) {
  // A peer that takes 32 KiB every 20 ms: the local send buffer frees room in
  // steps far larger than what the peer takes within a read time-out, so
  // only what the peer takes can tell that it still reads.
  const std::string frame = "\x02" + std::string(8u * 1024 * 1024, 'x') + "\x03";
  std::atomic<size_t> taken{0};
  DisplayPeer steady([&](PeerConnection& s) {
    taken = s.ReceivePaced(32 * 1024, 20).size();
    s.Send("OK\x03");
    steady.Hold();
  });
  kTCPClient client("127.0.0.1", steady.Port(), 2000);
  client.SetReadTimeout(300);
  client.Connect();
  EXPECT_EQ(testing::ErrorOf([&] {
              client.Write(frame);
              client.WaitUntilTaken();
            }),
            testing::kNoError);
  EXPECT_EQ(client.ReadBytes(3), "OK\x03");
  EXPECT_EQ(taken, frame.size());
  EXPECT_EQ(testing::ErrorOf([&] { client.WaitUntilTaken(); }), testing::kNoError);  // nothing is queued
  client.Disconnect();
  EXPECT_EQ(testing::ErrorOf([&] { client.WaitUntilTaken(); }), "Not Connected");

  // Once the peer stops taking bytes, the write (or the wait for the rest
  // to be taken) fails within the read time-out.
  DisplayPeer stops([&](PeerConnection& s) {
    s.ReceivePaced(32 * 1024, 20, 2u * 1024 * 1024);
    stops.Hold();
  });
  kTCPClient stopped("127.0.0.1", stops.Port(), 2000);
  stopped.SetReadTimeout(300);
  stopped.Connect();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(testing::ErrorOf([&] {
              stopped.Write(frame);
              stopped.WaitUntilTaken();
            }),
            "Write timed out.");
  EXPECT_LT(MillisecondsSince(start), 10000);
  EXPECT_FALSE(stopped.Connected());
}

TEST(TcpClient, APortOutOfRangeFailsTheConnectionNamingIt) {
  DisplayPeer peer;
  for (const int32_t port : {0, -1, 65536, 110151, -20921, peer.Port() + 65536}) {
    kTCPClient client("127.0.0.1", port, 2000);
    EXPECT_EQ(client.Port(), port);
    EXPECT_EQ(testing::ErrorOf([&] { client.Connect(); }),
              "Port " + std::to_string(port) + " is out of range (1 to 65535).");
    EXPECT_FALSE(client.Connected());
  }
  EXPECT_EQ(peer.Connections(), 0);
}

TEST(TcpClient, EveryReadIsBoundedHoweverTheBytesTrickleAndWithoutATimeOut) {
  // One byte every 280 ms: each wait is shorter than the read time-out, the
  // whole read is not.
  DisplayPeer trickle([&](PeerConnection& s) {
    for (int i = 0; i < 8; ++i) {
      Sleep(280);
      Send(s, "x");
    }
    trickle.Hold();
  });
  kTCPClient client("127.0.0.1", trickle.Port(), 2000);
  client.SetReadTimeout(300);
  client.Connect();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(testing::ErrorOf([&] { client.ReadBytes(8); }), "Read timed out.");
  EXPECT_LT(MillisecondsSince(start), 10000);
  EXPECT_GT(client.InputBufferSize(), 0u);  // what came stays

  // No time-out set: the connection's default stands in.
  DisplayPeer silent([&](PeerConnection&) { silent.Hold(); });
  kTCPClient quiet("127.0.0.1", silent.Port(), 0);
  quiet.Connect();
  EXPECT_EQ(testing::ErrorOf([&] { quiet.ReadByte(); }), "Read timed out.");
}

// ---- the client object -------------------------------------------------------

TEST(TcpClient, TakesHostPortAndTimeoutsFromTheHandler) {
  TcpHandler h(70000, 250, "localhost");
  kTCPClient& client = h->TCPClient();
  EXPECT_EQ(client.Host(), "localhost");
  EXPECT_EQ(client.Port(), 70000);  // as given, never wrapped to another port
  EXPECT_EQ(client.ConnectTimeout(), 2000);
  EXPECT_EQ(client.ReadTimeout(), 250);
  h->SetConnectTimeout(10);  // does not reach the client
  EXPECT_EQ(client.ConnectTimeout(), 2000);
  EXPECT_EQ(testing::ErrorOf([&] { client.Connect(); }), "Port 70000 is out of range (1 to 65535).");
}

TEST(TcpClient, ReadsUtf8CharactersOneAtATimeAcrossPieces) {
  DisplayPeer peer([](PeerConnection& s) {
    Send(s, "\x02Gr\xC3");
    Sleep(50);
    Send(s, "\xBC\xC3\x9F\xE2\x82");
    Sleep(50);
    Send(s,
         "\xAC\xF0\x9F\x98\x80\xFF\xC3"
         "A\x03");
  });
  kTCPClient client("127.0.0.1", peer.Port(), 1000);
  client.SetReadTimeout(1000);
  client.Connect();
  std::vector<std::string> chars;
  for (;;) {
    const std::string c = client.ReadUtf8Char();
    chars.push_back(c);
    if (c == "\x03") break;
  }
  EXPECT_EQ(chars,
            (std::vector<std::string>{"\x02", "G", "r", "\xC3\xBC", "\xC3\x9F", "\xE2\x82\xAC",
                                      "\xF0\x9F\x98\x80", "\xEF\xBF\xBD", "\xEF\xBF\xBD", "A", "\x03"}));
  try {
    client.ReadUtf8Char();
    ADD_FAILURE() << "no error";
  } catch (const kTCPClosedGracefully& e) {
    EXPECT_EQ(std::string(e.what()), "Connection Closed Gracefully.");
  }
  EXPECT_FALSE(client.Connected());
}

TEST(TcpClient, ConnectsAgainAfterADisconnect) {
  DisplayPeer peer([](PeerConnection& s) { Send(s, "x"); }, 2);
  kTCPClient client("127.0.0.1", peer.Port(), 1000);
  client.SetReadTimeout(1000);
  for (int i = 0; i < 2; ++i) {
    client.Connect();
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.ReadBytes(1), "x");
    client.Disconnect();
    EXPECT_FALSE(client.Connected());
  }
}

}  // namespace
}  // namespace korvane
