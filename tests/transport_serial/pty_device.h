// A pseudo-terminal that the serial port tests open as port 7 (through
// QORD_COM7), with the test playing the device on its other side.
//   Linux: the test opens the pair itself (pty_device_posix.cpp).
//   Windows, under Wine: the pseudo-terminal hub (pty_hub.cpp), a Linux
//   program that the test run starts, makes the pair and links its device
//   side as a COM port of the Wine prefix; the test plays the device through
//   the hub's loopback connection (pty_device_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "support/loopback.h"
#include "support/test_support.h"
#include "transport_serial/pty_line.h"

namespace korvane::testing {

inline constexpr uint32_t kPort = 7;

// A pseudo-terminal pair whose device side is what port 7 opens while the
// pair lasts; the test plays the device on the other side.
class PtyDevice {
 public:
  PtyDevice();
  ~PtyDevice();
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  // What port 7 opens: the device side's path (Linux) or \\.\COMn (Windows).
  const std::string& Path() const { return fPath; }

  void Send(const std::string& aBytes);

  // What has arrived within aWaitMs (then until 50 ms pass without a byte).
  std::string Receive(int aWaitMs = 1000);

  // The line settings the port has now.
  PtyLine Settings() const;

  // Hangs the device up: the port's reads fail from now on.
  void CloseDeviceSide();

 private:
#ifdef _WIN32
  // One exchange with the hub: aCommand sent, its answer line returned.
  std::string Ask(const std::string& aCommand, int aWaitMs = 10000) const;
  NativeSocket fHub = kNoSocket;
#else
  int fMaster = -1;
  int fSlave = -1;
#endif
  std::string fPath;
  std::unique_ptr<ScopedEnv> fPortVariable;
};

}  // namespace korvane::testing
