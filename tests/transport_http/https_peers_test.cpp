// HTTPS from the Windows build, under Wine, against servers on the host's
// side that CTest starts around these tests (scripts/https_peers.sh): a
// private authority, a server certificate it signed, openssl s_server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "display/korvane/image_sources.h"
#include "helpers/base64.h"
#include "platform/filesystem.h"
#include "support/test_support.h"
#include "transport/http_handler.h"

namespace korvane {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::TempDir;

// The servers' folder; they write their ports, certificates and logs there.
const std::string kPeers = KORVANE_HTTPS_PEERS_DIR;

std::string PeerFile(const std::string& aName) { return kPeers + "/" + aName; }

// https://HOST:PORT/ of the server aName; empty when the servers are not
// up (the test then skips). Its certificate names localhost and 127.0.0.1.
std::string PeerUrl(const std::string& aName, const std::string& aHost = "localhost") {
  if (!platform::FileExists(PeerFile(aName + ".port"))) return std::string();
  std::string port = platform::ReadFileBytes(PeerFile(aName + ".port"));
  while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
  return "https://" + aHost + ":" + port + "/";
}

#define REQUIRE_PEER(url)                                                                    \
  if ((url).empty())                                                                         \
  GTEST_SKIP() << "the HTTPS servers are not up (CTest starts them: scripts/https_peers.sh " \
                  "start "                                                                   \
               << kPeers << ")"

// What the server printed: the requests it received among it.
std::string PeerLog(const std::string& aName) { return platform::ReadFileBytes(PeerFile(aName + ".log")); }

// One POST through the HTTP transport, with aCaFile as its CA file.
struct Exchange {
  bool written = false;
  int32_t status = 0;
  std::string response, error;
};

Exchange PostOnce(const std::string& aUrl, const std::string& aCaFile, const std::string& aBody) {
  TempDir logs;
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::HTTP);
  connection.SetURL(aUrl);
  connection.SetReadTimeOut(5000);
  connection.SetConnectTimeOut(5000);
  kIOHandler_HTTP handler(connection, logs.Path(), "Https_test");
  handler.SetCAFile(aCaFile);
  Exchange result;
  result.written = handler.Write(aBody);
  result.status = handler.ResponseCode();
  result.response = handler.Response();
  result.error = handler.ErrorMessage();
  return result;
}

// The one-connection servers take a moment to listen again after each
// connection: a refused connection (nothing sent) is tried again, for 5 s
// at most.
Exchange Post(const std::string& aUrl, const std::string& aCaFile, const std::string& aBody) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    Exchange result = PostOnce(aUrl, aCaFile, aBody);
    if (result.written || result.error.find("Failed to connect") == std::string::npos ||
        std::chrono::steady_clock::now() >= until)
      return result;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

TEST(HttpsUnderWine, AnImageComesWithoutCheckingTheCertificate) {
  const std::string url = PeerUrl("www");
  REQUIRE_PEER(url);
  const std::string png = platform::ReadFileBytes(PeerFile("logo.png"));
  // No CA file is involved, and the server's authority is unknown to Wine.
  EXPECT_EQ(LoadImageAsBase64(url + "logo.png"), Base64Encode(png));
}

TEST(HttpsUnderWine, TheTransportTrustsTheServerThroughItsCaFile) {
  for (const std::string host : {"localhost", "127.0.0.1"}) {
    const std::string url = PeerUrl("trusted", host);
    REQUIRE_PEER(url);
    const std::string body = "secure body for " + host;
    const Exchange posted = Post(url + "ok", PeerFile("ca.pem"), body);
    EXPECT_TRUE(posted.written) << host << ": " << posted.error;
    EXPECT_EQ(posted.status, 200) << host;
    EXPECT_EQ(posted.response, "OK") << host;
    EXPECT_THAT(PeerLog("trusted"), HasSubstr(body));
  }
}

// A server whose authority is not the CA file's, nor the system's, or whose
// certificate names another host: refused before the body goes out, with
// the reason.
TEST(HttpsUnderWine, TheTransportRefusesAServerItCannotTrust) {
  struct Case {
    std::string server, host, caFile, expected;
  };
  const Case cases[] = {
      {"other-ca", "localhost", PeerFile("other-ca.pem"), "does not lead to an authority of the CA file"},
      {"no-ca", "localhost", "", "certificate"},
      // Another loopback address: the right authority, but not its name.
      {"other-ca", "127.0.0.2", PeerFile("ca.pem"), "does not name the host"},
  };
  for (const Case& c : cases) {
    const std::string url = PeerUrl(c.server, c.host);
    REQUIRE_PEER(url);
    const Exchange posted = Post(url + "ok", c.caFile, "secret body");
    EXPECT_FALSE(posted.written) << c.server;
    EXPECT_EQ(posted.status, -1) << c.server;
    EXPECT_THAT(posted.error, HasSubstr(c.expected)) << c.server;
    EXPECT_THAT(PeerLog(c.server), Not(HasSubstr("secret body"))) << c.server;
  }
  // A CA file that is not there is a reason too.
  const Exchange missing = Post(PeerUrl("www") + "logo.png", PeerFile("missing.pem"), "x");
  EXPECT_FALSE(missing.written);
  EXPECT_THAT(missing.error, HasSubstr("missing.pem"));
}

}  // namespace
}  // namespace korvane
