#include "transport/serial_handler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/code_page.h"
#include "platform/error.h"
#include "support/test_support.h"
#include "transport/serial_port.h"
#include "transport/transport_table.h"
#include "transport_serial/pty_device.h"

namespace korvane {
namespace {

using testing::ErrorOf;

using ::testing::ElementsAre;
using testing::Err;
using testing::Info;
using testing::LogLine;
using testing::TempDir;

using Clock = std::chrono::steady_clock;
using testing::kPort;
using testing::PtyDevice;
using testing::PtyLine;
using testing::ScopedEnv;

// What the system reports for a port another holder has and for a file that
// is no serial port.
#ifdef _WIN32
constexpr int kHeldCode = 5;          // ERROR_ACCESS_DENIED
constexpr int kNoSerialPortCode = 6;  // ERROR_INVALID_HANDLE, as Wine answers GetCommState on a file
#else
constexpr int kHeldCode = 16;          // EBUSY
constexpr int kNoSerialPortCode = 25;  // ENOTTY
#endif

kConnection SerialConnection(const std::string& aPort = "COM7", tkParity aParity = tkParity::Even,
                             int32_t aStopBits = 1, int32_t aReadTimeout = 500) {
  kConnection c;
  c.SetConnectionType(tkConnectionType::Serial);
  c.SetSerialPort(aPort);
  c.SetSpeed(9600);
  c.SetDataBits(8);
  c.SetParity(aParity);
  c.SetStopBits(aStopBits);
  c.SetReadTimeOut(aReadTimeout);
  return c;
}

// A serial handler with a log, and its log read back once it is gone.
class SerialHandler {
 public:
  explicit SerialHandler(const kConnection& aConnection = SerialConnection()) {
    fHandler = std::make_unique<kIOHandler_Serial>(aConnection, fDir.Path(), "Serial_test");
    fLogPath = fHandler->GetLogFileName();
  }
  kIOHandler_Serial* operator->() { return fHandler.get(); }

  std::vector<LogLine> Log() {
    fHandler.reset();
    return testing::ReadLog(fLogPath);
  }
  // The lines after the banner and the line settings.
  std::vector<LogLine> Traffic() {
    std::vector<LogLine> log = testing::AfterBanner(Log());
    log.erase(log.begin(), log.begin() + std::min<size_t>(6, log.size()));
    return log;
  }

 private:
  TempDir fDir;
  std::unique_ptr<kIOHandler_Serial> fHandler;
  std::string fLogPath;
};

// ---- construction -----------------------------------------------------------

TEST(SerialTransport, PortNumberComesFromCharactersFourToSix) {
  const std::pair<std::string, uint32_t> cases[] = {{"COM3", 3},      {"COM12", 12}, {"COM123", 123},
                                                    {"COM1234", 123}, {"XYZ9", 9},   {"com 5", 5}};
  for (const auto& [name, number] : cases) {
    kIOHandler_Serial handler(SerialConnection(name), "", "");
    EXPECT_EQ(handler.ComPort().ComNumber(), number) << name;
    EXPECT_FALSE(handler.Connected());
  }
}

TEST(SerialTransport, BadSettingsFailAtConstruction) {
  struct Case {
    kConnection connection;
    std::string message;
  };
  const Case cases[] = {
      {SerialConnection("COM"), "'' is not a valid integer value"},
      {SerialConnection(""), "'' is not a valid integer value"},
      {SerialConnection("COMx1"), "'x1' is not a valid integer value"},
      {SerialConnection("COM7", tkParity::Even, 0), "Stop Bits 0 invalid"},
      {SerialConnection("COM7", tkParity::Even, 3), "Stop Bits 3 invalid"},
      {SerialConnection("COM7", static_cast<tkParity>(7)), "Parity invalid"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorOf([&] { kIOHandler_Serial handler(c.connection, "", ""); }), c.message);
}

TEST(SerialTransport, TransportTableMakesTheSerialHandler) {
  std::unique_ptr<kIOHandler> handler = TransportTable::Create(SerialConnection(), "", "");
  EXPECT_EQ(handler->ClassName(), "kIOHandler_Serial");
}

// ---- connecting -------------------------------------------------------------

TEST(SerialTransport, ConnectLogsLineSettingsAndOpensThePort) {
  PtyDevice device;
  SerialHandler handler;
  EXPECT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->Connected());

  // A pseudo-terminal keeps 8 bits without parity; speed and raw mode show.
  const PtyLine line = device.Settings();
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_TRUE(line.noLineEditing);
  EXPECT_TRUE(line.noOutputProcessing);
  EXPECT_TRUE(line.noInputTranslation);

  std::vector<LogLine> log = testing::AfterBanner(handler.Log());
  EXPECT_THAT(log,
              ElementsAre(Info("Serial Driver Version: 1.0"), Info("SerialPort=COM7"), Info("Speed=9600"),
                          Info("Parity=even"), Info("DataBits=8"), Info("StopBits=1")));
}

TEST(SerialTransport, LineSettingsReachThePort) {
  PtyDevice device;
  kConnection c = SerialConnection("COM7", tkParity::Odd, 2);
  c.SetSpeed(115200);
  c.SetDataBits(7 + 256);  // only the low 8 bits count
  SerialHandler handler(c);
  ASSERT_TRUE(handler->Connect());
  EXPECT_EQ(handler->ComPort().DataBits(), 7);
  EXPECT_EQ(handler->ComPort().Parity(), ptOdd);
  EXPECT_EQ(handler->ComPort().StopBits(), sbTwo);
  // Speed and stop bits reach the line; a pseudo-terminal keeps 8 bits
  // without parity whatever it is given.
  const PtyLine line = device.Settings();
  EXPECT_EQ(line.baud, 115200u);
  EXPECT_TRUE(line.twoStopBits);
  EXPECT_THAT(testing::AfterBanner(handler.Log()),
              ElementsAre(Info("Serial Driver Version: 1.0"), Info("SerialPort=COM7"), Info("Speed=115200"),
                          Info("Parity=odd"), Info("DataBits=7"), Info("StopBits=2")));
}

TEST(SerialTransport, MissingPortIsNotAValidComPort) {
  {
    const ScopedEnv missing("QORD_COM7", "/nonexistent/tty");
    SerialHandler handler;
    EXPECT_EQ(ErrorOf([&] { handler->Connect(); }), "COM7 is not a valid COM port.");
    EXPECT_FALSE(handler->Connected());
  }
  // Without the variable, port n is the system's own (/dev/ttyS<n-1>, \\.\COMn).
  SerialHandler high(SerialConnection("COM999"));
  EXPECT_EQ(ErrorOf([&] { high->Connect(); }), "COM999 is not a valid COM port.");
}

TEST(SerialTransport, PortHeldElsewhereCannotBeOpened) {
  if (testing::UnderWine())
    GTEST_SKIP() << "under Wine a second open with share mode 0 succeeds (Windows refuses it)";
  PtyDevice device;
  SerialHandler first;
  ASSERT_TRUE(first->Connect());
  SerialHandler second;
  EXPECT_EQ(ErrorOf([&] { second->Connect(); }),
            "Cannot open COM7 (error #" + std::to_string(kHeldCode) + ").");
  EXPECT_FALSE(second->Connected());
  // Opening the open port again fails the same way and leaves it open.
  EXPECT_EQ(ErrorOf([&] { first->ComPort().Open(); }),
            "Cannot open COM7 (error #" + std::to_string(kHeldCode) + ").");
  EXPECT_TRUE(first->Connected());
  EXPECT_TRUE(first->Disconnect());
  EXPECT_TRUE(second->Connect());
}

TEST(SerialTransport, DeviceThatIsNoSerialPortCannotBeOpened) {
  TempDir dir;
  const std::string file = dir.File("plain");
  FILE* f = std::fopen(file.c_str(), "w");
  std::fclose(f);
  const ScopedEnv plain("QORD_COM7", file.c_str());
  SerialHandler handler;
  EXPECT_EQ(ErrorOf([&] { handler->Connect(); }),
            "Cannot open COM7 (error #" + std::to_string(kNoSerialPortCode) + ").");
}

TEST(SerialTransport, UnsupportedBaudRateFailsAndLeavesPortClosed) {
  PtyDevice device;
  kConnection c = SerialConnection();
  c.SetSpeed(0);
  SerialHandler handler(c);
  EXPECT_EQ(ErrorOf([&] { handler->Connect(); }), "SetCommState failed!");
  EXPECT_FALSE(handler->Connected());
  // The device was let go: another holder gets it.
  SerialHandler other;
  EXPECT_TRUE(other->Connect());
}

TEST(SerialTransport, DisconnectClosesAndConnectOpensAgain) {
  PtyDevice device;
  SerialHandler handler;
  ASSERT_TRUE(handler->Connect());
  device.Send("x\r");
  EXPECT_EQ(handler->ReadUpTo({13}), "x\r");
  EXPECT_EQ(handler->ComPort().CurrentComTimeout(), 100u);
  EXPECT_TRUE(handler->Disconnect());
  EXPECT_FALSE(handler->Connected());
  EXPECT_TRUE(handler->Disconnect());
  ASSERT_TRUE(handler->Connect());
  EXPECT_EQ(handler->ComPort().CurrentComTimeout(), 0xFFFFFFFFu);
}

// ---- writing ----------------------------------------------------------------

TEST(SerialTransport, WriteSendsAnsiBytesAndLogsTheText) {
  PtyDevice device;
  SerialHandler handler;
  ASSERT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->Write("A\xE2\x82\xAC\xC3\xA9\xE2\x98\x83\r"));  // A € é ☃ CR
  EXPECT_EQ(device.Receive(), "A\x80\xE9?\r");
  EXPECT_THAT(handler.Traffic(), ElementsAre(Info("Write:A\xE2\x82\xAC\xC3\xA9\xE2\x98\x83\r")));
}

TEST(SerialTransport, WriteSendsEveryWindows1252Byte) {
  PtyDevice device;
  SerialHandler handler;
  ASSERT_TRUE(handler->Connect());
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_TRUE(handler->Write(platform::DecodeCodePage(all, platform::kAnsiCodePage)));
  EXPECT_EQ(device.Receive(), all);
}

TEST(SerialTransport, WriteThenDisconnectDeliversEveryByte) {
  // A print command is written and the port closed at once: the bytes still
  // on their way must arrive, round after round.
  PtyDevice device;
  SerialHandler handler;
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(handler->Connect()) << round;
    std::string text = "round " + std::to_string(round) + ":";
    for (int i = 0; i < 600; ++i) text += static_cast<char>('a' + (i + round) % 26);
    text += "\r";
    EXPECT_TRUE(handler->Write(text));
    device.Send("unread");  // what came in and was not read is discarded
    ASSERT_TRUE(testing::WaitFor([&] { return handler->InputBufferContainsData(); }));
    const auto start = Clock::now();
    EXPECT_TRUE(handler->Disconnect());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)) << round;
    EXPECT_EQ(device.Receive(), text) << round;
  }
  ASSERT_TRUE(handler->Connect());
  EXPECT_FALSE(handler->InputBufferContainsData());
}

// ---- reading ----------------------------------------------------------------

TEST(SerialTransport, ReadUpToStopsAtTerminatorAndLogsRead) {
  PtyDevice device;
  SerialHandler handler;
  ASSERT_TRUE(handler->Connect());
  device.Send("OK\r rest");
  EXPECT_EQ(handler->ReadUpTo({3, 13}), "OK\r");
  EXPECT_TRUE(handler->InputBufferContainsData());
  EXPECT_EQ(handler->ReadChars(5), " rest");
  EXPECT_THAT(handler.Traffic(),
              ElementsAre(Info("Waiting for:\x03,\r"), Info("Read:OK\r"), Info("Read: rest")));
}

TEST(SerialTransport, ReadUpToWithHexLogAndHighBytes) {
  PtyDevice device;
  SerialHandler handler;
  handler->SetHexLog(true);
  ASSERT_TRUE(handler->Connect());
  device.Send("\xE9\xFF");
  EXPECT_EQ(handler->ReadUpTo({0xFF}), "\xC3\xA9\xC3\xBF");
  EXPECT_THAT(handler.Traffic(),
              ElementsAre(Info("Waiting for:\xC3\xBF [ff]"), Info("Read:\xC3\xA9\xC3\xBF [e9 ff]")));
}

TEST(SerialTransport, ReadUpToWithoutAnswerEndsWithReadTimeout) {
  PtyDevice device;
  SerialHandler handler(SerialConnection("COM7", tkParity::Even, 1, 300));
  ASSERT_TRUE(handler->Connect());
  device.Send("partial");
  const auto start = Clock::now();
  EXPECT_EQ(handler->ReadUpTo({13}), "partial");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_THAT(handler.Traffic(), ElementsAre(Info("Waiting for:\r"), Err("Read Timeout:partial")));
}

TEST(SerialTransport, ReadUpToIsBoundedWhileTheDeviceKeepsSending) {
  PtyDevice device;
  SerialHandler handler(SerialConnection("COM7", tkParity::Even, 1, 300));
  ASSERT_TRUE(handler->Connect());
  std::atomic<bool> stop{false};
  std::thread chatter([&] {
    while (!stop) {
      device.Send("x");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const auto start = Clock::now();
  const std::string read = handler->ReadUpTo({13});
  const auto took = Clock::now() - start;
  stop = true;
  chatter.join();
  EXPECT_LT(took, std::chrono::seconds(5));
  EXPECT_FALSE(read.empty());
  EXPECT_EQ(read.find_first_not_of('x'), std::string::npos);
  EXPECT_EQ(handler.Traffic().back(), Err("Read Timeout:" + read));
}

TEST(SerialTransport, FailedReadsRepeatTheReadErrorLineUntilTheTimeout) {
  if (testing::UnderWine())
    GTEST_SKIP() << "under Wine a read from a pseudo-terminal whose other side hung up does not fail, it "
                    "brings nothing";
  PtyDevice device;
  SerialHandler handler(SerialConnection("COM7", tkParity::Even, 1, 350));
  ASSERT_TRUE(handler->Connect());
  device.CloseDeviceSide();
  EXPECT_EQ(handler->ReadUpTo({13}), "");
  const std::vector<LogLine> traffic = handler.Traffic();
  ASSERT_GE(traffic.size(), 4u);
  EXPECT_EQ(traffic.front(), Info("Waiting for:\r"));
  EXPECT_EQ(traffic.back(), Err("Read Timeout:"));
  // Every pass after the first failure repeats the line; a failed read
  // waits out its 100 ms, so there are only a few.
  for (size_t i = 1; i + 1 < traffic.size(); ++i) EXPECT_EQ(traffic[i], Err("Read Error:5")) << i;
  EXPECT_LE(traffic.size(), 10u);
}

TEST(SerialTransport, ReadCharsReadsCountOrTimesOut) {
  PtyDevice device;
  SerialHandler handler(SerialConnection("COM7", tkParity::Even, 1, 300));
  ASSERT_TRUE(handler->Connect());
  device.Send("abcdef");
  EXPECT_EQ(handler->ReadChars(3), "abc");
  EXPECT_EQ(handler->ReadChars(5), "def");
  EXPECT_EQ(handler->ReadChars(0), "");
  // Zero characters are read at once, leaving what waits at the port.
  device.Send("gh");
  ASSERT_TRUE(testing::WaitFor([&] { return handler->InputBufferContainsData(); }));
  EXPECT_EQ(handler->ReadChars(0), "");
  EXPECT_EQ(handler->ReadChars(-1), "");
  EXPECT_EQ(handler->ReadChars(2), "gh");
  EXPECT_THAT(handler.Traffic(), ElementsAre(Info("Read:abc"), Err("Read Timeout:def"), Info("Read:"),
                                             Info("Read:"), Info("Read:"), Info("Read:gh")));
}

TEST(SerialTransport, PendingBytesAndClearBuffers) {
  PtyDevice device;
  SerialHandler handler;
  ASSERT_TRUE(handler->Connect());
  EXPECT_FALSE(handler->InputBufferContainsData());
  device.Send("zz");
  for (int i = 0; i < 100 && !handler->InputBufferContainsData(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(handler->ComPort().GetBytesPending(), 2);
  handler->ClearBuffers();
  EXPECT_FALSE(handler->InputBufferContainsData());
  handler->ComPort().SetDTR(true);  // a pseudo-terminal has no modem lines: nothing happens
  handler->ComPort().SetRTS(false);
}

// ---- a closed port ----------------------------------------------------------

TEST(SerialTransport, ClosedPortRefusesReadWriteAndLines) {
  SerialHandler handler;
  EXPECT_EQ(ErrorOf([&] { handler->Write("x"); }), "Cannot write because COM port is not open.");
  EXPECT_EQ(ErrorOf([&] { handler->ReadChars(1); }), "Cannot read because COM port is not open.");
  EXPECT_EQ(ErrorOf([&] { handler->ReadUpTo({13}); }), "Cannot read because COM port is not open.");
  EXPECT_EQ(ErrorOf([&] { handler->ComPort().SetDTR(true); }), "SetRTS failed because COM port not open.");
  EXPECT_EQ(ErrorOf([&] { handler->ComPort().SetRTS(true); }), "SetRTS failed because COM port not open.");
  EXPECT_EQ(ErrorOf([&] { handler->ComPort().SetLineParameters(9600, 8, sbOne, ptNone); }),
            "GetCommState failed!");
  EXPECT_EQ(ErrorOf([&] { handler->ClearBuffers(); }), testing::kNoError);
  EXPECT_FALSE(handler->InputBufferContainsData());
  EXPECT_EQ(ErrorOf([&] { handler->ReadAll(); }), "ReadAll Unsupported");
  EXPECT_EQ(handler->DecodeError(5), "");
  handler->SetParameter("a", "b");
}

}  // namespace
}  // namespace korvane
