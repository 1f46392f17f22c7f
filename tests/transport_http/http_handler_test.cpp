#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifdef _WIN32
// winsock2.h before windows.h, as the HTTP server's header has it.
#include <winsock2.h>
// (then the system headers that need them)
#include <windows.h>
// (bcrypt.h needs windows.h)
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/error.h"
#include "support/http_server.h"
#include "support/test_support.h"
#include "transport/http_client.h"
#include "transport/http_handler.h"
#include "transport/transport_table.h"

namespace korvane {
namespace {

using testing::Err;
using ::testing::HasSubstr;
using testing::Info;
using testing::LogLine;
using testing::TempDir;
using testing::TestCertificate;
using testing::TestHttpServer;

constexpr const char* kUser = "user";
constexpr const char* kPassword = "secret";
constexpr const char* kRealm = "korvane";
constexpr const char* kNonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";

std::string Md5Hex(const std::string& aText) {
#ifdef _WIN32
  unsigned char digest[16];
  const unsigned length = sizeof digest;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0);
  BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
  BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(aText.data())),
                 static_cast<ULONG>(aText.size()), 0);
  BCryptFinishHash(hash, digest, length, 0);
  BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
#else
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(aText.data(), aText.size(), digest, &length, EVP_md5(), nullptr);
#endif
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

// The value of key="value" or key=value in a Digest authorization header.
std::string DigestField(const std::string& aHeader, const std::string& aKey) {
  size_t at = 0;
  while ((at = aHeader.find(aKey + "=", at)) != std::string::npos) {
    if (at == 0 || aHeader[at - 1] == ' ' || aHeader[at - 1] == ',') break;
    ++at;
  }
  if (at == std::string::npos) return "";
  at += aKey.size() + 1;
  if (at < aHeader.size() && aHeader[at] == '"') {
    const size_t end = aHeader.find('"', at + 1);
    return aHeader.substr(at + 1, end - at - 1);
  }
  const size_t end = aHeader.find(',', at);
  return aHeader.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The loopback server of these tests, started, with its POST routes
// recorded:
//   /ok        200 "OK" (text/plain)       /missing   404 "nope"
//   /fail      500                         /redirect  302 to /ok
//   /latin     200, ISO-8859-1 body "caf\xe9"
//   /basic     401 with a Basic challenge unless user:secret comes with it
//   /digest    401 with a Digest challenge unless the digest of user:secret
//              for it comes with it
//   /slow      answers after 3 s
class LoopbackServer : public TestHttpServer {
 public:
  LoopbackServer() { Serve(); }
  explicit LoopbackServer(const TestCertificate& aCert) : TestHttpServer(aCert) { Serve(); }

 private:
  void Serve() {
    RecordedPost(
        "/ok", [](const httplib::Request&, httplib::Response& res) { res.set_content("OK", "text/plain"); });
    RecordedPost("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("nope", "text/plain");
    });
    RecordedPost("/fail", [](const httplib::Request&, httplib::Response& res) { res.status = 500; });
    RecordedPost("/redirect",
                 [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/ok", 302); });
    RecordedPost("/latin", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("caf\xe9", "text/plain; charset=ISO-8859-1");
    });
    RecordedPost("/basic", [](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") {
        res.set_content("welcome", "text/plain");
        return;
      }
      res.status = 401;
      res.set_header("WWW-Authenticate", std::string("Basic realm=\"") + kRealm + "\"");
    });
    RecordedPost("/digest", [](const httplib::Request& req, httplib::Response& res) {
      const std::string auth = req.get_header_value("Authorization");
      if (auth.rfind("Digest ", 0) == 0) {
        const std::string ha1 = Md5Hex(std::string(kUser) + ":" + kRealm + ":" + kPassword);
        const std::string ha2 = Md5Hex("POST:" + DigestField(auth, "uri"));
        const std::string expected =
            Md5Hex(ha1 + ":" + DigestField(auth, "nonce") + ":" + DigestField(auth, "nc") + ":" +
                   DigestField(auth, "cnonce") + ":" + DigestField(auth, "qop") + ":" + ha2);
        if (DigestField(auth, "username") == kUser && DigestField(auth, "response") == expected) {
          res.set_content("digest welcome", "text/plain");
          return;
        }
      }
      res.status = 401;
      res.set_header("WWW-Authenticate", std::string("Digest realm=\"") + kRealm +
                                             "\", qop=\"auth\", nonce=\"" + kNonce + "\", algorithm=MD5");
    });
    RecordedPost("/huge", [](const httplib::Request&, httplib::Response& res) {
      // One byte more than a response may have, in 1 MiB pieces.
      const size_t size = kHTTPClient::kMaxResponseBytes + 1;
      res.set_content_provider(size, "application/octet-stream",
                               [](size_t aOffset, size_t aLength, httplib::DataSink& aSink) {
                                 static const std::string piece(1024 * 1024, 'x');
                                 (void)aOffset;
                                 return aSink.write(piece.data(), std::min(aLength, piece.size()));
                               });
    });
    RecordedPost("/slow", [](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::seconds(3));
      res.set_content("late", "text/plain");
    });
    Start();
  }
};

// An HTTP handler with a log, and its log read back once it is gone.
class HttpHandler {
 public:
  explicit HttpHandler(const std::string& aUrl, tkHTTPAuthType aAuth = at_None, int32_t aReadTimeout = 2000) {
    kConnection connection;
    connection.SetConnectionType(tkConnectionType::HTTP);
    connection.SetURL(aUrl);
    connection.SetAuthType(aAuth);
    connection.SetUser(kUser);
    connection.SetPassword(kPassword);
    connection.SetReadTimeOut(aReadTimeout);
    connection.SetConnectTimeOut(2000);
    fHandler = std::make_unique<kIOHandler_HTTP>(connection, fDir.Path(), "Http_test");
    fLogPath = fHandler->GetLogFileName();
  }
  kIOHandler_HTTP* operator->() { return fHandler.get(); }

  // Destroys the handler; its log without START and STOP.
  std::vector<LogLine> Log() {
    fHandler.reset();
    std::vector<LogLine> log = testing::ReadLog(fLogPath);
    if (!log.empty()) log.erase(log.begin());
    if (!log.empty()) log.pop_back();
    return log;
  }

 private:
  TempDir fDir;
  std::unique_ptr<kIOHandler_HTTP> fHandler;
  std::string fLogPath;
};

// ---- URL and the table ------------------------------------------------------

TEST(HttpTransport, UrlIsTheUrlSettingElseAddressAndPort) {
  struct Case {
    std::string url, address;
    int32_t port;
    std::string expected;
  };
  for (const Case& c :
       {Case{"http://h/x", "10.0.0.5", 8080, "http://h/x"}, Case{"", "10.0.0.5", 8080, "10.0.0.5:8080"},
        Case{"", "10.0.0.5", 0, "10.0.0.5"}, Case{"", "10.0.0.5", -3, "10.0.0.5"}}) {
    kConnection connection;
    connection.SetURL(c.url);
    connection.SetAddress(c.address);
    connection.SetPort(c.port);
    EXPECT_EQ(kIOHandler_HTTP(connection, "", "").URL(), c.expected) << c.address << ":" << c.port;
  }
}

TEST(HttpTransport, TransportTableMakesTheHttpHandler) {
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::HTTP);
  connection.SetURL("http://127.0.0.1:1/x");
  std::unique_ptr<kIOHandler> handler = TransportTable::Create(connection, "", "");
  ASSERT_NE(dynamic_cast<kIOHandler_HTTP*>(handler.get()), nullptr);
  EXPECT_EQ(handler->ClassName(), "kIOHandler_HTTP");
}

// ---- successful exchanges ---------------------------------------------------

TEST(HttpTransport, WritePostsUtf8BodyAndKeepsResponse) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/ok"));
  handler->SetContentType("application/json; charset=utf-8");
  EXPECT_TRUE(handler->Connect());
  EXPECT_TRUE(
      handler->Write("a\xE2\x82\xAC"
                     "b"));
  EXPECT_EQ(handler->ResponseCode(), 200);
  EXPECT_EQ(handler->Response(), "OK");
  EXPECT_FALSE(handler->ErrorFound());

  const std::vector<testing::SeenRequest> seen = server.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].body,
            "a\xE2\x82\xAC"
            "b");
  EXPECT_EQ(seen[0].headers.find("Content-Type")->second, "application/json; charset=utf-8");
  EXPECT_EQ(seen[0].headers.count("Authorization"), 0u);

  const std::vector<LogLine> log = handler.Log();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[1], Info("kIOHandler_HTTP"));
  EXPECT_EQ(log[5], Info("URL=" + server.Url("/ok")));
  EXPECT_EQ(log[6], Info("Write [5]:a\xE2\x82\xAC"
                         "b"));
  EXPECT_EQ(log[7], Info("Read:ResponseCode:200\r\nOK"));
}

TEST(HttpTransport, WithoutContentTypeNoContentTypeHeaderIsSent) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/ok"));
  EXPECT_TRUE(handler->Write("x=1"));
  ASSERT_EQ(server.Seen().size(), 1u);
  EXPECT_EQ(server.Seen()[0].headers.count("Content-Type"), 0u);
}

TEST(HttpTransport, ResponseIsDecodedByItsDeclaredCharset) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/latin"));
  EXPECT_TRUE(handler->Write(""));
  EXPECT_EQ(handler->Response(), "caf\xC3\xA9");
}

TEST(HttpTransport, CustomHeadersAreSetOnceAndStayForLaterRequests) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/ok"));
  handler->SetParameter("X-Till", "1");
  handler->SetParameter("Authorization", "Bearer abc");
  handler->SetParameter("x-till", "7");
  EXPECT_EQ(handler->CustomHeaders().size(), 2u);
  EXPECT_TRUE(handler->Write("one"));
  EXPECT_TRUE(handler->Write("two"));
  const std::vector<testing::SeenRequest> seen = server.Seen();
  ASSERT_EQ(seen.size(), 2u);
  for (const testing::SeenRequest& request : seen) {
    EXPECT_EQ(request.headers.count("X-Till"), 1u);
    EXPECT_EQ(request.headers.find("X-Till")->second, "7");
    EXPECT_EQ(request.headers.find("Authorization")->second, "Bearer abc");
  }
}

TEST(HttpTransport, HeaderThatWouldSplitTheRequestIsRefused) {
  HttpHandler handler("http://127.0.0.1:1/x");
  for (const auto& [name, value] : {std::pair{"X-A", "1\r\nX-B: 2"}, std::pair{"X-A\nX-B", "1"},
                                    std::pair{"", "1"}, std::pair{"X:Y", "1"}})
    EXPECT_THROW(handler->SetParameter(name, value), Error) << name;
  EXPECT_TRUE(handler->CustomHeaders().empty());
}

// ---- authentication ---------------------------------------------------------

TEST(HttpTransport, BasicAuthenticationIsSentWithTheFirstRequest) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/basic"), at_Basic);
  EXPECT_TRUE(handler->Write("hello"));
  EXPECT_EQ(handler->Response(), "welcome");
  ASSERT_EQ(server.Seen().size(), 1u);  // no round trip for a challenge
}

TEST(HttpTransport, DigestAuthenticationAnswersTheChallenge) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/digest"), at_Digest);
  EXPECT_TRUE(handler->Write("hello"));
  EXPECT_EQ(handler->ResponseCode(), 200);
  EXPECT_EQ(handler->Response(), "digest welcome");
  const std::vector<testing::SeenRequest> seen = server.Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].headers.count("Authorization"), 0u);
  EXPECT_EQ(seen[1].body, "hello");
  EXPECT_FALSE(handler->ErrorFound());
}

TEST(HttpTransport, AuthenticationSettingStaysWhenLaterCallsAskForNoneOrBearer) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/digest"), at_Digest);
  EXPECT_TRUE(handler->Write("1"));
  handler->SetAuthType(at_Bearer);
  EXPECT_TRUE(handler->Write("2"));
  handler->SetAuthType(at_None);
  EXPECT_TRUE(handler->Write("3"));
  EXPECT_EQ(handler->Response(), "digest welcome");
}

TEST(HttpTransport, WithoutAuthenticationAChallengeIsAFailure) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/basic"));
  EXPECT_FALSE(handler->Write("hello"));
  EXPECT_EQ(handler->ResponseCode(), 401);
  EXPECT_EQ(handler->ErrorMessage(), "HTTP/1.1 401 Unauthorized Unauthorized");
  EXPECT_EQ(server.Seen().size(), 1u);
}

TEST(HttpTransport, WrongDigestPasswordEndsWith401) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/digest"), at_Digest);
  handler->SetPassword("wrong");
  EXPECT_FALSE(handler->Write("hello"));
  EXPECT_EQ(handler->ResponseCode(), 401);
  EXPECT_EQ(handler->ErrorCode(), 401);
}

// ---- failures ---------------------------------------------------------------

TEST(HttpTransport, ErrorStatusFillsErrorSlotAndKeepsLastGoodResponse) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/ok"));
  ASSERT_TRUE(handler->Write("first"));
  handler->SetURL(server.Url("/missing"));
  EXPECT_FALSE(handler->Write("second"));
  EXPECT_EQ(handler->ResponseCode(), 404);
  EXPECT_EQ(handler->Response(), "OK");
  EXPECT_TRUE(handler->ErrorFound());
  EXPECT_EQ(handler->ErrorCode(), 404);
  EXPECT_EQ(handler->ErrorMessage(), "HTTP/1.1 404 Not Found Not Found");

  // A later success leaves the slot as it was.
  handler->SetURL(server.Url("/ok"));
  EXPECT_TRUE(handler->Write("third"));
  EXPECT_TRUE(handler->ErrorFound());
  EXPECT_EQ(handler->ErrorCode(), 404);

  const std::vector<LogLine> log = handler.Log();
  EXPECT_THAT(log,
              ::testing::ElementsAre(Info("Write [5]:first"), Info("Read:ResponseCode:200\r\nOK"),
                                     Info("Write [6]:second"), Err("Post Error:HTTP/1.1 404 Not Found"),
                                     Err("Post Error:404 Not Found"), Info("Read:ResponseCode:404\r\nOK"),
                                     Info("Write [5]:third"), Info("Read:ResponseCode:200\r\nOK")));
}

TEST(HttpTransport, ServerErrorAndRedirectAreFailures) {
  LoopbackServer server;
  struct Case {
    std::string path;
    int32_t code;
    std::string message;
  };
  for (const Case& c : {Case{"/fail", 500, "HTTP/1.1 500 Internal Server Error Internal Server Error"},
                        Case{"/redirect", 302, "HTTP/1.1 302 Found Found"}}) {
    HttpHandler handler(server.Url(c.path));
    EXPECT_FALSE(handler->Write("x")) << c.path;
    EXPECT_EQ(handler->ResponseCode(), c.code) << c.path;
    EXPECT_EQ(handler->ErrorMessage(), c.message) << c.path;
  }
  // The redirect was not followed.
  for (const testing::SeenRequest& request : server.Seen()) EXPECT_NE(request.path, "/ok");
}

TEST(HttpTransport, UnreachableServerGivesMinusOneAndUnknown) {
  HttpHandler handler("http://127.0.0.1:1/x");
  EXPECT_FALSE(handler->Write("x"));
  EXPECT_EQ(handler->ResponseCode(), -1);
  EXPECT_EQ(handler->ErrorCode(), -1);
  EXPECT_THAT(handler->ErrorMessage(), HasSubstr("connect"));
  EXPECT_THAT(handler->ErrorMessage(), ::testing::EndsWith(" Unknown"));
  const std::vector<LogLine> log = handler.Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_TRUE(log[1].error);
  EXPECT_EQ(log[2], Err("Post Error:-1 Unknown"));
  EXPECT_EQ(log[3], Info("Read:ResponseCode:-1\r\n"));
}

TEST(HttpTransport, UrlThatDoesNotParseIsAFailedWriteNotAnError) {
  for (const std::string url : {"", "http://[::1", "ftp://127.0.0.1/x", "http://exa mple/"}) {
    HttpHandler handler(url);
    EXPECT_FALSE(handler->Write("x")) << url;
    EXPECT_EQ(handler->ResponseCode(), -1) << url;
    EXPECT_TRUE(handler->ErrorFound()) << url;
  }
}

TEST(HttpTransport, BrokenOffSuccessResponseGives999) {
  testing::RawHttpPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort");
  HttpHandler handler("http://127.0.0.1:" + std::to_string(peer.Port()) + "/x");
  EXPECT_FALSE(handler->Write("x"));
  EXPECT_EQ(handler->ResponseCode(), 999);
  EXPECT_EQ(handler->ErrorCode(), 999);
  EXPECT_FALSE(handler->ErrorMessage().empty());
  EXPECT_EQ(handler->Response(), "");
  const std::vector<LogLine> log = handler.Log();
  ASSERT_EQ(log.size(), 3u);  // one Post Error line only
  EXPECT_TRUE(log[1].error);
  EXPECT_EQ(log[2], Info("Read:ResponseCode:999\r\n"));
}

TEST(HttpTransport, SlowServerIsBoundedByTheTimeouts) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/slow"), at_None, 300);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(handler->Write("x"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
  EXPECT_EQ(handler->ResponseCode(), -1);
}

TEST(HttpTransport, AResponseLargerThanTheCapIsAFailure) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/huge"), at_None, 20000);
  EXPECT_FALSE(handler->Write("x"));
  EXPECT_THAT(handler->ErrorMessage(), HasSubstr("Response larger than 67108864 bytes"));
  EXPECT_EQ(handler->Response(), "");
}

// ---- connection state -------------------------------------------------------

TEST(HttpTransport, ConnectedFollowsTheKeptAliveConnection) {
  LoopbackServer server;
  HttpHandler handler(server.Url("/ok"));
  EXPECT_FALSE(handler->Connected());
  ASSERT_TRUE(handler->Write("x"));
  EXPECT_TRUE(handler->Connected());
  EXPECT_TRUE(handler->Disconnect());
  EXPECT_FALSE(handler->Connected());
  EXPECT_TRUE(handler->Write("again"));
}

// ---- https ------------------------------------------------------------------

TEST(HttpTransport, HttpsWorksWithTrustedCertificateAndFailsWithout) {
  if (!testing::kHaveHttpsServer) GTEST_SKIP() << "no HTTPS test server in this build";
  TestCertificate cert;
  LoopbackServer server(cert);
  {
    HttpHandler handler(server.Url("/ok"));
    handler->SetCAFile(cert.CertFile());
    EXPECT_TRUE(handler->Write("secure"));
    EXPECT_EQ(handler->Response(), "OK");
  }
  {
    HttpHandler handler(server.Url("/ok"));
    EXPECT_FALSE(handler->Write("secure"));
    EXPECT_EQ(handler->ResponseCode(), -1);
    EXPECT_THAT(handler->ErrorMessage(), HasSubstr("certificate"));
  }
  ASSERT_EQ(server.Seen().size(), 1u);
  EXPECT_EQ(server.Seen()[0].body, "secure");
}

// ---- the rest of the interface ---------------------------------------------

TEST(HttpTransport, DecodeErrorKnowsItsTableAndNothingElse) {
  HttpHandler handler("x");
  const std::pair<int32_t, std::string> cases[] = {{100, "Continue"},
                                                   {200, "OK"},
                                                   {208, "Multi-Status (WebDAV)"},
                                                   {209, "Unknown"},
                                                   {305, "Use Proxy "},
                                                   {404, "Not Found"},
                                                   {418, "I'm a teapot"},
                                                   {451, "Unavailable For Legal Reasons"},
                                                   {511, "Network Authentication Required"},
                                                   {509, "Unknown"},
                                                   {999, "Unknown"},
                                                   {-1, "Unknown"},
                                                   {0, "Unknown"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(handler->DecodeError(code), text) << code;
  int known = 0;
  for (int32_t code = -10; code < 1000; ++code) known += handler->DecodeError(code) != "Unknown";
  EXPECT_EQ(known, 61);
}

TEST(HttpTransport, StreamOperationsAreEmptyOrUnsupported) {
  HttpHandler handler("x");
  EXPECT_EQ(handler->ReadUpTo({13}), "");
  EXPECT_EQ(handler->ReadChars(5), "");
  handler->ClearBuffers();
  try {
    handler->ReadAll();
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "ReadAll Unsupported");
  }
  try {
    handler->InputBufferContainsData();
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "InputBufferContainsData Unsupported");
  }
}

}  // namespace
}  // namespace korvane
