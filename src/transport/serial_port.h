// The serial port driver: one port, opened exclusively, with its line
// parameters, time-out bounded reads, writes, purging and the DTR and RTS
// lines. Every failure is a TComPortException.
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/serial.h"

namespace korvane {

class TComPortException : public Error {
 public:
  explicit TComPortException(const std::string& aMessage) : Error(aMessage) {}
};

// The codes of the device control block.
enum TParity : uint8_t { ptNone = 0, ptOdd = 1, ptEven = 2, ptMark = 3, ptSpace = 4 };
enum TStopBits : uint8_t { sbOne = 0, sbOneHalf = 1, sbTwo = 2 };

class TComPort {
 public:
  // 9600 baud, 8 data bits, one stop bit, no parity unless given; the port
  // is not opened.
  explicit TComPort(uint32_t ncom);
  TComPort(uint32_t ncom, uint32_t baud);
  TComPort(uint32_t ncom, uint32_t baud, uint8_t data, TStopBits stop, TParity parity);
  ~TComPort();  // closes an open port
  TComPort(const TComPort&) = delete;
  TComPort& operator=(const TComPort&) = delete;

  // Opens the port's device (platform::SerialDevicePath) exclusively and sets
  // the stored line parameters. Fails with "COM<n> is not a valid COM
  // port." when the device does not exist and "Cannot open COM<n> (error
  // #<code>)." otherwise.
  void Open();
  // Waits, bounded, until the bytes written have been sent, purges the
  // input (and the output when they could not all be sent) and closes; the
  // port is not open afterwards in any case.
  void Close();

  // Reads up to nbytes within timeout milliseconds (100 ms at most between
  // two bytes); timeout 0 keeps the time-outs last written. The bytes read,
  // 0 when none came, -1 on failure with the system's error code in
  // ErrorCode (written only then). Fails with "Cannot read because COM port
  // is not open." on a closed port.
  int32_t Read(uint8_t* buffer, uint32_t nbytes, uint32_t timeout, uint32_t& ErrorCode);
  // Writes every byte of S; true when all were written. Fails with "Cannot
  // write because COM port is not open." or "Write to com port failed.".
  bool WriteText(const std::string& S);
  // Fails with "GetCommState failed!" or "SetCommState failed!".
  void SetLineParameters(uint32_t baud, uint8_t data, TStopBits stop, TParity pty);
  // Received bytes waiting; 0 on a closed port or a failure.
  int32_t GetBytesPending();
  // Discards both queues of an open port; fails with "PurgeComm failed!".
  void ClearBuffers();
  // Both fail on a closed port with "SetRTS failed because COM port not open.".
  void SetDTR(bool assert);
  void SetRTS(bool assert);

  uint32_t ComNumber() const { return fComNumber; }
  uint32_t BaudRate() const { return fBaudRate; }
  uint8_t DataBits() const { return fDataBits; }
  TStopBits StopBits() const { return fStopBits; }
  TParity Parity() const { return fParity; }
  bool ComIsOpen() const { return fIsOpen; }
  static std::string DriverVersion() { return "1.0"; }
  // The read time-out last written; 0xFFFFFFFF when none since the opening.
  uint32_t CurrentComTimeout() const { return fCurrentComTimeout; }

 private:
  // Raises or drops a modem line; a failure is ignored.
  void SetLine(platform::SerialLine aLine, bool aOn);

  static constexpr uint32_t kNoTimeout = 0xFFFFFFFF;
  static constexpr uint32_t kIntervalTimeout = 100;

  uint32_t fComNumber = 0;
  uint32_t fBaudRate = 9600;
  uint8_t fDataBits = 8;
  TStopBits fStopBits = sbOne;
  TParity fParity = ptNone;
  platform::SerialHandle fComHandle = platform::kInvalidSerialHandle;
  bool fIsOpen = false;
  uint32_t fCurrentComTimeout = kNoTimeout;
  platform::SerialTimeouts fTimeouts;  // the port's read time-outs
};

}  // namespace korvane
