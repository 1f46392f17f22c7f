// What reaches the display application, and what the device's log shows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/http_server.h"
#include "support/library_under_test.h"
#include "support/test_support.h"

using namespace korvane::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::string ReadAll(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string LogOf(const CallResult& aResult) {
  const size_t at = aResult.fEnvelope.find("<LogFileName>") + 13;
  return aResult.fEnvelope.substr(at, aResult.fEnvelope.find("</LogFileName>") - at);
}

// The handle an OPEN answered.
int HandleOf(const CallResult& aResult) {
  const size_t at = aResult.fEnvelope.find("<Handle>");
  return at == std::string::npos ? 0 : std::stoi(aResult.fEnvelope.substr(at + 8));
}

// The log's lines without their time stamps ("yyyy-mm-dd hh:mm:ss:zzz").
std::vector<std::string> LogMessages(const std::string& aPath) {
  std::vector<std::string> lines;
  const std::string text = ReadAll(aPath);
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start + 23, at - start - 23));
  return lines;
}

// The log's lines once aText has reached the file (the log is written on a
// thread of its own), waiting at most 5 s.
std::vector<std::string> AwaitLog(const std::string& aPath, const std::string& aText) {
  for (int i = 0; i < 500 && ReadAll(aPath).find(aText) == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return LogMessages(aPath);
}

class DisplayProtocol : public ::testing::Test {
 protected:
  CallResult OpenDevice(const std::string& aParameters = "") {
    const CallResult r = lib.Call("OPEN", OpenRequest(peer.Port(), aParameters));
    fLog = LogOf(r);
    return r;
  }
  std::string LastMessage() const {
    const auto messages = peer.Messages();
    return messages.empty() ? "" : messages.back();
  }
  std::string File(const std::string& aName, const std::string& aBytes) {
    const std::string path = fTemp.File(aName);
    std::ofstream(path, std::ios::binary) << aBytes;
    return path;
  }

  Library lib;
  DisplayPeer peer;
  TempDir fTemp;
  std::string fLog;
};

}  // namespace

TEST_F(DisplayProtocol, OpenSendsTheSettledDefaults) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  ASSERT_EQ(peer.Frames().size(), 1u);
  const std::string frame = peer.Frames()[0];
  EXPECT_EQ(frame.front(), '\x02');
  EXPECT_EQ(frame.back(), '\x03');
  EXPECT_EQ(LastMessage(),
            "{\"Open\":{\"Mode\":\"Display\",\"Layout\":\"0\",\"ContentRatio\":\"fromimage\",\"FontName\":"
            "\"Roboto\","
            "\"ShowTaxes\":false,\"IdleTimeout\":10}}");
}

TEST_F(DisplayProtocol, OpenSendsEveryMemberInOrder) {
  const std::string idle = File("idle.png", "IDLEPNG");
  const std::string params =
      "<Mode>Receipt</Mode><Layout>1</Layout><ContentRatio></ContentRatio><Language>it</Language>"
      "<FontName>Arial</FontName><ShowTaxes>TRUE</ShowTaxes><LogoImage>inline-logo</LogoImage>"
      "<IdleImage>inline-idle</IdleImage><IdleImageUrl>" +
      idle +
      "</IdleImageUrl><IdleTimeout>30</IdleTimeout>"
      "<IdleText1>Welcome</IdleText1><ThankyouText2>Bye</ThankyouText2><CloseText1>Closed</CloseText1>"
      "<ShowOnlyVideo>true</ShowOnlyVideo><IdleVideoUrl>http://x/v.mp4</IdleVideoUrl>"
      "<ColorPrimary>#0C1975</ColorPrimary><ColorOutlineVariant>#C6C5D0</ColorOutlineVariant>";
  ASSERT_EQ(OpenDevice(params).fResult, 0);
  const std::string common =
      "\"Mode\":\"Receipt\",\"Layout\":\"1\",\"Language\":\"it\",\"FontName\":\"Arial\",\"ShowTaxes\":true,";
  const std::string tail =
      "\"IdleTimeout\":30,\"IdleText1\":\"Welcome\",\"ThankyouText2\":\"Bye\",\"CloseText1\":\"Closed\",";
  const std::string after =
      "\"ShowOnlyVideo\":true,\"IdleVideoUrl\":\"http:\\/\\/x\\/v.mp4\","
      "\"ColorPrimary\":\"#0C1975\",\"ColorOutlineVariant\":\"#C6C5D0\"}}";
  EXPECT_EQ(LastMessage(), "{\"Open\":{" + common +
                               "\"LogoImage_Dark\":\"inline-logo\",\"LogoImage_Light\":\"inline-logo\","
                               "\"IdleImage\":\"inline-idle\"," +
                               tail + "\"IdleImage\":\"SURMRVBORw==\"," + after);
  // The log shows inline images as "..." and the loaded one by its source.
  const auto log = AwaitLog(fLog, "ColorOutlineVariant");
  const std::string escapedPath = [&] {  // as JSON writes it: "\/" and "\\"
    std::string p;
    for (char c : idle) p += c == '/' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return p;
  }();
  EXPECT_THAT(log, ::testing::Contains(
                       " - {\"Open\":{" + common +
                       "\"LogoImage_Dark\":\"...\",\"LogoImage_Light\":\"...\",\"IdleImage\":\"...\"," +
                       tail + "\"IdleImage\":\"" + escapedPath + "\"," + after));
}

TEST_F(DisplayProtocol, EachCallWritesItsSeparatorLineFirst) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  lib.Call("IDLE", CallRequest("IDLE", 1, "<Idle><Text1>Hello</Text1></Idle>"));
  peer.SetMode(DisplayPeer::Mode::CloseBeforeEtx);
  lib.Call("THANKYOU", CallRequest("THANKYOU", 1, "<Thankyou/>"));
  const auto log = AwaitLog(fLog, "{\"Thankyou\":{}}");
  ASSERT_GE(log.size(), 7u);
  EXPECT_THAT(log[0], HasSubstr(" START"));
  std::vector<std::string> separators;
  for (const auto& line : log)
    if (line.find("------------------------------------------------------------ ") != std::string::npos)
      separators.push_back(line.substr(line.find("- -") + 2));
  EXPECT_THAT(separators,
              ElementsAre("------------------------------------------------------------ Open",
                          "------------------------------------------------------------ Idle",
                          "------------------------------------------------------------ Thankyou"));
  auto idle = std::find(log.begin(), log.end(),
                        " - ------------------------------------------------------------ Idle");
  ASSERT_NE(idle, log.end());
  EXPECT_EQ(*(idle + 1), " - {\"Idle\":{\"Text1\":\"Hello\"}}");
}

TEST_F(DisplayProtocol, MessagesThankyouAndIdleShareOneForm) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  const std::string body = "<Text1>Milk 1/2 L</Text1><Text2>1,29 \xE2\x82\xAC</Text2><Image>abc</Image>";
  lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message>" + body + "</Message>"));
  lib.Call("THANKYOU", CallRequest("THANKYOU", 1, "<Thankyou>" + body + "</Thankyou>"));
  lib.Call("IDLE", CallRequest("IDLE", 1, "<Idle/>"));
  const auto messages = peer.Messages();
  ASSERT_EQ(messages.size(), 4u);
  const std::string members =
      "{\"Text1\":\"Milk 1\\/2 L\",\"Text2\":\"1,29 \xE2\x82\xAC\",\"Image\":\"abc\"}}";
  EXPECT_EQ(messages[1], "{\"Message\":" + members);
  EXPECT_EQ(messages[2], "{\"Thankyou\":" + members);
  EXPECT_EQ(messages[3], "{\"Idle\":{}}");
  EXPECT_EQ(peer.Connections(), 4);  // one connection per message
  EXPECT_THAT(AwaitLog(fLog, "{\"Message\""),
              ::testing::Contains(" - {\"Message\":{\"Text1\":\"Milk 1\\/2 L\",\"Text2\":"
                                  "\"1,29 \xE2\x82\xAC\",\"Image\":\"...\"}}"));
}

TEST_F(DisplayProtocol, ReceiptSendsLinesPaymentsAndAmounts) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  const std::string receipt =
      "<Receipt><Currency>EUR</Currency><Subtotal>10</Subtotal><Taxes>0.0001</Taxes><Total>12.50</Total>"
      "<Image>inline</Image><Lines><Line><Type>Sale</Type><Code>A1</Code><Description>Bread</Description>"
      "<Quantity>1</Quantity><Price>2.5</Price><Amount>2.5</Amount></Line><!-- a comment line -->"
      "</Lines><ShowPayments>true</ShowPayments><Payments><Payment><Type>Cash</Type><Text1>Paid</Text1>"
      "<Amount>20</Amount></Payment></Payments></Receipt>";
  ASSERT_EQ(lib.Call("RECEIPT", CallRequest("RECEIPT", 1, receipt)).fResult, 0);
  const std::string expected =
      "{\"Receipt\":{\"Currency\":\"EUR\",\"Subtotal\":10.0,\"Taxes\":0.0001,\"Total\":12.5,\"Image\":"
      "\"inline\","
      "\"Lines\":[{\"Type\":\"Sale\",\"Code\":\"A1\",\"Description\":\"Bread\",\"Quantity\":1.0,\"Price\":2."
      "5,"
      "\"Amount\":2.5},{\"Type\":\"\",\"Code\":\"\",\"Description\":\"\",\"Quantity\":0.0,\"Price\":0.0,"
      "\"Amount\":0.0}],\"ShowPayments\":true,\"Payments\":[{\"Type\":\"Cash\",\"Text1\":\"Paid\",\"Text2\":"
      "\"\","
      "\"Amount\":20.0}]}}";
  EXPECT_EQ(LastMessage(), expected);
  EXPECT_THAT(AwaitLog(fLog, "Receipt\":{\"Currency\":\"EUR"),
              ::testing::Contains(" - " + expected));  // the inline image in full

  lib.Call("RECEIPT", CallRequest("RECEIPT", 1, "<Receipt/>"));
  EXPECT_EQ(LastMessage(),
            "{\"Receipt\":{\"Currency\":\"\",\"Subtotal\":0.0,\"Taxes\":0.0,\"Total\":0.0,\"Lines\":[],"
            "\"ShowPayments\":false,\"Payments\":[]}}");
}

TEST_F(DisplayProtocol, CloseCarriesItsTextsAndEndsTheDevice) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  lib.Call("CLOSEMESSAGE", CallRequest("CLOSEMESSAGE", 1, ""));
  lib.Call("CLOSEMESSAGE", CallRequest("CLOSEMESSAGE", 1, "<Message><Text1>Lane closed</Text1></Message>"));
  RequestSpec close;
  close.method = "CLOSE";
  close.handle = 1;
  close.parameters = "<CloseText1>Goodbye</CloseText1><CloseText2>See you</CloseText2>";
  ASSERT_EQ(lib.Call("CLOSE", Request(close)).fResult, 0);
  const auto messages = peer.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[1], "{\"Close\":{}}");
  EXPECT_EQ(messages[2], "{\"Close\":{\"Text1\":\"Lane closed\"}}");
  EXPECT_EQ(messages[3], "{\"Close\":{\"Text1\":\"Goodbye\",\"Text2\":\"See you\"}}");
  const auto log = AwaitLog(fLog, "STOP");
  EXPECT_THAT(log.back(), HasSubstr("STOP"));
  EXPECT_EQ(lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message/>")).fErrorText,
            "Device Handle not found");
}

TEST_F(DisplayProtocol, RefusesForbiddenReferencesAndStrayTextWithTheirPosition) {
  const CallResult opened = OpenDevice();
  ASSERT_EQ(opened.fResult, 0);
  const int handle = HandleOf(opened);
  const size_t kAtReference = std::string::npos;  // the case's "&#"
  struct Case {
    const char* call;
    std::string request;
    std::string problem;
    size_t at;
  };
  const std::string close = CallRequest("CLOSE", handle, "");
  const Case cases[] = {
      {"MESSAGE", CallRequest("MESSAGE", handle, "<Message><Text1>abc&#0;def</Text1></Message>"),
       "Invalid character reference to U+0000", kAtReference},
      {"RECEIPT", CallRequest("RECEIPT", handle, "<Receipt><Total>12.5&#0;garbage</Total></Receipt>"),
       "Invalid character reference to U+0000", kAtReference},
      {"IDLE", CallRequest("IDLE", handle, "<Idle><Text1>a&#xD800;</Text1></Idle>"),
       "Invalid character reference to U+D800", kAtReference},
      {"THANKYOU", CallRequest("THANKYOU", handle, "<Thankyou><Text2>&#1114112;</Text2></Thankyou>"),
       "Invalid character reference above U+10FFFF", kAtReference},
      {"CLOSEMESSAGE", CallRequest("CLOSEMESSAGE", handle, "<Message><Text1>&#57343;</Text1></Message>"),
       "Invalid character reference to U+DFFF", kAtReference},
      {"OPEN", OpenRequest(peer.Port(), "<IdleText1>&#x110000;</IdleText1>", handle),
       "Invalid character reference above U+10FFFF", kAtReference},
      {"MESSAGE", "junk" + CallRequest("MESSAGE", handle, "<Message/>"),
       "Text outside the root element is not allowed", 0},
      {"MESSAGE", CallRequest("MESSAGE", handle, "<Message/>") + "\r\n junk",
       "Text outside the root element is not allowed",
       CallRequest("MESSAGE", handle, "<Message/>").size() + 3},
      {"CLOSE", close + "<Request/>", "Only one top level element is allowed", close.size()},
  };
  for (const Case& c : cases) {
    const size_t at = c.at == kAtReference ? c.request.find("&#") : c.at;
    // Every request here is one line until its end.
    const size_t lineStart = c.request.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t line = lineStart == std::string::npos ? 1 : 2;
    const size_t column = lineStart == std::string::npos ? at + 1 : at - lineStart;
    const CallResult r = lib.Call(c.call, c.request);
    EXPECT_EQ(r.fResult, -1) << c.request;
    EXPECT_EQ(r.fErrorText, "XML parse error: " + c.problem + " (line " + std::to_string(line) + ", column " +
                                std::to_string(column) + ")")
        << c.request;
  }
  EXPECT_EQ(peer.Frames().size(), 1u);  // none of them reached the display

  // In CDATA and comments the same text is no reference; white space,
  // comments and processing instructions may stand around the root.
  const CallResult cdata = lib.Call(
      "MESSAGE", "<!-- &#0; --> " +
                     CallRequest("MESSAGE", handle,
                                 "<Message><!-- &#xD800; --><Text1><![CDATA[a&#0;b]]></Text1></Message>") +
                     "\r\n<?done &#0;?>\r\n");
  EXPECT_EQ(cdata.fResult, 0) << cdata.fErrorText;
  EXPECT_EQ(LastMessage(), "{\"Message\":{\"Text1\":\"a&#0;b\"}}");
  EXPECT_EQ(lib.Call("CLOSE", close).fResult, 0);  // the device stayed open
}

TEST_F(DisplayProtocol, CloseLeavesOutMalformedOptionalTextsAndAlwaysCloses) {
  const CallResult opened = OpenDevice();
  ASSERT_EQ(opened.fResult, 0);
  const int handle = HandleOf(opened);
  RequestSpec closeMessage;
  closeMessage.method = "CLOSEMESSAGE";
  closeMessage.handle = handle;
  closeMessage.parameters = "<CloseText1><b/></CloseText1>";
  closeMessage.body = "<Message><Text1><b>x</b></Text1><Text2>Lane closed</Text2></Message>";
  CallResult r = lib.Call("CLOSEMESSAGE", Request(closeMessage));
  EXPECT_EQ(r.fResult, 0) << r.fErrorText;
  EXPECT_EQ(LastMessage(), "{\"Close\":{\"Text2\":\"Lane closed\"}}");

  RequestSpec close;
  close.method = "CLOSE";
  close.handle = handle;
  close.parameters = "<CloseText1><b/></CloseText1><CloseText2>Bye</CloseText2><FPAddress><x/></FPAddress>";
  close.body = "<Message><Text1><b>x</b></Text1></Message>";
  r = lib.Call("CLOSE", Request(close));
  EXPECT_EQ(r.fResult, 0) << r.fErrorText;
  EXPECT_EQ(LastMessage(), "{\"Close\":{\"Text2\":\"Bye\"}}");
  EXPECT_EQ(peer.Frames().size(), 3u);
  const auto log = AwaitLog(fLog, "STOP");
  const std::string leftOut = "Malformed optional text left out: ";
  const std::string notText = " does not contain a single text node)";
  std::vector<std::string> notes;
  for (const auto& line : log)
    if (line.find(leftOut) != std::string::npos)
      notes.push_back(line.substr(line.find(leftOut) + leftOut.size()));
  EXPECT_THAT(notes, ElementsAre("Parameters/CloseText1 (Element \"CloseText1\"" + notText,
                                 "Message/Text1 (Element \"Text1\"" + notText,
                                 "Parameters/CloseText1 (Element \"CloseText1\"" + notText,
                                 "Parameters/FPAddress (Element \"FPAddress\"" + notText,
                                 "Message/Text1 (Element \"Text1\"" + notText));
  EXPECT_EQ(lib.Call("MESSAGE", CallRequest("MESSAGE", handle, "<Message/>")).fErrorText,
            "Device Handle not found");
}

TEST_F(DisplayProtocol, ReadsTheReplyUpToEtxWhateverItSays) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  for (const std::string reply : {"\x03", "\x02status text\x03", "\xC3\xA0 nonsense\x03trailing"}) {
    peer.SetReply(reply);
    EXPECT_EQ(lib.Call("IDLE", CallRequest("IDLE", 1, "<Idle/>")).fResult, 0) << reply;
  }
  peer.SetReplyDelayMs(300);
  EXPECT_EQ(lib.Call("IDLE", CallRequest("IDLE", 1, "<Idle/>")).fResult, 0);  // slow but within the time-out
}

TEST_F(DisplayProtocol, ReportsLinkFailures) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  peer.SetMode(DisplayPeer::Mode::CloseBeforeEtx);
  CallResult r = lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message/>"));
  EXPECT_EQ(r.fResult, -1);
  EXPECT_EQ(r.fErrorText, "Connection Closed Gracefully.");
  EXPECT_EQ(LogOf(r), fLog);

  peer.SetMode(DisplayPeer::Mode::Silent);
  r = lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message/>"));
  EXPECT_EQ(r.fResult, -1);
  EXPECT_EQ(r.fErrorText, "Read timed out.");
}

TEST(DisplayLink, ReportsARefusedConnection) {
  Library lib;
  int port;
  {
    DisplayPeer gone;
    port = gone.Port();
  }  // nothing listens there now
  const CallResult r = lib.Call("OPEN", OpenRequest(port));
  EXPECT_EQ(r.fResult, -1);
  EXPECT_THAT(r.fEnvelope, StartsWith("<Handle>1</Handle>\r\n<Error>True</Error>"));  // the device stays
  EXPECT_THAT(r.fErrorText, HasSubstr(SystemText(SystemFailure::ConnectionRefused)));
}

TEST(DisplayLink, RefusesAPortOutOfRangeNamingIt) {
  // Ports beyond 16 bits once wrapped to another port (110151 and -20921 both
  // to 44615); a display on that port must not be reached.
  Library lib;
  for (const int port : {110151, -20921, 0, 65536, -1}) {
    const CallResult r = lib.Call("OPEN", OpenRequest(port));
    EXPECT_EQ(r.fResult, -1) << port;
    EXPECT_EQ(r.fErrorText, "Port " + std::to_string(port) + " is out of range (1 to 65535).");
  }
}

TEST_F(DisplayProtocol, OtherConnectionTypesAreNotSupported) {
  RequestSpec open;
  open.method = "OPEN";
  open.connection = "<Type>COM</Type>";
  const CallResult r = lib.Call("OPEN", Request(open));
  EXPECT_EQ(r.fResult, -1);
  EXPECT_THAT(r.fEnvelope, StartsWith("<Handle>1</Handle>"));
  EXPECT_EQ(r.fErrorText, "Connection type not supported");
  EXPECT_THAT(AwaitLog(LogOf(r), "{\"Open\""),
              ::testing::Contains(HasSubstr("{\"Open\":{\"Mode\":\"Display\"")));
  EXPECT_EQ(lib.Call("IDLE", CallRequest("IDLE", 1, "<Idle/>")).fErrorText, "Connection type not supported");
}

TEST_F(DisplayProtocol, LoadsImagesFromResourcesAndFiles) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message><ImageUrl>RES:MSG_INFO</ImageUrl></Message>"));
  EXPECT_THAT(LastMessage(), StartsWith("{\"Message\":{\"Image\":\"iVBORw0KGgo"));  // a PNG
  EXPECT_THAT(AwaitLog(fLog, "RES:MSG_INFO"),
              ::testing::Contains(" - {\"Message\":{\"Image\":\"RES:MSG_INFO\"}}"));

  const std::string empty = File("empty.png", "");
  lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message><ImageUrl>" + empty + "</ImageUrl></Message>"));
  EXPECT_EQ(LastMessage(), "{\"Message\":{}}");
  EXPECT_THAT(AwaitLog(fLog, "not valid"), ::testing::Contains(HasSubstr("empty.png not valid\"}}")));

  const std::string readOnly = File("ro.png", "RO");
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
  EXPECT_EQ(
      lib.Call("IDLE", CallRequest("IDLE", 1, "<Idle><ImageUrl>" + readOnly + "</ImageUrl></Idle>")).fResult,
      0);
  EXPECT_EQ(LastMessage(), "{\"Idle\":{\"Image\":\"Uk8=\"}}");

  const size_t sent = peer.Frames().size();
  CallResult r = lib.Call("IDLE", CallRequest("IDLE", 1, "<Idle><ImageUrl>res:NOPE</ImageUrl></Idle>"));
  EXPECT_EQ(r.fErrorText, "Resource NOPE not found");
  r = lib.Call("IDLE",
               CallRequest("IDLE", 1, "<Idle><ImageUrl>" + fTemp.File("gone.png") + "</ImageUrl></Idle>"));
  EXPECT_THAT(r.fErrorText, StartsWith("Cannot open file \""));
  EXPECT_EQ(peer.Frames().size(), sent);  // nothing sent for either
}

// An image from a loopback web server: sent as Base64, logged by its address.
class ImagesFromTheWeb : public DisplayProtocol {
 protected:
  void ShowsTheImageFrom(TestHttpServer& aServer) {
    aServer.Server().Get("/logo.png", [](const httplib::Request&, httplib::Response& aResponse) {
      aResponse.set_content("IDLEPNG", "image/png");
    });
    // One request per connection: a client that keeps its connection (WinHTTP
    // does) would hold the server's stop for its keep-alive time.
    aServer.Server().set_keep_alive_max_count(1);
    aServer.Start();
    ASSERT_EQ(OpenDevice().fResult, 0);
    const std::string url = aServer.Url("/logo.png");
    const CallResult r =
        lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message><ImageUrl>" + url + "</ImageUrl></Message>"));
    EXPECT_EQ(r.fResult, 0) << r.fErrorText;
    EXPECT_EQ(LastMessage(), "{\"Message\":{\"Image\":\"SURMRVBORw==\"}}");
    std::string logged;  // the address as JSON writes it
    for (char c : url) logged += c == '/' ? std::string("\\/") : std::string(1, c);
    EXPECT_THAT(AwaitLog(fLog, "{\"Message\""),
                ::testing::Contains(" - {\"Message\":{\"Image\":\"" + logged + "\"}}"));
  }
};

TEST_F(ImagesFromTheWeb, OverHttp) {
  TestHttpServer server;
  ShowsTheImageFrom(server);
}

TEST_F(ImagesFromTheWeb, OverHttpsWithoutCheckingTheCertificate) {
  if (!kHaveHttpsServer) GTEST_SKIP() << "no HTTPS test server in this build (no OpenSSL for Windows)";
  TestCertificate cert;
  TestHttpServer server(cert);
  ShowsTheImageFrom(server);
}

TEST_F(DisplayProtocol, AnImageAddressThatCannotBeFetchedIsLeftOut) {
  ASSERT_EQ(OpenDevice().fResult, 0);
  int port;
  {
    DisplayPeer gone;
    port = gone.Port();
  }  // nothing listens there now
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/logo.png";
  ASSERT_EQ(
      lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message><ImageUrl>" + url + "</ImageUrl></Message>"))
          .fResult,
      0);
  EXPECT_EQ(LastMessage(), "{\"Message\":{}}");
  EXPECT_THAT(AwaitLog(fLog, "not valid"),
              ::testing::Contains(" - {\"Message\":{\"Image\":\"http:\\/\\/127.0.0.1:" +
                                  std::to_string(port) + "\\/logo.png not valid\"}}"));
}

TEST_F(DisplayProtocol, OpenThatFailsOutrightLeavesNoDeviceBehind) {
  const CallResult r = OpenDevice("<LogoImageUrl>res:NO_LOGO</LogoImageUrl>");
  EXPECT_EQ(r.fResult, -1);
  EXPECT_EQ(r.fErrorText, "Resource NO_LOGO not found");
  EXPECT_THAT(r.fEnvelope, StartsWith("<Handle>0</Handle>"));
  ASSERT_FALSE(fLog.empty());
  EXPECT_THAT(AwaitLog(fLog, "ERROR"), ::testing::Contains(" - ERROR - Resource NO_LOGO not found"));
  EXPECT_EQ(lib.Call("IDLE", CallRequest("IDLE", 1, "<Idle/>")).fErrorText, "Device Handle not found");
  EXPECT_THAT(OpenDevice().fEnvelope, StartsWith("<Handle>2</Handle>"));  // the counter is not rolled back
}
