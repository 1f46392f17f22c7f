// The pseudo-terminal pair of the serial tests under Wine: made by the
// pseudo-terminal hub (pty_hub.cpp), which the test run starts before these
// tests and whose port is in KORVANE_PTY_HUB_DIR/port. One connection to the
// hub is one pair, linked as \\.\COMn for as long as the connection lasts.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "transport_serial/pty_device.h"

namespace korvane::testing {
namespace {

std::string Hex(const std::string& aBytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : aBytes) hex += {kDigits[c >> 4], kDigits[c & 15]};
  return hex;
}

std::string Unhex(const std::string& aHex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < aHex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(aHex.substr(i, 2), nullptr, 16));
  return bytes;
}

int HubPort() {
  const std::string file = std::string(KORVANE_PTY_HUB_DIR) + "/port";
  int port = 0;
  std::ifstream(file) >> port;
  if (port <= 0)
    throw std::runtime_error("the pseudo-terminal hub is not running (no port in " + file +
                             "; the test set-up starts it: ctest -R transport_serial)");
  return port;
}

}  // namespace

PtyDevice::PtyDevice() {
  fHub = ConnectToLoopback(HubPort());
  if (fHub == kNoSocket) throw std::runtime_error("the pseudo-terminal hub does not answer");
  SetSendTimeout(fHub, 10000);
  const std::string port = Ask("");  // the hub names the port first
  if (port.rfind("COM", 0) != 0) {
    CloseSocket(fHub);
    throw std::runtime_error("the pseudo-terminal hub: " + port);
  }
  fPath = "\\\\.\\" + port;
  fPortVariable = std::make_unique<ScopedEnv>("QORD_COM7", fPath.c_str());
}

PtyDevice::~PtyDevice() { CloseSocket(fHub); }

std::string PtyDevice::Ask(const std::string& aCommand, int aWaitMs) const {
  if (!aCommand.empty()) {
    const std::string line = aCommand + "\n";
    if (SendSome(fHub, line.data(), line.size()) != static_cast<long>(line.size()))
      throw std::runtime_error("the pseudo-terminal hub took no command");
  }
  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(aWaitMs);
  while (answer.empty() || answer.back() != '\n') {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    char buffer[4096];
    long n = 0;
    if (left.count() <= 0 || !WaitReadable(fHub, static_cast<int>(left.count())) ||
        (n = ReceiveSome(fHub, buffer, sizeof buffer)) <= 0)
      throw std::runtime_error("the pseudo-terminal hub did not answer " + aCommand);
    answer.append(buffer, static_cast<size_t>(n));
  }
  answer.pop_back();
  if (answer.rfind("ERROR ", 0) == 0)
    throw std::runtime_error("the pseudo-terminal hub: " + answer.substr(6));
  return answer;
}

void PtyDevice::Send(const std::string& aBytes) { ASSERT_EQ(Ask("SEND " + Hex(aBytes)), "OK"); }

std::string PtyDevice::Receive(int aWaitMs) {
  const std::string answer = Ask("RECV " + std::to_string(aWaitMs), aWaitMs + 15000);
  if (answer.rfind("DATA", 0) != 0) throw std::runtime_error("the pseudo-terminal hub: " + answer);
  return Unhex(answer.size() > 5 ? answer.substr(5) : "");
}

PtyLine PtyDevice::Settings() const {
  std::istringstream answer(Ask("LINE"));
  std::string word;
  int parity = 0, twoStopBits = 0, noLineEditing = 0, noOutputProcessing = 0, noInputTranslation = 0;
  PtyLine line;
  answer >> word >> line.baud >> line.dataBits >> parity >> twoStopBits >> noLineEditing >>
      noOutputProcessing >> noInputTranslation;
  if (word != "LINE" || !answer) throw std::runtime_error("the pseudo-terminal hub: no line settings");
  line.parity = parity != 0;
  line.twoStopBits = twoStopBits != 0;
  line.noLineEditing = noLineEditing != 0;
  line.noOutputProcessing = noOutputProcessing != 0;
  line.noInputTranslation = noInputTranslation != 0;
  return line;
}

void PtyDevice::CloseDeviceSide() { Ask("HANGUP"); }

}  // namespace korvane::testing
