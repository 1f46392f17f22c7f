// A pseudo-terminal that the serial port tests open as port 7 (through
// QORD_COM7), with the test playing the device on its other side.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace korvane::testing {

inline constexpr uint32_t kPort = 7;

// A pseudo-terminal pair whose device side is what port 7 opens; the test
// plays the device on the other side.
class PtyDevice {
 public:
  PtyDevice() {
    char name[256] = {0};
    if (openpty(&fMaster, &fSlave, name, nullptr, nullptr) != 0) std::abort();
    fPath = name;
    setenv("QORD_COM7", fPath.c_str(), 1);
  }
  ~PtyDevice() {
    CloseDeviceSide();
    unsetenv("QORD_COM7");
  }

  const std::string& Path() const { return fPath; }

  void Send(const std::string& aBytes) {
    ASSERT_EQ(write(fMaster, aBytes.data(), aBytes.size()), static_cast<ssize_t>(aBytes.size()));
  }

  // What has arrived within aWaitMs.
  std::string Receive(int aWaitMs = 1000) {
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

  // The line settings the port has now.
  termios Settings() const {
    termios tio{};
    tcgetattr(fSlave, &tio);
    return tio;
  }

  // Hangs the device up: the port's reads fail from now on.
  void CloseDeviceSide() {
    if (fMaster >= 0) close(fMaster);
    if (fSlave >= 0) close(fSlave);
    fMaster = fSlave = -1;
  }

 private:
  int fMaster = -1;
  int fSlave = -1;
  std::string fPath;
};

}  // namespace korvane::testing
