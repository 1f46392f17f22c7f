// The line settings a pseudo-terminal has, as the serial tests check them:
// read from its termios on POSIX systems (by the test itself, or under Wine
// by the pseudo-terminal hub, tests/transport_serial/pty_hub.cpp).
#pragma once

#include <cstdint>

#ifndef _WIN32
#include <termios.h>
#endif

namespace korvane::testing {

struct PtyLine {
  uint32_t baud = 0;                // the output speed, in bits a second; 0 for one not listed
  int dataBits = 0;                 // 5 to 8
  bool parity = false;              // a parity bit is sent and checked
  bool twoStopBits = false;         // two stop bits, else one
  bool noLineEditing = false;       // no canonical mode, echo or signal characters
  bool noOutputProcessing = false;  // bytes written go out unchanged
  bool noInputTranslation = false;  // no CR to NL translation, no XON/XOFF
};

#ifndef _WIN32
inline PtyLine LineOf(const termios& aTermios) {
  struct Speed {
    speed_t code;
    uint32_t baud;
  };
  static constexpr Speed kSpeeds[] = {
      {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
      {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
      {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
      {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};
  PtyLine line;
  const speed_t speed = cfgetospeed(&aTermios);
  for (const Speed& s : kSpeeds)
    if (s.code == speed) line.baud = s.baud;
  switch (aTermios.c_cflag & CSIZE) {
    case CS5: line.dataBits = 5; break;
    case CS6: line.dataBits = 6; break;
    case CS7: line.dataBits = 7; break;
    default: line.dataBits = 8; break;
  }
  line.parity = (aTermios.c_cflag & PARENB) != 0;
  line.twoStopBits = (aTermios.c_cflag & CSTOPB) != 0;
  line.noLineEditing = (aTermios.c_lflag & (ICANON | ECHO | ISIG)) == 0;
  line.noOutputProcessing = (aTermios.c_oflag & OPOST) == 0;
  line.noInputTranslation = (aTermios.c_iflag & (ICRNL | IXON)) == 0;
  return line;
}
#endif

}  // namespace korvane::testing
