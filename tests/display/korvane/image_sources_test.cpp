#include "display/korvane/image_sources.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "helpers/base64.h"
#include "platform/error.h"
#include "platform/resources.h"
#include "support/http_server.h"
#include "support/test_support.h"

using namespace korvane;
using korvane::testing::TempDir;
using korvane::testing::TestCertificate;
using korvane::testing::TestHttpServer;
using ::testing::HasSubstr;

namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "pretend image bytes";

void ServeImages(httplib::Server& aServer) {
  aServer.Get("/logo.png",
              [](const httplib::Request&, httplib::Response& res) { res.set_content(kPng, "image/png"); });
  aServer.Get("/moved.png",
              [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/logo.png"); });
  aServer.Get("/error.png", [](const httplib::Request&, httplib::Response& res) { res.status = 500; });
  aServer.Get(R"(/dir/(.*))", [](const httplib::Request& req, httplib::Response& res) {
    // Echo how the path arrived, so the test sees its encoding.
    res.set_content(req.target, "text/plain");
  });
}

std::string FailureOf(const std::string& aSource) {
  try {
    LoadImageAsBase64(aSource);
  } catch (const Error& e) {
    return e.what();
  }
  return "no failure";
}

}  // namespace

TEST(KorvaneImages, EncodesBase64WithPadding) {
  struct Case {
    std::string bytes, text;
  } cases[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"foobar", "Zm9vYmFy"},
               {"\xff\xfe\xfd", "//79"},
               {std::string(3u << 20, 'a') + "b", ""}};
  for (const auto& c : cases) {
    const std::string encoded = Base64Encode(c.bytes);
    if (c.text.empty() && !c.bytes.empty()) {  // a long input: check its size and its end
      EXPECT_EQ(encoded.size(), 4 * ((c.bytes.size() + 2) / 3));
      EXPECT_EQ(encoded.substr(encoded.size() - 4), "Yg==");
      EXPECT_EQ(encoded.find('\n'), std::string::npos);
    } else {
      EXPECT_EQ(encoded, c.text);
    }
  }
}

TEST(KorvaneImages, ReadsTheLibrarysOwnResourcesWhateverTheCaseOfThePrefix) {
  const auto png = platform::FindRawResource("MSG_INFO");
  ASSERT_TRUE(png.has_value());
  EXPECT_EQ(png->substr(0, 8), std::string_view("\x89PNG\r\n\x1a\n", 8));
  for (const char* source : {"res:MSG_INFO", "RES:MSG_INFO", "Res:msg_info"})
    EXPECT_EQ(LoadImageAsBase64(source), Base64Encode(*png)) << source;
  for (const char* name : {"MSG_ERROR", "MSG_WARNING", "DOCUMENTLAYOUT", "STYLELAYOUT"})
    EXPECT_TRUE(platform::FindRawResource(name).has_value()) << name;
  EXPECT_EQ(FailureOf("res:NO_SUCH_IMAGE"), "Resource NO_SUCH_IMAGE not found");
}

TEST(KorvaneImages, ReadsFilesForReadingOnly) {
  TempDir dir;
  korvane::testing::WriteFile(dir / "logo.png", kPng);
  std::filesystem::permissions(dir / "logo.png", std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::group_read |
                                                     std::filesystem::perms::others_read);
  EXPECT_EQ(LoadImageAsBase64(dir / "logo.png"), Base64Encode(kPng));
  korvane::testing::WriteFile(dir / "empty.png", "");
  EXPECT_EQ(LoadImageAsBase64(dir / "empty.png"), "");
  EXPECT_EQ(LoadImageAsBase64(""), "");
#ifdef _WIN32
  const std::string missing = platform::OsErrorText(2), folder = platform::OsErrorText(5);
#else
  const std::string missing = "No such file or directory", folder = "Is a directory";
#endif
  EXPECT_EQ(FailureOf(dir / "missing.png"), "Cannot open file \"" + (dir / "missing.png") + "\". " + missing);
  EXPECT_THAT(FailureOf(dir.Path()), HasSubstr(folder));
}

TEST(KorvaneImages, FetchesOverHttpWithoutFollowingRedirects) {
  TestHttpServer server;
  ServeImages(server.Server());
  server.Start();
  EXPECT_EQ(LoadImageAsBase64(server.Url("/logo.png")), Base64Encode(kPng));
  EXPECT_EQ(LoadImageAsBase64("HTTP://127.0.0.1:" + std::to_string(server.Port()) + "/logo.png"),
            Base64Encode(kPng));
  EXPECT_EQ(LoadImageAsBase64(server.Url("/moved.png")), "");
  EXPECT_EQ(LoadImageAsBase64(server.Url("/nothing-here.png")), "");  // 404
  EXPECT_EQ(LoadImageAsBase64(server.Url("/error.png")), "");
  const auto echoed = OpenImageStream(server.Url("/dir/two words.png?q=a b&x=%41"));
  ASSERT_TRUE(echoed.has_value());
  EXPECT_EQ(*echoed, "/dir/two%20words.png?q=a%20b&x=%41");
}

TEST(KorvaneImages, FetchesOverHttpsWithoutCheckingTheCertificate) {
  if (!korvane::testing::kHaveHttpsServer) GTEST_SKIP() << "no HTTPS test server in this build";
  TestCertificate cert;
  TestHttpServer server(cert);
  ServeImages(server.Server());
  server.Start();
  EXPECT_EQ(LoadImageAsBase64(server.Url("/logo.png")), Base64Encode(kPng));
  EXPECT_EQ(LoadImageAsBase64("HTTPS://127.0.0.1:" + std::to_string(server.Port()) + "/logo.png"),
            Base64Encode(kPng));
  // Plain HTTP to the TLS port fails quietly.
  EXPECT_EQ(LoadImageAsBase64("http://127.0.0.1:" + std::to_string(server.Port()) + "/logo.png"), "");
}

TEST(KorvaneImages, UnreachableServersYieldNoImage) {
  TestHttpServer server;
  server.Start();
  const int port = server.Port();
  server.Stop();  // nothing listens there now
  EXPECT_EQ(LoadImageAsBase64("http://127.0.0.1:" + std::to_string(port) + "/logo.png"), "");
  // A 64-character label is refused by the resolver itself: no query leaves the machine.
  EXPECT_EQ(LoadImageAsBase64("http://" + std::string(64, 'a') + ".invalid/logo.png"), "");
}

TEST(KorvaneImages, EncodesPathAndQueryButNotSchemeOrHost) {
  EXPECT_EQ(EncodeUrl("http://Host:8080/a b/c\xC3\xA0.png?x=1 2#f"),
            "http://Host:8080/a%20b/c%C3%A0.png?x=1%202#f");
  EXPECT_EQ(EncodeUrl("https://host"), "https://host");
  EXPECT_EQ(EncodeUrl("http://h:81?a b"), "http://h:81?a%20b");  // a query without a path
  EXPECT_EQ(EncodeUrl("http://h/%20ok"), "http://h/%20ok");
}
