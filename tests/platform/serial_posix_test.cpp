#include <gtest/gtest.h>
#include <termios.h>

#include "platform/serial_termios_posix.h"
#include "transport/serial_port.h"  // the names of the parities and stop bits

namespace korvane {
namespace {

TEST(SerialLine, ParametersMapToTermios) {
  struct Case {
    platform::SerialLineState state;
    speed_t speed;
    tcflag_t cflag;  // of CSIZE | PARENB | PARODD | CMSPAR | CSTOPB
  };
  const Case cases[] = {
      {{9600, 8, ptEven, sbOne}, B9600, CS8 | PARENB},
      {{19200, 7, ptOdd, sbTwo}, B19200, CS7 | PARENB | PARODD | CSTOPB},
      {{115200, 8, ptNone, sbOne}, B115200, CS8},
      {{4800, 5, ptMark, sbOneHalf}, B4800, CS5 | PARENB | PARODD | CMSPAR | CSTOPB},
      {{300, 6, ptSpace, sbOne}, B300, CS6 | PARENB | CMSPAR},
  };
  for (const Case& c : cases) {
    termios tio{};
    tio.c_cflag = CS8 | PARENB | PARODD | CSTOPB | CREAD | CLOCAL;
    ASSERT_TRUE(platform::ApplySerialLineState(c.state, tio)) << c.state.baudRate;
    EXPECT_EQ(cfgetospeed(&tio), c.speed);
    EXPECT_EQ(cfgetispeed(&tio), c.speed);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), c.cflag) << c.state.baudRate;
    EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.state.parity != ptNone);
  }
  for (const platform::SerialLineState bad : {platform::SerialLineState{0, 8, 0, 0},
                                              {12345, 8, 0, 0},
                                              {9600, 9, 0, 0},
                                              {9600, 4, 0, 0},
                                              {9600, 8, 5, 0},
                                              {9600, 8, 0, 3}}) {
    termios tio{};
    EXPECT_FALSE(platform::ApplySerialLineState(bad, tio));
  }
}

}  // namespace
}  // namespace korvane
