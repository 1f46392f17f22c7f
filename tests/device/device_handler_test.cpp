// The request envelope: fields, connection, parameters, overrides, the
// written form and the transport it makes.
#include "device/device_handler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "support/test_support.h"

namespace korvane {
namespace {

using korvane::testing::ErrorOf;

std::string Request(const std::string& aBody) { return "<Request>" + aBody + "</Request>"; }

TEST(DeviceHandler, StartsEmptyWithDefaultConnection) {
  kDeviceHandler h;
  EXPECT_EQ(h.fDriver, "");
  EXPECT_EQ(h.fDeviceHandle, 0);
  EXPECT_EQ(h.fParameters.Count(), 0u);
  EXPECT_EQ(h.fConnection.ConnectionType(), tkConnectionType::OPOS);
  EXPECT_EQ(h.fConnection.ConnectTimeOut(), 1000);
}

TEST(DeviceHandler, ReadsEnvelopeFieldsByExactName) {
  kDeviceHandler h;
  h.Deserialize(
      Request("<Type>CD</Type><Driver>QORD_KORVANE_10</Driver><Method>MESSAGE</Method><handle>9</handle>"
              "<Handle>7</Handle><LogId>till1</LogId>"));
  EXPECT_EQ(h.fType, "CD");
  EXPECT_EQ(h.fDriver, "QORD_KORVANE_10");
  EXPECT_EQ(h.fMethod, "MESSAGE");
  EXPECT_EQ(h.fDeviceHandle, 7);
  EXPECT_EQ(h.fLogId, "till1");
  kDeviceHandler prefixed;  // a prefixed element is found by its local name
  prefixed.Deserialize(
      "<k:Request xmlns:k=\"urn:k\"><k:Driver>D</k:Driver><k:Handle>5</k:Handle></k:Request>");
  EXPECT_EQ(prefixed.fDriver, "D");
  EXPECT_EQ(prefixed.fDeviceHandle, 5);
  kDeviceHandler lower;
  lower.Deserialize(Request("<handle>9</handle>"));
  EXPECT_EQ(lower.fDeviceHandle, 0);
  EXPECT_EQ(lower.fConnection.ConnectionType(), tkConnectionType::OPOS);
  EXPECT_EQ(lower.fConnection.ReadTimeOut(), 1000);
}

TEST(DeviceHandler, ReadsConnectionByType) {
  kDeviceHandler tcp;
  tcp.Deserialize(Request(
      "<Connection><Type>Tcp</Type><ConnectTimeout>0</ConnectTimeout><ReadTimeout>2500</ReadTimeout>"
      "<Address>127.0.0.1</Address><Port>9100</Port><URL>u</URL><User>me</User><Password>pw</Password>"
      "<SerialPort>COM3</SerialPort><DeviceName>dev</DeviceName></Connection>"));
  const kConnection& c = tcp.fConnection;
  EXPECT_EQ(c.ConnectionType(), tkConnectionType::TCP);
  EXPECT_EQ(c.ConnectTimeOut(), 1000);  // 0 keeps the default
  EXPECT_EQ(c.ReadTimeOut(), 2500);
  EXPECT_EQ(c.Address(), "127.0.0.1");
  EXPECT_EQ(c.Port(), 9100);
  EXPECT_EQ(c.URL(), "u");
  EXPECT_EQ(c.AuthType(), at_None);  // absent
  EXPECT_EQ(c.User(), "me");
  EXPECT_EQ(c.Password(), "pw");
  EXPECT_EQ(c.SerialPort(), "");  // not a TCP element
  EXPECT_EQ(c.DeviceName(), "");

  kDeviceHandler serial;
  serial.Deserialize(Request(
      "<Connection><Type>SERIAL</Type><SerialPort>COM3</SerialPort><Speed>9600</Speed><DataBits>8</DataBits>"
      "<Parity>EVEN</Parity><StopBits>1</StopBits><AuthType>Bearer</AuthType></Connection>"));
  EXPECT_EQ(serial.fConnection.ConnectionType(), tkConnectionType::Serial);
  EXPECT_EQ(serial.fConnection.SerialPort(), "COM3");
  EXPECT_EQ(serial.fConnection.Speed(), 9600);
  EXPECT_EQ(serial.fConnection.DataBits(), 8);
  EXPECT_EQ(serial.fConnection.Parity(), tkParity::Even);
  EXPECT_EQ(serial.fConnection.StopBits(), 1);
  EXPECT_EQ(serial.fConnection.AuthType(), at_Bearer);

  kDeviceHandler opos, dll, spool;
  opos.Deserialize(Request("<Connection><Type>opos</Type><DeviceName>FP1</DeviceName></Connection>"));
  dll.Deserialize(Request("<Connection><Type>DLL</Type><LibraryName>x.dll</LibraryName></Connection>"));
  spool.Deserialize(Request("<Connection><Type>Spool</Type><PrinterName>P</PrinterName></Connection>"));
  EXPECT_EQ(opos.fConnection.DeviceName(), "FP1");
  EXPECT_EQ(dll.fConnection.LibraryName(), "x.dll");
  EXPECT_EQ(spool.fConnection.PrinterName(), "P");
}

TEST(DeviceHandler, RejectsBadConnectionTextsWithExactMessages) {
  struct Case {
    std::string body;
    std::string message;
  };
  const Case cases[] = {
      {"<Connection><Type></Type></Connection>", "Connection Type  is not valid"},
      {"<Connection/>", "Connection Type  is not valid"},
      {"<Connection><Type> tcp</Type></Connection>", "Connection Type  tcp is not valid"},
      {"<Connection><Type>Ethernet</Type></Connection>", "Connection Type Ethernet is not valid"},
      {"<Connection><Type>Serial</Type></Connection>", "Connection Parity  is not valid"},
      {"<Connection><Type>Serial</Type><Parity>Mark</Parity></Connection>",
       "Connection Parity Mark is not valid"},
      {"<Connection><Type>TCP</Type><Port>80a</Port></Connection>",
       "Error in processing node Port as integer.\r\n'80a' is not a valid integer value"},
      {"<Handle>x</Handle>",
       "Error in processing node Handle as integer.\r\n'x' is not a valid integer value"},
      {"<Driver><b/></Driver>",
       "Error in processing node Driver as string.\r\nElement \"Driver\" does not contain a single text "
       "node"},
      {"<Parameters><ConnectTimeout>soon</ConnectTimeout></Parameters>",
       "'soon' is not a valid integer value"},
      {"<Parameters><X><Y/></X></Parameters>",
       "Error in processing node X as string.\r\nElement \"X\" does not contain a single text node"},
  };
  for (const Case& c : cases) {
    kDeviceHandler h;
    EXPECT_EQ(ErrorOf([&] { h.Deserialize(Request(c.body)); }), c.message) << c.body;
  }
}

TEST(DeviceHandler, KeepsParametersInOrderWithLowerCaseNames) {
  kDeviceHandler h;
  h.Deserialize(Request(
      "<Parameters><HexLog>true</HexLog><IdleTimeout>30</IdleTimeout><Dup>a</Dup><!--note--><Dup>b</Dup>"
      "<Empty/><Eq>x=y</Eq></Parameters>"));
  EXPECT_EQ(h.fParameters.Entries(),
            (std::vector<std::string>{"hexlog=true", "idletimeout=30", "dup=a", "#comment=note", "dup=a",
                                      "empty=", "eq=x=y"}));
  EXPECT_EQ(h.GetParameter("HEXLOG"), "true");
  EXPECT_EQ(h.GetParameter("Eq"), "x=y");
  EXPECT_EQ(h.GetParameter("missing"), "");
  EXPECT_TRUE(h.ParameterExists("empty"));
  EXPECT_FALSE(h.ParameterExists("missing"));
}

TEST(DeviceHandler, TakesAPrefixedParametersValueForItsLocalName) {
  kDeviceHandler h;
  h.Deserialize(
      Request("<Parameters><p:Mode>a</p:Mode><Mode>b</Mode><q:Mode>c</q:Mode><mode>d</mode></Parameters>"));
  EXPECT_EQ(h.fParameters.Entries(), (std::vector<std::string>{"p:mode=a", "mode=a", "q:mode=c", "mode=d"}));
}

TEST(DeviceHandler, HandsOutTheParametersChildrenAsRead) {
  kDeviceHandler h;
  std::vector<kXmlChild> children;
  const kXmlDocument doc = h.Deserialize(
      Request("<Parameters><p:Mode>a</p:Mode><!--c--><FPType>TCP</FPType><Mode>b</Mode></Parameters>"),
      MalformedText::Fail, &children);
  std::vector<std::string> read;
  for (const kXmlChild& c : children) read.push_back(std::string(c.fName) + "|" + std::string(c.fLocalName));
  EXPECT_EQ(read,
            (std::vector<std::string>{"p:Mode|Mode", "#comment|#comment", "FPType|FPType", "Mode|Mode"}));
  // Searched as read, they give what a search of the document gives.
  static constexpr std::string_view kNames[] = {"Mode", "FPType", "#comment", "p:Mode", "missing"};
  XmlNode fromChildren[std::size(kNames)], fromDocument[std::size(kNames)];
  XmlFindChildren(children, kNames, fromChildren);
  XmlFindChildren(XmlFindChild(doc->DocumentElement(), "Parameters"), kNames, fromDocument);
  for (size_t i = 0; i < std::size(kNames); ++i) EXPECT_EQ(fromChildren[i], fromDocument[i]) << kNames[i];
  h.Deserialize(Request(""), MalformedText::Fail, &children);  // no Parameters element
  EXPECT_TRUE(children.empty());
}

TEST(DeviceHandler, SetParameterReplacesAppendsAndRemoves) {
  kDeviceHandler h;
  h.Deserialize(Request("<Parameters><A>1</A><B>2</B><A>3</A></Parameters>"));
  h.SetParameter("a", "9");
  h.SetParameter("NewOne", "x");
  h.SetParameter("B", "");
  EXPECT_EQ(h.fParameters.Entries(), (std::vector<std::string>{"a=9", "a=1", "NewOne=x"}));
}

TEST(DeviceHandler, ParameterOverridesBeatConnectionElements) {
  kDeviceHandler h;
  h.Deserialize(Request(
      "<Connection><Type>TCP</Type><ConnectTimeout>2000</ConnectTimeout></Connection>"
      "<Parameters><DEVICENAME>Display1</DEVICENAME><ConnectTimeout>5000</ConnectTimeout></Parameters>"));
  EXPECT_EQ(h.fParameters[0], "devicename=Display1");
  EXPECT_EQ(h.fConnection.DeviceName(), "Display1");
  EXPECT_EQ(h.fConnection.ConnectTimeOut(), 5000);
  kDeviceHandler zero;
  zero.Deserialize(
      Request("<Connection><Type>TCP</Type><ConnectTimeout>2000</ConnectTimeout></Connection>"
              "<Parameters><ConnectTimeout>0</ConnectTimeout></Parameters>"));
  EXPECT_EQ(zero.fConnection.ConnectTimeOut(), 2000);
}

TEST(DeviceHandler, SerializeWritesEnvelopeThatReadsBack) {
  kDeviceHandler h;
  h.Deserialize(Request(
      "<Type>CD</Type><Driver>QORD_KORVANE_10</Driver><Method>Message</Method><Handle>4</Handle>"
      "<LogId>L</LogId><Connection><Type>serial</Type><ConnectTimeout>300</ConnectTimeout>"
      "<ReadTimeout>400</ReadTimeout><SerialPort>COM3</SerialPort><Speed>9600</Speed><DataBits>7</DataBits>"
      "<Parity>odd</Parity><StopBits>2</StopBits><URL>http://x/</URL><AuthType>digest</AuthType>"
      "<User>u</User><Password>p &amp; q</Password></Connection>"
      "<Parameters><HexLog>TRUE</HexLog><Text>a &lt; b</Text></Parameters>"));
  const std::string text = h.Serialize();
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << text;
  EXPECT_NE(text.find("<ReceiptPrinterManager Version=\"1.0\">"), std::string::npos);
  EXPECT_NE(text.find("<Handle>4</Handle>"), std::string::npos);
  EXPECT_NE(text.find("<Parity>ODD</Parity>"), std::string::npos);
  EXPECT_NE(text.find("<AuthType>DIGEST</AuthType>"), std::string::npos);

  kDeviceHandler back;
  back.Deserialize(text);
  EXPECT_EQ(back.fType, "CD");
  EXPECT_EQ(back.fDriver, "QORD_KORVANE_10");
  EXPECT_EQ(back.fMethod, "Message");
  EXPECT_EQ(back.fDeviceHandle, 4);
  EXPECT_EQ(back.fLogId, "L");
  const kConnection &a = h.fConnection, &b = back.fConnection;
  EXPECT_EQ(b.ConnectionType(), a.ConnectionType());
  EXPECT_EQ(b.ConnectTimeOut(), 300);
  EXPECT_EQ(b.ReadTimeOut(), 400);
  EXPECT_EQ(b.SerialPort(), a.SerialPort());
  EXPECT_EQ(b.Speed(), a.Speed());
  EXPECT_EQ(b.DataBits(), a.DataBits());
  EXPECT_EQ(b.Parity(), tkParity::Odd);
  EXPECT_EQ(b.StopBits(), a.StopBits());
  EXPECT_EQ(b.URL(), a.URL());
  EXPECT_EQ(b.AuthType(), at_Digest);
  EXPECT_EQ(b.User(), "u");
  EXPECT_EQ(b.Password(), "p & q");
  EXPECT_EQ(back.fParameters.Entries(), h.fParameters.Entries());
}

TEST(DeviceHandler, SerializeOmitsHandleForOpenAndRejectsBadNames) {
  kDeviceHandler h;
  h.Deserialize(Request("<Method>OPEN</Method><Handle>3</Handle><Parameters><!--c--></Parameters>"));
  h.fParameters.Clear();
  h.SetParameter("Mode", "Idle");
  const std::string text = h.Serialize();
  EXPECT_EQ(text.find("<Handle>"), std::string::npos);
  EXPECT_NE(text.find("<Mode>Idle</Mode>"), std::string::npos);
  kDeviceHandler comment;
  comment.Deserialize(Request("<Parameters><!--c--></Parameters>"));
  EXPECT_EQ(ErrorOf([&] { comment.Serialize(); }), "'#comment' is not a valid XML element name");
}

TEST(DeviceHandler, CreatesTransportFromTableWithLogNameAndHexLog) {
  struct Case {
    const char* hexlog;
    bool on;
  };
  const Case cases[] = {{"<HexLog>TRUE</HexLog>", true},   {"<hexlog>true</hexlog>", true},
                        {"<HexLog>1</HexLog>", false},     {"<HexLog>yes</HexLog>", false},
                        {"<HexLog> true</HexLog>", false}, {"", false}};
  for (const Case& c : cases) {
    kDeviceHandler h;
    h.Deserialize(Request("<Connection><Type>COM</Type></Connection><Parameters>" + std::string(c.hexlog) +
                          "</Parameters>"));
    std::unique_ptr<kIOHandler> io = h.CreateIOHandler("");
    ASSERT_TRUE(io);
    EXPECT_EQ(io->ClassName(), "kIOHandler_Com");
    EXPECT_EQ(io->HexLog(), c.on) << c.hexlog;
  }

  // A log folder that does not exist yet.
  const korvane::testing::TempDir temp;
  const std::filesystem::path dir = temp.File("logs");
  {
    kDeviceHandler h;
    h.Deserialize(Request("<Driver>QORD_KORVANE_10</Driver><Connection><Type>Com</Type></Connection>"));
    std::unique_ptr<kIOHandler> io = h.CreateIOHandler(dir.string());
    EXPECT_TRUE(
        std::regex_match(io->GetLogFileName(), std::regex(".*[/\\\\]QORD_KORVANE_10__[0-9]{8}\\.log")))
        << io->GetLogFileName();
    EXPECT_EQ(io->ConnectTimeout(), 1000);
  }
  {
    kDeviceHandler h;
    h.Deserialize(
        Request("<Driver>QORD_KORVANE_10</Driver><LogId>till1</LogId><Connection><Type>tcp</"
                "Type><Address>127.0.0.1</Address>"
                "<Port>1</Port><ReadTimeout>1500</ReadTimeout></Connection>"
                "<Parameters><HexLog>True</HexLog><ConnectTimeout>2500</ConnectTimeout></Parameters>"));
    std::unique_ptr<kIOHandler> io = h.CreateIOHandler(dir.string());
    EXPECT_EQ(io->ClassName(), "kIOHandler_TCP");
    EXPECT_TRUE(io->HexLog());
    EXPECT_EQ(io->ConnectTimeout(), 2500);
    EXPECT_EQ(io->ReadTimeout(), 1500);
    EXPECT_TRUE(
        std::regex_match(io->GetLogFileName(), std::regex(".*[/\\\\]QORD_KORVANE_10_till1_[0-9]{8}\\.log")))
        << io->GetLogFileName();
  }
}

TEST(DeviceHandler, RefusesALogIdThatCannotNameALogFileOfItsOwn) {
  // A separator once dropped the driver's name and all before it (a/b and
  // a\b both logged to b_<date>.log), ":" named a stream on Windows, and a
  // name too long for the file system lost every line.
  const korvane::testing::TempDir temp;
  const std::string dir = temp.File("logs");
  const std::string tooLong(201, 'x');
  const std::string longest(200, 'x');
  struct Case {
    std::string logId;
    std::string error;  // kNoError: a log of its own
  };
  const std::vector<Case> cases = {
      {"a/b", "LogId may not hold the character '/': it names the device's log file"},
      {"a\\b", "LogId may not hold the character '\\': it names the device's log file"},
      {"x:y", "LogId may not hold the character ':': it names the device's log file"},
      {"till*", "LogId may not hold the character '*': it names the device's log file"},
      {"?", "LogId may not hold the character '?': it names the device's log file"},
      {"..", korvane::testing::kNoError},
      {"till|1", "Invalid characters in path"},
      {std::string(300, 'y'),
       "LogId is too long to name the device's log file: 300 bytes, at most 200 (in UTF-8)"},
      {tooLong, "LogId is too long to name the device's log file: 201 bytes, at most 200 (in UTF-8)"},
      {std::string(198, 'x') + "\xE2\x82\xAC",
       "LogId is too long to name the device's log file: 201 bytes, at most 200 (in UTF-8)"},
      {longest, korvane::testing::kNoError},
      {"Kasse \xE2\x82\xAC 1.a", korvane::testing::kNoError},
  };
  for (const Case& c : cases) {
    kDeviceHandler h;
    h.Deserialize(Request("<Driver>QORD_KORVANE_10</Driver><Connection><Type>Com</Type></Connection>"));
    h.fLogId = c.logId;
    std::unique_ptr<kIOHandler> io;
    EXPECT_EQ(ErrorOf([&] { io = h.CreateIOHandler(dir); }), c.error) << c.logId;
    if (c.error != korvane::testing::kNoError) continue;
    const std::string start = dir + platform::kPathDelim + "QORD_KORVANE_10_" + c.logId + "_";
    const std::string file = io->GetLogFileName();
    EXPECT_EQ(file.substr(0, start.size()), start);
    io.reset();  // its START and STOP lines are written
    EXPECT_TRUE(std::filesystem::is_regular_file(std::u8string(file.begin(), file.end()))) << file;
  }
}

}  // namespace
}  // namespace korvane
