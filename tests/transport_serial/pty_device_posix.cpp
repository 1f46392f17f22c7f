// The pseudo-terminal pair of the serial tests on Linux: opened by the test.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "transport_serial/pty_device.h"

namespace korvane::testing {

PtyDevice::PtyDevice() {
  char name[256] = {0};
  if (openpty(&fMaster, &fSlave, name, nullptr, nullptr) != 0) std::abort();
  fPath = name;
  fPortVariable = std::make_unique<ScopedEnv>("QORD_COM7", fPath.c_str());
}

PtyDevice::~PtyDevice() { CloseDeviceSide(); }

void PtyDevice::Send(const std::string& aBytes) {
  ASSERT_EQ(write(fMaster, aBytes.data(), aBytes.size()), static_cast<ssize_t>(aBytes.size()));
}

std::string PtyDevice::Receive(int aWaitMs) {
  std::string bytes;
  pollfd p{fMaster, POLLIN, 0};
  while (poll(&p, 1, bytes.empty() ? aWaitMs : 50) > 0) {
    char buffer[256];
    const ssize_t n = read(fMaster, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

PtyLine PtyDevice::Settings() const {
  termios tio{};
  tcgetattr(fSlave, &tio);
  return LineOf(tio);
}

void PtyDevice::CloseDeviceSide() {
  if (fMaster >= 0) close(fMaster);
  if (fSlave >= 0) close(fSlave);
  fMaster = fSlave = -1;
}

}  // namespace korvane::testing
