#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <thread>

#include "platform/error.h"
#include "platform/serial.h"
#include "platform/serial_termios_posix.h"

namespace korvane::platform {

struct SerialDevice {
  int fd;
};

namespace {

struct BaudSetting {
  uint32_t rate;
  speed_t code;
};

const BaudSetting kBauds[] = {{50, B50},         {75, B75},         {110, B110},        {134, B134},
                              {150, B150},       {200, B200},       {300, B300},        {600, B600},
                              {1200, B1200},     {1800, B1800},     {2400, B2400},      {4800, B4800},
                              {9600, B9600},     {19200, B19200},   {38400, B38400},    {57600, B57600},
                              {115200, B115200}, {230400, B230400}, {460800, B460800},  {500000, B500000},
                              {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

bool BaudCode(uint32_t aRate, speed_t& aCode) {
  for (const BaudSetting& b : kBauds)
    if (b.rate == aRate) {
      aCode = b.code;
      return true;
    }
  return false;
}

uint32_t BaudRate(speed_t aCode) {
  for (const BaudSetting& b : kBauds)
    if (b.code == aCode) return b.rate;
  return 0;
}

using Clock = std::chrono::steady_clock;

// How long a write waits for a device that takes nothing more, and a drain
// for an output queue that does not shrink.
constexpr int kStallMs = 5000;

// Bytes written and not yet sent; -1 when the device cannot tell.
int64_t OutputQueued(int aFd) {
  int count = 0;
  if (ioctl(aFd, TIOCOUTQ, &count) != 0) return -1;
  return count > 0 ? count : 0;
}

// False while a UART still shifts out its last byte; true when it is done or
// the device cannot tell (a pseudo-terminal, a USB adapter).
bool TransmitterEmpty(int aFd) {
  unsigned int status = 0;
  if (ioctl(aFd, TIOCSERGETLSR, &status) != 0) return true;
  return (status & TIOCSER_TEMT) != 0;
}

int64_t MsLeft(Clock::time_point aDeadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - Clock::now()).count();
  return left > 0 ? left : 0;
}

// A failed read fails only once its total time-out has run out.
[[noreturn]] void FailAt(Clock::time_point aDeadline, int aCode) {
  std::this_thread::sleep_for(std::chrono::milliseconds(MsLeft(aDeadline)));
  ThrowOsError(aCode);
}

[[noreturn]] void CloseAndFail(int aFd, int aCode) {
  close(aFd);
  ThrowOsError(aCode);
}

}  // namespace

std::string SerialDevicePath(uint32_t aNumber) {
  const std::string name = "QORD_COM" + std::to_string(aNumber);
  const char* value = std::getenv(name.c_str());
  if (value != nullptr && *value != '\0') return value;
  return "/dev/ttyS" + std::to_string(static_cast<int64_t>(aNumber) - 1);
}

SerialHandle OpenSerial(const std::string& aPath) {
  const int fd = open(aPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    ThrowOsError(error == ENOENT || error == ENXIO || error == ENODEV ? kSerialNotFound : error);
  }
  // TIOCEXCL keeps other opens out, but not those of a privileged process;
  // the lock keeps out every other holder that asks in the same way.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) CloseAndFail(fd, errno == EWOULDBLOCK ? EBUSY : errno);
  termios tio{};
  if (!isatty(fd)) CloseAndFail(fd, ENOTTY);
  if (tcgetattr(fd, &tio) != 0) CloseAndFail(fd, errno);
  ioctl(fd, TIOCEXCL);
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) CloseAndFail(fd, errno);
  try {
    return new SerialDevice{fd};
  } catch (...) {
    close(fd);
    throw;
  }
}

void CloseSerial(SerialHandle aHandle) {
  if (aHandle == kInvalidSerialHandle) return;
  close(aHandle->fd);
  delete aHandle;
}

SerialLineState GetSerialLineState(SerialHandle aHandle) {
  termios tio{};
  if (tcgetattr(aHandle->fd, &tio) != 0) ThrowOsError(errno);
  SerialLineState state;
  state.baudRate = BaudRate(cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
    case CS5: state.byteSize = 5; break;
    case CS6: state.byteSize = 6; break;
    case CS7: state.byteSize = 7; break;
    default: state.byteSize = 8; break;
  }
  if ((tio.c_cflag & PARENB) == 0)
    state.parity = 0;
  else if ((tio.c_cflag & CMSPAR) != 0)
    state.parity = (tio.c_cflag & PARODD) != 0 ? 3 : 4;
  else
    state.parity = (tio.c_cflag & PARODD) != 0 ? 1 : 2;
  state.stopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 0;
  return state;
}

bool ApplySerialLineState(const SerialLineState& aState, termios& aTermios) {
  speed_t speed = B0;
  if (aState.baudRate == 0 || !BaudCode(aState.baudRate, speed)) return false;
  tcflag_t size = 0;
  switch (aState.byteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }
  tcflag_t parity = 0;
  switch (aState.parity) {
    case 0: break;
    case 1: parity = PARENB | PARODD; break;
    case 2: parity = PARENB; break;
    case 3: parity = PARENB | CMSPAR | PARODD; break;
    case 4: parity = PARENB | CMSPAR; break;
    default: return false;
  }
  // One and a half stop bits exist only with 5 data bits, where the UART
  // makes two into one and a half; so both ask for two.
  if (aState.stopBits > 2) return false;
  const tcflag_t stop = aState.stopBits == 0 ? 0 : CSTOPB;
  aTermios.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  aTermios.c_cflag |= size | parity | stop;
  if (parity != 0)
    aTermios.c_iflag |= INPCK;
  else
    aTermios.c_iflag &= ~static_cast<tcflag_t>(INPCK);
  return cfsetispeed(&aTermios, speed) == 0 && cfsetospeed(&aTermios, speed) == 0;
}

void SetSerialLineState(SerialHandle aHandle, const SerialLineState& aState) {
  termios tio{};
  if (tcgetattr(aHandle->fd, &tio) != 0) ThrowOsError(errno);
  if (!ApplySerialLineState(aState, tio)) ThrowOsError(EINVAL);
  if (tcsetattr(aHandle->fd, TCSANOW, &tio) == 0) return;
  // The C library reports EINVAL when the device took none of the changes:
  // a device without a line of its own (a pseudo-terminal) keeps its byte
  // size and parity. It counts as set when it runs at the asked speed.
  const int error = errno;
  termios now{};
  if (error == EINVAL && tcgetattr(aHandle->fd, &now) == 0 && cfgetospeed(&now) == cfgetospeed(&tio)) return;
  ThrowOsError(error);
}

uint32_t ReadSerial(SerialHandle aHandle, uint8_t* aBuffer, uint32_t aCount,
                    const SerialTimeouts& aTimeouts) {
  const Clock::time_point start = Clock::now();
  const Clock::time_point totalDeadline = start + std::chrono::milliseconds(aTimeouts.total);
  const int fd = aHandle->fd;
  uint32_t got = 0;
  Clock::time_point lastByte = start;
  while (got < aCount) {
    int64_t wait = MsLeft(totalDeadline);
    if (got > 0 && aTimeouts.interval > 0)
      wait = std::min<int64_t>(wait, MsLeft(lastByte + std::chrono::milliseconds(aTimeouts.interval)));
    pollfd p{fd, POLLIN, 0};
    // A total time-out above the largest int (about 24.8 days) is cut to it, never wrapped.
    const int ready = poll(&p, 1, static_cast<int>(std::min<int64_t>(wait, std::numeric_limits<int>::max())));
    if (ready < 0) {
      if (errno == EINTR) continue;
      FailAt(totalDeadline, errno);
    }
    if (ready == 0) break;  // a time-out ran out
    const ssize_t n = read(fd, aBuffer + got, aCount - got);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      FailAt(totalDeadline, errno);
    }
    if (n == 0) FailAt(totalDeadline, EIO);  // the other side is gone
    got += static_cast<uint32_t>(n);
    lastByte = Clock::now();
  }
  return got;
}

void WriteSerial(SerialHandle aHandle, const uint8_t* aData, uint32_t aCount) {
  const int fd = aHandle->fd;
  uint32_t written = 0;
  while (written < aCount) {
    const ssize_t n = write(fd, aData + written, aCount - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, kStallMs);
        if (ready == 0) ThrowOsError(ETIMEDOUT);  // the device takes nothing more
        if (ready < 0) ThrowOsError(errno);
        continue;
      }
      ThrowOsError(errno);
    }
    written += static_cast<uint32_t>(n);
  }
  // Handed to the driver, as a write without buffering.
}

uint32_t SerialBytesPending(SerialHandle aHandle) {
  int count = 0;
  if (ioctl(aHandle->fd, FIONREAD, &count) != 0) return 0;
  return count > 0 ? static_cast<uint32_t>(count) : 0;
}

bool DrainSerial(SerialHandle aHandle) {
  const int fd = aHandle->fd;
  int64_t queued = OutputQueued(fd);
  if (queued < 0) return true;
  // Ten bits a byte (start, eight data bits, stop) at the port's speed.
  termios tio{};
  const uint32_t baud = tcgetattr(fd, &tio) == 0 ? BaudRate(cfgetospeed(&tio)) : 0;
  const int64_t sendMs = baud > 0 ? queued * 10 * 1000 / baud : 0;
  const Clock::time_point start = Clock::now();
  const Clock::time_point last = start + std::chrono::milliseconds(2 * sendMs + kStallMs);
  Clock::time_point stallDeadline = start + std::chrono::milliseconds(kStallMs);
  while (true) {
    if (queued == 0 && TransmitterEmpty(fd)) return true;
    const Clock::time_point now = Clock::now();
    if (now >= stallDeadline || now >= last) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int64_t nowQueued = OutputQueued(fd);
    if (nowQueued < 0) return true;
    if (nowQueued < queued) stallDeadline = Clock::now() + std::chrono::milliseconds(kStallMs);
    queued = nowQueued;
  }
}

void PurgeSerial(SerialHandle aHandle, SerialQueues aQueues) {
  if (tcflush(aHandle->fd, aQueues == SerialQueues::Input ? TCIFLUSH : TCIOFLUSH) != 0) ThrowOsError(errno);
}

void SetSerialLine(SerialHandle aHandle, SerialLine aLine, bool aOn) {
  int bits = aLine == SerialLine::DTR ? TIOCM_DTR : TIOCM_RTS;
  if (ioctl(aHandle->fd, aOn ? TIOCMBIS : TIOCMBIC, &bits) != 0) ThrowOsError(errno);
}

}  // namespace korvane::platform
