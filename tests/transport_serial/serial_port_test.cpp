#include "transport/serial_port.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "transport_serial/pty_device.h"

namespace korvane {
namespace {

using testing::kPort;
using testing::PtyDevice;

TEST(ComPort, DefaultsAndConstructors) {
  const TComPort one(4);
  EXPECT_EQ(one.ComNumber(), 4u);
  EXPECT_EQ(one.BaudRate(), 9600u);
  EXPECT_EQ(one.DataBits(), 8);
  EXPECT_EQ(one.StopBits(), sbOne);
  EXPECT_EQ(one.Parity(), ptNone);
  EXPECT_FALSE(one.ComIsOpen());
  EXPECT_EQ(one.CurrentComTimeout(), 0xFFFFFFFFu);
  EXPECT_EQ(TComPort::DriverVersion(), "1.0");
  const TComPort two(5, 19200);
  EXPECT_EQ(two.BaudRate(), 19200u);
  EXPECT_EQ(two.DataBits(), 8);
  const TComPort five(6, 4800, 7, sbTwo, ptMark);
  EXPECT_EQ(five.DataBits(), 7);
  EXPECT_EQ(five.StopBits(), sbTwo);
  EXPECT_EQ(five.Parity(), ptMark);
}

TEST(ComPort, SetLineParametersStoresWhatThePortTook) {
  PtyDevice device;
  TComPort port(kPort, 9600, 8, sbOne, ptMark);
  port.Open();
  port.SetLineParameters(57600, 8, sbOne, ptSpace);
  EXPECT_EQ(port.Parity(), ptSpace);
  EXPECT_EQ(port.BaudRate(), 57600u);
  EXPECT_EQ(device.Settings().baud, 57600u);
  uint8_t buffer[4];
  uint32_t error = 0;
  EXPECT_EQ(port.Read(buffer, 4, 50, error), 0);  // nothing came
  EXPECT_EQ(error, 0u);
}

TEST(ComPort, RateThePortHasNoSettingForIsRefusedAndTheOldSettingsStay) {
  if (testing::UnderWine())
    GTEST_SKIP() << "under Wine SetCommState on a pseudo-terminal takes any baud rate";
  PtyDevice device;
  TComPort port(kPort, 57600, 8, sbOne, ptSpace);
  port.Open();
  EXPECT_THROW(port.SetLineParameters(12345, 8, sbOne, ptNone), TComPortException);
  EXPECT_EQ(port.BaudRate(), 57600u);
  EXPECT_EQ(port.Parity(), ptSpace);
  EXPECT_EQ(device.Settings().baud, 57600u);
}

}  // namespace
}  // namespace korvane
